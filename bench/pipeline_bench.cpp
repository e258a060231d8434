// The display pass, the recording path and the snapshot write, each beside a baseline run
// in the same process. Figures and the command are in README.md.
#include "app/data_files.h"
#include "app/orvex_state.h"
#include "pipeline/capture_state.h"
#include "pipeline/frame_fit.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/picture_composer.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"
#include "pipeline/snapshot_file.h"
#include "pipeline/time_stamp.h"
#include "platform/clock.h"

#include "bench/bench_folder.h"
#include "bench/gui_session.h"
#include "bench/rig_frames.h"
#include "bench/timing.h"

#include <benchmark/benchmark.h>
#include <scopesim/rig.h>

#include <wx/dcclient.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace
{

using benchrig::rigFrames;

// The family scope's 640 x 480 frames, as the preview lends them to a pass; its files are
// 1280 x 960.
const std::vector<cv::Mat>& scopeFrames()
{
    static const std::vector<cv::Mat> frames = rigFrames(640, 480, 30);
    return frames;
}
const cv::Mat& scopeFrame()
{
    return scopeFrames()[0];
}
const cv::Size kScopeFileSize(1280, 960);

// The former pass's input: the preview scaled every frame to the file size.
const cv::Mat& scopeWork()
{
    static const cv::Mat work = [] {
        cv::Mat w;
        cv::resize(scopeFrame(), w, kScopeFileSize, 0, 0, cv::INTER_LINEAR);
        return w;
    }();
    return work;
}

const cv::Mat& hdWork()
{
    static const cv::Mat work = rigFrames(1920, 1080, 1)[0];
    return work;
}

// ---- Display pass: image work up to the picture handed to the toolkit ---------------------

// The least any viewer does: one resize straight to the painted size and the colour swap.
void baseline(benchmark::State& state, const cv::Mat& work, cv::Size painted)
{
    cv::Mat small;
    std::vector<unsigned char> rgb(static_cast<size_t>(painted.area()) * 3);
    for (auto _ : state) {
        cv::resize(work, small, painted, 0, 0, cv::INTER_LINEAR);
        cv::Mat out(painted, CV_8UC3, rgb.data());
        cv::cvtColor(small, out, cv::COLOR_BGR2RGB);
        benchmark::DoNotOptimize(rgb.data());
    }
}

void BM_ScopeBaseline(benchmark::State& state)
{
    baseline(state, scopeFrame(), cv::Size(640, 480));
}
// The same from the 1280 x 960 frame the preview used to make of every camera frame: the
// baseline the former pass is compared with.
void BM_ScopeBaselineFileSize(benchmark::State& state)
{
    baseline(state, scopeWork(), cv::Size(640, 480));
}
void BM_HdBaseline(benchmark::State& state)
{
    baseline(state, hdWork(), cv::Size(1000, 562));
}

const PictureSettings kAllTransforms{true, 0.75f, 1}; // mirror, zoom level 10, a quarter turn

// A pass with a snapshot pending or a recording running, up to the picture handed to the
// toolkit: the transforms folded into the one resampling and the stamp drawn at the painted
// scale.
void BM_ScopePassStamped(benchmark::State& state)
{
    PictureComposer composer;
    const std::string text = "2026/03/07 09:05:33";
    const FitResult fit = fitFrame(640, 480, 640, 480, kAllTransforms.quarterTurns, false);
    for (auto _ : state) {
        wxImage& picture =
            composer.compose(scopeFrame(), false, fit.width, fit.height, kAllTransforms);
        cv::Mat rgb(fit.height, fit.width, CV_8UC3, picture.GetData());
        drawTimeStampOnPicture(rgb, text, kScopeFileSize);
        benchmark::DoNotOptimize(picture.GetData());
    }
}

// What such a pass does after the paint for the file: the camera's frame scaled to the
// file size, then transformed and stamped.
void BM_ScopeFileFrame(benchmark::State& state)
{
    PictureComposer composer;
    cv::Mat frame;
    const std::string text = "2026/03/07 09:05:33";
    for (auto _ : state) {
        cv::resize(scopeFrame(), frame, kScopeFileSize, 0, 0, cv::INTER_LINEAR);
        composer.transformFrame(frame, kAllTransforms);
        drawTimeStamp(frame, text);
        benchmark::DoNotOptimize(frame.data);
    }
}

// The live view between captures: the transforms folded into the one resampling.
void BM_ScopePassLive(benchmark::State& state)
{
    PictureComposer composer;
    const FitResult fit = fitFrame(640, 480, 640, 480, kAllTransforms.quarterTurns, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            composer.compose(scopeFrame(), false, fit.width, fit.height, kAllTransforms).GetData());
}

void BM_ScopePassPlain(benchmark::State& state)
{
    PictureComposer composer;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            composer.compose(scopeFrame(), true, 640, 480, PictureSettings{}).GetData());
}

