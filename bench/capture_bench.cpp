// The live view's capture side on scripted rig runs in real time: how old the frame is when
// a pass takes it, and the longest gap between two timer ticks while the camera stops for
// three seconds. Each runs with the capture thread and, as the baseline, with the plain
// read the viewer did before (a blocking dequeue of the driver's oldest buffer on the GUI
// thread, waiting up to the capture library's 10 s). Figures are in README.md.
#include "bench/timing.h"
#include "platform/clock.h"
#include "platform/frame_decode.h"
#include "platform/services.h"

#include <benchmark/benchmark.h>
#include <scopesim/rig.h>
#include <scopesim/stream.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace
{

constexpr uint32_t kTickMs = 10; // the frame's timer
constexpr uint32_t kPassMs = 60; // one pass at most every 60 ms
constexpr uint32_t kLibrarySelectTimeoutMs = 10000;

// The former read: the first grab starts the stream, each grab takes the oldest filled
// buffer and waits for one when none is filled.
class BlockingRead
{
public:
    explicit BlockingRead(int id) : m_id(id) {}
    ~BlockingRead() { scopesim::stopStream(m_id); }
    bool grab(uint32_t& takenAt)
    {
        if (!m_started)
            m_started = scopesim::startStream(m_id) == 0;
        scopesim::StreamBuffer b;
        if (scopesim::dequeueBuffer(m_id, b, kLibrarySelectTimeoutMs) != 0)
            return false;
        cv::Mat bgr;
        platform::decodeYuyv(b.bytes, b.width, b.height, bgr);
        takenAt = scopesim::clockTimeOf(b.capturedAt);
        return true;
    }

private:
    int m_id;
    bool m_started = false;
};

struct RunFigures {
    std::vector<double> ages;
    double longestGap = 0;
};

// One scripted run: ticks every 10 ms for runMs, a pass every 60 ms grabs a frame.
template <typename Grab> RunFigures runTicks(uint32_t runMs, Grab grab)
{
    using namespace std::chrono;
    RunFigures f;
    const uint32_t start = platform::clock().tickCount();
    uint32_t lastTick = start, lastPass = start - kPassMs;
    for (;;) {
        std::this_thread::sleep_for(milliseconds(kTickMs));
        const uint32_t now = platform::clock().tickCount();
        f.longestGap = std::max(f.longestGap, static_cast<double>(now - lastTick));
        lastTick = now;
        if (now - start >= runMs)
            break;
        if (now - lastPass >= kPassMs) {
            lastPass = now;
            uint32_t takenAt = 0;
            if (grab(takenAt))
                f.ages.push_back(static_cast<double>(platform::clock().tickCount() - takenAt));
        }
    }
    return f;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The rig on real time, one 30 fps scope; frames stop for 3 s half a second in when asked.
// A still scene hands out the bytes of one picture again: the device's own drawing and
// encoding, which the rig does on the reading thread and a real sensor does not, drops out.
void startRig(bool stall, bool still = false)
{
    scopesim::setTimeSource({}, {});
    std::string text = std::string("scope \"USB Inspection Camera\" tube in") +
                       (still ? " scene still" : "") + "\n";
    if (stall)
        text += "at 500 frames \"USB Inspection Camera\" off\n"
                "at 3500 frames \"USB Inspection Camera\" on\n";
    scopesim::startText(text, "bench");
    platform::useSimBackends();
}

void stopRig()
{
    platform::useLinuxBackends();
    scopesim::stop();
}

void report(benchmark::State& state, const RunFigures& f)
{
    state.counters["age_median_ms"] = median(f.ages);
    state.counters["age_max_ms"] =
        f.ages.empty() ? 0 : *std::max_element(f.ages.begin(), f.ages.end());
    state.counters["longest_tick_gap_ms"] = f.longestGap;
    state.counters["passes_with_frame"] = static_cast<double>(f.ages.size());
}

// One scripted run per iteration: 3 s of a steady camera, or 4.5 s with its 3 s stop.
template <bool Stall, bool Thread, bool Still = false> void scriptedRun(benchmark::State& state)
{
    const uint32_t runMs = Stall ? 4500 : 3000;
    for (auto _ : state) {
        startRig(Stall, Still);
        if (Thread) {
            auto cap = platform::captures().openCamera(0);
            report(state, runTicks(runMs, [&](uint32_t& at) {
                       if (!cap->grab())
                           return false;
                       at = static_cast<uint32_t>(cap->get(platform::kPropPosMsec));
                       return true;
                   }));
        } else {
            BlockingRead read(scopesim::videoInputs().at(0).id);
            report(state, runTicks(runMs, [&](uint32_t& at) { return read.grab(at); }));
        }
        stopRig();
    }
}

// The loop with no capture at all: the tick gaps the machine itself gives.
void BM_TicksAlone(benchmark::State& state)
{
    for (auto _ : state)
        report(state, runTicks(3000, [](uint32_t&) { return false; }));
}

void BM_FrameAge_BlockingRead(benchmark::State& state)
{
    scriptedRun<false, false>(state);
}
void BM_FrameAge_CaptureThread(benchmark::State& state)
{
    scriptedRun<false, true>(state);
}
void BM_FrameAge_CaptureThreadStillScene(benchmark::State& state)
{
    scriptedRun<false, true, true>(state);
}
void BM_StalledCamera_BlockingRead(benchmark::State& state)
{
    scriptedRun<true, false>(state);
}
void BM_StalledCamera_CaptureThread(benchmark::State& state)
{
    scriptedRun<true, true>(state);
}

} // namespace

BENCHMARK(BM_TicksAlone)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK(BM_FrameAge_BlockingRead)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK(BM_FrameAge_CaptureThread)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK(BM_FrameAge_CaptureThreadStillScene)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK(BM_StalledCamera_BlockingRead)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK(BM_StalledCamera_CaptureThread)->Iterations(1)->Apply(benchtime::wallMs);

BENCHMARK_MAIN();
