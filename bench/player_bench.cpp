// The browse tab's passes: video playback, a drag along the progress bar and the photo view,
// each beside a baseline run in the same process. Figures and the command are in README.md.
#include "app/data_files.h"
#include "app/orvex_state.h"
#include "bench/bench_folder.h"
#include "bench/gui_session.h"
#include "bench/rig_frames.h"
#include "bench/timing.h"
#include "browse/orvex_browse_state.h"
#include "browse/orvex_progress_bar.h"
#include "browse/orvex_video_control_box.h"
#include "browse/video_source.h"
#include "pipeline/display_picture.h"
#include "pipeline/frame_fit.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"
#include "pipeline/screen_painter.h"
#include "platform/clock.h"
#include "tests/support/numbered_video.h"

#include <benchmark/benchmark.h>

#include <wx/dcclient.h>
#include <wx/rawbmp.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

namespace
{

const std::filesystem::path& folder()
{
    return benchfs::folder();
}

// A recording as the program's recorder writes it: DIVX AVI at 15 frames a second, of
// count frames cycled from 30 rig frames.
std::string recorded(int w, int h, int count)
{
    auto* clock = new platform::VirtualClock();
    auto old = platform::setClock(std::unique_ptr<platform::Clock>(clock));
    const auto dir = folder() / ("rec" + std::to_string(w) + "x" + std::to_string(count));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    g_StoragePath = wxString::FromUTF8(dir.string());
    const std::vector<cv::Mat> frames = benchrig::rigFrames(w, h, 30);
    startRecording(cv::Size(w, h), clock->localTime());
    const std::string path = recordingPath();
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            clock->advance(i % 3 == 0 ? 66 : 67);
        writeRecordingFrame(frames[static_cast<size_t>(i % 30)]);
    }
    finishRecording();
    platform::setClock(std::move(old));
    return path;
}

std::string h264(int w, int h, int count)
{
    const std::vector<cv::Mat> frames = benchrig::rigFrames(w, h, 30);
    const std::string path = (folder() / ("h264_" + std::to_string(w) + ".mov")).string();
    numbered::ffmpegEncode(path, cv::Size(w, h), count, 15, numbered::h264Options(30),
                           [&](int n) { return frames[static_cast<size_t>(n % 30)]; });
    return path;
}

const std::string& video(int kind, int w)
{
    static std::map<std::pair<int, int>, std::string> made;
    auto& path = made[{kind, w}];
    if (path.empty())
        path = kind == 0 ? recorded(w, w == 1920 ? 1080 : 960, 150)
                         : h264(w, w == 1920 ? 1080 : 960, 150);
    return path;
}

COrvexScreen* g_screen = nullptr;
COrvexBrowseState* g_browse = nullptr;
const wxSize kScreen(640, 480);

// ---- Playback pass ----------------------------------------------------------------------------