void BM_HdPassPlain(benchmark::State& state)
{
    PictureComposer composer;
    const FitResult fit = fitFrame(1920, 1080, 1000, 562, 0, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            composer.compose(hdWork(), true, fit.width, fit.height, PictureSettings{}).GetData());
}

// For comparison: each step as one library call on the whole 1280 x 960 frame the preview
// made of every camera frame, then a full-size RGB image rescaled by the toolkit (what the
// pass did before).
void naivePass(benchmark::State& state, const cv::Mat& work, cv::Size painted, bool transforms)
{
    cv::Mat frame, rgb;
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(640, 480), -90.0, 1.0);
    m.convertTo(m, CV_32F);
    for (auto _ : state) {
        state.PauseTiming();
        work.copyTo(frame);
        state.ResumeTiming();
        if (transforms) {
            cv::flip(frame, frame, 1);
            cv::Mat crop = frame(cv::Rect(160, 120, 960, 720)).clone();
            cv::resize(crop, frame, frame.size(), 0, 0, cv::INTER_LINEAR);
            cv::Mat copy = frame.clone();
            cv::warpAffine(copy, frame, m, frame.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                           cv::Scalar());
            drawTimeStamp(frame, "2026/03/07 09:05:33");
        }
        cv::cvtColor(frame, rgb, cv::COLOR_BGR2RGB);
        wxImage img(rgb.cols, rgb.rows, rgb.data, true);
        wxImage picture = img.Scale(painted.width, painted.height, wxIMAGE_QUALITY_NORMAL);
        benchmark::DoNotOptimize(picture.GetData());
    }
}

void BM_ScopePassNaive(benchmark::State& state)
{
    naivePass(state, scopeWork(), cv::Size(640, 480), true);
}
void BM_HdPassNaive(benchmark::State& state)
{
    naivePass(state, hdWork(), cv::Size(1000, 562), false);
}

BENCHMARK(BM_ScopeBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopePassPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopePassLive)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopePassStamped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopeFileFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopePassNaive)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScopeBaselineFileSize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HdBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HdPassPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HdPassNaive)->Unit(benchmark::kMicrosecond);

// ---- Paint: whole passes through the screen, grab to release, painted ---------------------

COrvexScreen* g_paintScreen = nullptr;

// Hands the screen what the preview does for the family scope: a new 640 x 480 camera frame
// on every pass, lent, whose files are 1280 x 960.
class BenchState : public COrvexState
{
public:
    explicit BenchState(wxWindow* parent) : COrvexState(parent, StatePreview) {}
    cv::Mat* grabFrame() override
    {
        const auto& frames = scopeFrames();
        m_work = frames[m_next++ % frames.size()];
        return &m_work;
    }
    void releaseFrame() override { m_work.release(); }
    cv::Size fileFrameSize(const cv::Mat&) const override { return kScopeFileSize; }

private:
    cv::Mat m_work;
    size_t m_next = 0;
};

