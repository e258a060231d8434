// The LED and boost box on scripted rig runs in real time, with the real library: the longest
// gap between two timer ticks while the scope's register unit stalls. Each tick looks at the
// camera as the preview's tube watch does, a click on the LED buttons comes every 200 ms, and
// the toolkit's events are handled. Baseline: the same ticks with the former calls made on the
// ticking thread itself (a read that waits out the library's request time-out). Figures are in
// README.md.
#include "app/data_files.h"
#include "bench/gui_session.h"
#include "bench/timing.h"
#include "devctl/orvex_io_control_box.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>
#include <scopesim/rig.h>

#include <wx/evtloop.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace
{

constexpr uint32_t kTickMs = 10;
constexpr uint32_t kClickMs = 200;
const std::string kScope = "USB Inspection Camera";

wxWindow* g_window = nullptr; // the boxes' parent

void handleEvents()
{
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
        loop->DispatchTimeout(0);
    wxTheApp->ProcessPendingEvents();
}

struct RunFigures {
    double longestGap = 0;
    double ticks = 0;
    double answeredAtMs = -1; // when the unit stalled at plug-in first answered
};

// Ticks every 10 ms for runMs; each runs tick().
template <typename Tick> RunFigures runTicks(uint32_t runMs, Tick tick)
{
    RunFigures f;
    const uint32_t start = platform::clock().tickCount();
    uint32_t last = start;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        const uint32_t now = platform::clock().tickCount();
        f.longestGap = std::max(f.longestGap, static_cast<double>(now - last));
        last = now;
        ++f.ticks;
        if (now - start >= runMs)
            break;
        handleEvents();
        tick(now - start, f);
    }
    return f;
}

// The rig on real time with the scope only; its unit stalls 3 s from 0.5 s into the run, or
// from its plug-in.
void startRig(bool atPlugIn)
{
    scopesim::setTimeSource({}, {});
    std::string text = "scope \"" + kScope + "\" tube in";
    text += atPlugIn ? " stalled 3000\n" : "\nat 500 stall \"" + kScope + "\" 3000\n";
    scopesim::startText(text, "bench");
}

void report(benchmark::State& state, const RunFigures& f)
{
    state.counters["longest_tick_gap_ms"] = f.longestGap;
    state.counters["ticks"] = f.ticks;
    if (f.answeredAtMs >= 0)
        state.counters["answered_at_ms"] = f.answeredAtMs;
}

// A look and, every 200 ms, a click: through the box (after), or the former calls on this
// thread (before).
template <bool Former> void lookAndClick(COrvexIOControlBox& box, uint32_t at, uint32_t& nextClick)
{
    if (Former) {
        uint16_t v = 0;
        if (box.unit() && box.api().readReg)
            box.api().readReg(box.unit(), BV_MODE_A16D16, scope::kTube, scope::kTubePresence, &v);
    } else {
        box.poll();
    }
    if (at >= nextClick) {
        nextClick += kClickMs;
        if (Former) {
            const uint16_t none = 0;
            if (box.unit() && box.api().writeReg)
                box.api().writeReg(box.unit(), BV_MODE_A8D8, scope::kController,
                                   scope::kLedCommand | 8, &none);
        } else {
            box.stepLed((at / kClickMs) % 2 ? +1 : -1);
        }
    }
}

template <bool Former> void BM_StalledUnit(benchmark::State& state)
{
    for (auto _ : state) {
        startRig(false);
        auto* box = new COrvexIOControlBox(g_window, wxPoint(0, 0), wxSize(240, 108));
        uint32_t nextClick = 0;
        // The stall runs from 0.5 s to 3.5 s; quitting comes at 2.5 s, inside it.
        const RunFigures f = runTicks(
            2500, [&](uint32_t at, RunFigures&) { lookAndClick<Former>(*box, at, nextClick); });
        report(state, f);
        // Quitting while the unit stalls (a logout's SIGTERM ends here).
        const uint32_t quitFrom = platform::clock().tickCount();
        box->Destroy();
        state.counters["quit_ms"] = platform::clock().tickCount() - quitFrom;
        scopesim::stop();
    }
}

// The unit stalls at plug-in: the box opens it, retries about once a second and shows its
// controls once it answers.
void BM_StalledAtPlugIn(benchmark::State& state)
{
    for (auto _ : state) {
        startRig(true);
        const uint32_t start = platform::clock().tickCount();
        auto* box = new COrvexIOControlBox(g_window, wxPoint(0, 0), wxSize(240, 108));
        const double opening = platform::clock().tickCount() - start;
        uint32_t nextClick = 0;
        RunFigures f = runTicks(8000, [&](uint32_t at, RunFigures& run) {
            lookAndClick<false>(*box, at, nextClick);
            if (run.answeredAtMs < 0 && box->unit() && !box->unitSilent())
                run.answeredAtMs = at;
        });
        f.longestGap = std::max(f.longestGap, opening);
        report(state, f);
        box->Destroy();
        scopesim::stop();
    }
}

void BM_TicksAlone(benchmark::State& state)
{
    for (auto _ : state)
        report(state, runTicks(3000, [](uint32_t, RunFigures&) {}));
}

} // namespace

BENCHMARK(BM_TicksAlone)->Iterations(1)->Apply(benchtime::wallMs);
BENCHMARK_TEMPLATE(BM_StalledUnit, true)
    ->Name("BM_StalledUnit_FormerCallsOnTheTick")
    ->Iterations(1)
    ->Apply(benchtime::wallMs);
BENCHMARK_TEMPLATE(BM_StalledUnit, false)
    ->Name("BM_StalledUnit_Box")
    ->Iterations(1)
    ->Apply(benchtime::wallMs);
BENCHMARK(BM_StalledAtPlugIn)->Iterations(1)->Apply(benchtime::wallMs);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_window = benchgui::start(argc, argv, wxSize(800, 300));
    if (!g_window) {
        std::fprintf(stderr, "the box has windows: run it under xvfb-run\n");
        return 1;
    }
    // libBravik.so and the skin are beside the benchmark in the build folder.
    g_ProgramDir = wxString::FromUTF8(ORVEX_BINARY_DIR);
    benchgui::window()->Show();
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    handleEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchgui::stop();
    return 0;
}