void BM_PlaybackBaseline(benchmark::State& state)
{
    cv::VideoCapture cap(video(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))),
                         cv::CAP_FFMPEG);
    cv::Mat frame;
    std::vector<unsigned char> rgb;
    for (auto _ : state) {
        if (!cap.read(frame)) {
            state.PauseTiming();
            cap.set(cv::CAP_PROP_POS_FRAMES, 0);
            cap.read(frame);
            state.ResumeTiming();
        }
        const FitResult fit = fitFrame(frame.cols, frame.rows, kScreen.x, kScreen.y, 0, false);
        rgb.resize(static_cast<size_t>(fit.width) * fit.height * 3);
        fitToRgb(frame, fit.width, fit.height, rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
}

// The player's next frame through the browse tab's grab and the screen's whole pass,
// painted.
void BM_PlaybackPass(benchmark::State& state)
{
    const std::string& path =
        video(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    g_CurrentState = g_browse;
    g_browse->openFile(path);
    COrvexVideoControlBox* player = g_browse->player();
    player->play();
    const long before = player->source().decodes();
    long rewinds = 0;
    for (auto _ : state) {
        g_screen->drawFrame();
        if (player->playState() != PlayPlaying) {
            state.PauseTiming();
            player->play();
            ++rewinds;
            state.ResumeTiming();
        }
    }
    // The end of the file costs one extra read that finds nothing.
    state.counters["decodes_per_pass"] = static_cast<double>(player->source().decodes() - before) /
                                         static_cast<double>(state.iterations());
    state.counters["rewinds"] = static_cast<double>(rewinds);
    wxTheApp->Yield();
}

// The pass taken apart: the player's reader alone, and the browse tab's grab (reader, bar,
// label and the copy handed to the screen) without the screen.
void BM_PlaybackReader(benchmark::State& state)
{
    VideoSource source;
    source.open(video(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    cv::Mat frame;
    for (auto _ : state) {
        if (!source.read(frame)) {
            state.PauseTiming();
            source.seek(0);
            source.read(frame);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(frame.data);
    }
}

void BM_PlaybackGrab(benchmark::State& state)
{
    const std::string& path =
        video(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    g_CurrentState = g_browse;
    g_browse->openFile(path);
    COrvexVideoControlBox* player = g_browse->player();
    player->play();
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_browse->grabFrame());
        g_browse->releaseFrame();
        if (player->playState() != PlayPlaying) {
            state.PauseTiming();
            player->play();
            state.ResumeTiming();
        }
    }
    wxTheApp->Yield();
}

// The paint alone, a 640 x 480 picture: as the screen paints now (the picture's surface, made
// like the window's own, kept between passes) and as it painted before (the picture's pixels into a
// kept bitmap, then the toolkit's client context and bitmap drawing, which converts the
// bitmap into a new surface of its own every time).
wxImage paintPicture()
{
    const cv::Mat f = benchrig::rigFrames(640, 480, 1)[0];
    wxImage img(640, 480, false);
    cv::Mat rgb(480, 640, CV_8UC3, img.GetData());
    cv::cvtColor(f, rgb, cv::COLOR_BGR2RGB);
    return img;
}

void BM_PaintKept(benchmark::State& state)
{
    const wxImage img = paintPicture();
    ScreenPainter painter;
    for (auto _ : state)
        painter.paint(*g_screen, img, 0, 0, false);
    wxTheApp->Yield();
}

void BM_PaintFormer(benchmark::State& state)
{
    const wxImage img = paintPicture();
    wxBitmap shown(img);
    for (auto _ : state) {
        {
            wxNativePixelData data(shown);
            wxNativePixelData::Iterator line(data);
            const unsigned char* from = img.GetData();
            for (int r = 0; r < img.GetHeight(); ++r, from += img.GetWidth() * 3) {
                std::memcpy(&line.Red(), from, static_cast<size_t>(img.GetWidth()) * 3);
                line.OffsetY(data, 1);
            }
        }
        wxClientDC dc(g_screen);
        dc.DrawBitmap(shown, 0, 0, false);
    }
    wxTheApp->Yield();
}

// ---- A drag along the whole bar of a ten-minute recording --------------------------------------

const std::string& tenMinutes()
{
    static const std::string path = recorded(1280, 960, 9000);
    return path;
}

void timingCounters(benchmark::State& state, std::vector<double>& ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters["handlers"] = static_cast<double>(ms.size());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p90_ms"] = ms[ms.size() * 9 / 10];
    state.counters["longest_ms"] = ms.back();
}

using benchtime::msSince;

// Each pointer move of the drag, one pixel apart; the release lands on the exact frame.
void BM_DragAcrossBar(benchmark::State& state)
{
    const std::string& path = tenMinutes();
    COrvexVideoControlBox* player = g_browse->player();
    player->visible = true;
    player->layoutPlayer(wxBitmap(652, 108), 150, 560);
    player->openVideo(path);
    wxTheApp->Yield();
    COrvexProgressBar* bar = player->progressBar();
    auto send = [&](wxEventType type, int x) {
        wxMouseEvent e(type);
        e.SetEventObject(bar);
        e.SetId(bar->GetId());
        e.SetPosition(wxPoint(x, 8));
        e.m_leftDown = type != wxEVT_LEFT_UP;
        bar->GetEventHandler()->ProcessEvent(e);
    };
    std::vector<double> ms;
    double release = 0;
    for (auto _ : state) {
        ms.clear();
        for (int x = 0; x <= bar->width; ++x) {
            const auto t0 = std::chrono::steady_clock::now();
            send(x == 0 ? wxEVT_LEFT_DOWN : wxEVT_MOTION, x);
            ms.push_back(msSince(t0));
        }
        const auto t0 = std::chrono::steady_clock::now();
        send(wxEVT_LEFT_UP, bar->width);
        release = msSince(t0);
    }
    timingCounters(state, ms);
    state.counters["release_ms"] = release;
    state.counters["frames"] = player->frameCount();
    player->closeVideo();
}

// What each move cost before the key frames stood in: an exact seek and read of the frame,
// decoding from the key frame before it.
void BM_DragExactSeeks(benchmark::State& state)
{
    VideoSource source;
    source.open(tenMinutes());
    const int total = static_cast<int>(source.reportedFrameCount()), width = 564;
    cv::Mat frame;
    std::vector<double> ms;
    for (auto _ : state) {
        ms.clear();
        for (int x = 0; x <= width; ++x) {
            const auto t0 = std::chrono::steady_clock::now();
            source.seek(x < width ? x * total / width : total - 1);
            source.read(frame);
            ms.push_back(msSince(t0));
        }
    }
    timingCounters(state, ms);
}

// ---- Photo pass -------------------------------------------------------------------------------

const std::string& bigPhoto()
{
    static const std::string path = [] {
        cv::Mat f = benchrig::rigFrames(1280, 960, 1)[0], big;
        cv::resize(f, big, cv::Size(4000, 3000), 0, 0, cv::INTER_CUBIC);
        const std::string p = (folder() / "big.jpg").string();
        cv::imwrite(p, big);
        return p;
    }();
    return path;
}

void BM_PhotoBaseline(benchmark::State& state)
{
    const cv::Mat photo = cv::imread(bigPhoto());
    cv::Mat out;
    for (auto _ : state) {
        cv::resize(photo, out, cv::Size(kScreen.x, kScreen.y), 0, 0, cv::INTER_LINEAR);
        benchmark::DoNotOptimize(out.data);
    }
}

void BM_PhotoPass(benchmark::State& state)
{
    g_CurrentState = g_browse;
    g_browse->openFile(bigPhoto());
    g_Mirror = true;
    g_ZoomFactor = 0.75f;
    g_Rotation = 1;
    for (auto _ : state)
        g_screen->drawFrame();
    g_Mirror = false;
    g_ZoomFactor = 1.0f;
    g_Rotation = 0;
    wxTheApp->Yield();
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    wxPanel* panel = benchgui::start(argc, argv, wxSize(1000, 700));
    if (!panel) {
        std::fprintf(stderr, "the browse benchmarks paint: run them under xvfb-run\n");
        return 1;
    }
    g_screen = new COrvexScreen(panel, kScreen, wxPoint(0, 0));
    g_browse = new COrvexBrowseState(panel, wxPoint(136, 16));
    benchgui::show();

    for (int kind : {0, 1})
        for (int w : {1920, 1280}) {
            const std::string what =
                std::string(kind == 0 ? "DivxAvi" : "H264Mov") + "/" + std::to_string(w);
            benchmark::RegisterBenchmark(("BM_PlaybackBaseline/" + what).c_str(),
                                         BM_PlaybackBaseline)
                ->Args({kind, w})
                ->Apply(benchtime::wallMs);
            benchmark::RegisterBenchmark(("BM_PlaybackPass/" + what).c_str(), BM_PlaybackPass)
                ->Args({kind, w})
                ->Apply(benchtime::wallMs);
            benchmark::RegisterBenchmark(("BM_PlaybackReader/" + what).c_str(), BM_PlaybackReader)
                ->Args({kind, w})
                ->Apply(benchtime::wallMs);
            benchmark::RegisterBenchmark(("BM_PlaybackGrab/" + what).c_str(), BM_PlaybackGrab)
                ->Args({kind, w})
                ->Apply(benchtime::wallMs);
        }
    benchmark::RegisterBenchmark("BM_PaintKept", BM_PaintKept)->Apply(benchtime::wallMs);
    benchmark::RegisterBenchmark("BM_PaintFormer", BM_PaintFormer)->Apply(benchtime::wallMs);
    benchmark::RegisterBenchmark("BM_DragAcrossBar", BM_DragAcrossBar)
        ->Iterations(1)
        ->Apply(benchtime::wallMs);
    benchmark::RegisterBenchmark("BM_DragExactSeeks", BM_DragExactSeeks)
        ->Iterations(1)
        ->Repetitions(3)
        ->Apply(benchtime::wallMs);
    benchmark::RegisterBenchmark("BM_PhotoBaseline", BM_PhotoBaseline)->Apply(benchtime::wallMs);
    benchmark::RegisterBenchmark("BM_PhotoPass", BM_PhotoPass)->Apply(benchtime::wallMs);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_CurrentState = nullptr;
    benchgui::stop();
    return 0;
}