// The screen's own drawFrame, so whatever a pass does (the bitmap refill, the client DC, the
// toolkit's surface for the changed bitmap, the X server's copy) is in the figure.
void drawFrames(benchmark::State& state, const PictureSettings& s)
{
    g_Mirror = s.mirror;
    g_ZoomFactor = s.zoom;
    g_Rotation = s.quarterTurns;
    for (auto _ : state)
        g_paintScreen->drawFrame();
    wxTheApp->Yield();
    g_Mirror = false;
    g_ZoomFactor = 1.0f;
    g_Rotation = 0;
}

void BM_DrawFrameLive(benchmark::State& state)
{
    drawFrames(state, kAllTransforms);
}
void BM_DrawFramePlain(benchmark::State& state)
{
    drawFrames(state, PictureSettings{});
}

// ---- Recording path and snapshot write ----------------------------------------------------

void BM_RecordWrite(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const std::vector<cv::Mat> frames = rigFrames(w, h, 30);
    const std::string path = (benchfs::folder() / "record.avi").string();
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('D', 'I', 'V', 'X'), 15.0,
                           cv::Size(w, h), true);
    size_t i = 0;
    for (auto _ : state)
        writer.write(frames[i++ % frames.size()]);
    writer.release();
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations());
    state.counters["x15fps"] = benchmark::Counter(static_cast<double>(state.iterations()) / 15.0,
                                                  benchmark::Counter::kIsRate);
}

// The same through the pass's recording step (timeline, file and disk checks), one frame a call.
void BM_RecordingStep(benchmark::State& state)
{
    const std::vector<cv::Mat> frames = rigFrames(1280, 960, 30);
    auto* clock = new platform::VirtualClock();
    auto old = platform::setClock(std::unique_ptr<platform::Clock>(clock));
    const std::filesystem::path dir = benchfs::folder() / "rec";
    std::filesystem::create_directories(dir);
    g_StoragePath = wxString::FromUTF8(dir.string());
    startRecording(cv::Size(1280, 960), clock->localTime());
    size_t i = 0;
    for (auto _ : state) {
        clock->advance(67);
        writeRecordingFrame(frames[i++ % frames.size()]);
    }
    finishRecording();
    std::filesystem::remove_all(dir);
    platform::setClock(std::move(old));
    state.SetItemsProcessed(state.iterations());
    state.counters["x15fps"] = benchmark::Counter(static_cast<double>(state.iterations()) / 15.0,
                                                  benchmark::Counter::kIsRate);
}

void BM_SnapshotEncode(benchmark::State& state)
{
    std::vector<uchar> jpeg;
    for (auto _ : state) {
        cv::imencode(".jpg", scopeWork(), jpeg);
        benchmark::DoNotOptimize(jpeg.data());
    }
    state.counters["bytes"] = static_cast<double>(jpeg.size());
}

void BM_SnapshotSave(benchmark::State& state)
{
    const std::filesystem::path dir = benchfs::folder() / "snap";
    std::filesystem::create_directories(dir);
    g_StoragePath = wxString::FromUTF8(dir.string());
    for (auto _ : state)
        saveSnapshot(scopeWork());
    std::filesystem::remove_all(dir);
}

BENCHMARK(BM_RecordWrite)->Args({1280, 960})->Args({1920, 1080})->Apply(benchtime::wallMs);
BENCHMARK(BM_RecordingStep)->Apply(benchtime::wallMs);
BENCHMARK(BM_SnapshotEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotSave)->Apply(benchtime::wallMs);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The paint benchmarks need an X server (run under xvfb-run); the rest do not.
    if (wxPanel* panel = benchgui::start(argc, argv, wxSize(700, 540))) {
        g_paintScreen = new COrvexScreen(panel, wxSize(640, 480), wxPoint(0, 0));
        g_CurrentState = new BenchState(panel);
        benchgui::show();
        benchmark::RegisterBenchmark("BM_DrawFramePlain", BM_DrawFramePlain)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("BM_DrawFrameLive", BM_DrawFrameLive)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    } else {
        std::fprintf(stderr, "no X display: the paint benchmarks are left out\n");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_CurrentState = nullptr;
    benchgui::stop();
    return 0;
}
