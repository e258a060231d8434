// The thumbnail strip at scale: listing a folder of 100 000 files, filling the page with four
// full-size captures, and the Page Down handler over 1000 captures.
#include "app/data_files.h"
#include "app/orvex_state.h"
#include "bench/bench_folder.h"
#include "bench/gui_session.h"
#include "bench/timing.h"
#include "browse/media_catalogue.h"
#include "browse/orvex_browse_image.h"
#include "browse/orvex_browse_panel.h"
#include "sim/frame_source.h"

#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

fs::path g_root;
std::string g_bigFolder, g_pageFolder, g_ringFolder;
COrvexBrowsePanel* g_strip = nullptr;

std::string captureName(int i, const char* ext)
{
    char name[64];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d %02d_%02d_%02d%s", 2020 + i / 40000,
                  1 + (i / 3000) % 12, 1 + (i / 100) % 28, (i / 60) % 24, i % 60, (i * 7) % 60,
                  ext);
    return name;
}

// 100 000 entries: photos and videos of both cases, plus other files a user leaves there.
void makeBigFolder()
{
    if (!g_bigFolder.empty())
        return;
    g_bigFolder = (g_root / "big").string();
    fs::create_directories(g_bigFolder);
    const char* exts[] = {".jpg", ".avi", ".JPG", ".mov", ".jpg",
                          ".txt", ".jpg", ".png", ".avi", ".jpg"};
    for (int i = 0; i < 100000; ++i)
        std::ofstream(g_bigFolder + "/" + captureName(i, exts[i % 10]));
}

void writeVideo(const std::string& path, int w, int h)
{
    cv::VideoWriter out(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('D', 'I', 'V', 'X'), 15,
                        cv::Size(w, h));
    cv::Mat frame;
    for (int i = 0; i < 15; ++i) {
        scopesim::renderPipe(frame, w, h, i / 15.0, 0.8, 1.0);
        out.write(frame);
    }
}

// Two 1280 × 960 photos and two DIVX recordings of the same size, as the program writes them.
void makePageFolder()
{
    if (!g_pageFolder.empty())
        return;
    g_pageFolder = (g_root / "page").string();
    fs::create_directories(g_pageFolder);
    cv::Mat frame;
    scopesim::renderPipe(frame, 1280, 960, 1.0, 0.8, 1.0);
    cv::imwrite(g_pageFolder + "/2026-01-01 10_00_00.jpg", frame);
    writeVideo(g_pageFolder + "/2026-01-01 10_00_01.avi", 1280, 960);
    scopesim::renderPipe(frame, 1280, 960, 2.0, 0.8, 1.0);
    cv::imwrite(g_pageFolder + "/2026-01-01 10_00_02.jpg", frame);
    writeVideo(g_pageFolder + "/2026-01-01 10_00_03.avi", 1280, 960);
}

// 1000 captures: three photos to one recording, links to the page folder's files.
void makeRingFolder()
{
    if (!g_ringFolder.empty())
        return;
    makePageFolder();
    g_ringFolder = (g_root / "ring").string();
    fs::create_directories(g_ringFolder);
    for (int i = 0; i < 1000; ++i) {
        const bool video = i % 4 == 3;
        const std::string source =
            g_pageFolder + (video ? "/2026-01-01 10_00_01.avi" : "/2026-01-01 10_00_00.jpg");
        fs::create_hard_link(source, g_ringFolder + "/" + captureName(i, video ? ".avi" : ".jpg"));
    }
}

void BM_ListBaseline(benchmark::State& state)
{
    makeBigFolder();
    for (auto _ : state) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(g_bigFolder))
            out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ListCaptures(benchmark::State& state)
{
    makeBigFolder();
    for (auto _ : state) {
        std::vector<std::string> out;
        listCaptures(g_bigFolder, FilterAll, out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_ScanFolder(benchmark::State& state)
{
    makeBigFolder();
    g_StoragePath = wxString::FromUTF8(g_bigFolder);
    for (auto _ : state)
        g_strip->scanFolder(FilterAll);
    state.counters["files"] = static_cast<double>(g_strip->files().size());
}

// The page's four pictures as plainly as the libraries give them: each photo decoded whole,
// each video opened and its first frame read.
void decodeFour()
{
    const std::string dir = g_pageFolder + "/2026-01-01 10_00_0";
    for (const char* n : {"0.jpg", "2.jpg"})
        benchmark::DoNotOptimize(cv::imread(dir + n).data);
    for (const char* n : {"1.avi", "3.avi"}) {
        cv::VideoCapture cap(dir + n, cv::CAP_FFMPEG);
        cv::Mat frame;
        cap.read(frame);
        benchmark::DoNotOptimize(frame.data);
    }
}

void BM_DecodeFourBaseline(benchmark::State& state)
{
    for (auto _ : state)
        decodeFour();
}

// From empty slots, as after a rescan: nothing decoded before is reused.
void clearPage()
{
    for (int k = 0; k < 4; ++k)
        g_strip->slot(k)->clearSlot();
}

void BM_FillPage(benchmark::State& state)
{
    g_StoragePath = wxString::FromUTF8(g_pageFolder);
    g_strip->scanFolder(FilterAll);
    for (auto _ : state) {
        state.PauseTiming();
        clearPage();
        state.ResumeTiming();
        g_strip->fillPage();
    }
}

// The same fill with the baseline's decodes in every iteration just before it, so that the
// machine's load falls on both alike: the counters are the fill's time over the baseline's,
// on the wall clock and in CPU time of the whole process (the decoders' threads included).
// The reported time is the fill's alone.
void BM_FillPageOverDecodes(benchmark::State& state)
{
    g_StoragePath = wxString::FromUTF8(g_pageFolder);
    g_strip->scanFolder(FilterAll);
    decodeFour(); // the decoders' first use is not the baseline's (the fill's came above)
    benchtime::Span base("decode four"), fill("fill page");
    for (auto _ : state) {
        base.run(decodeFour);
        clearPage();
        state.SetIterationTime(fill.run([] { g_strip->fillPage(); }));
    }
    state.counters["x_base_wall"] = fill.wallMs / base.wallMs;
    state.counters["x_base_cpu"] = fill.cpuMs / base.cpuMs;
    state.counters["base_wall_ms"] = base.wallMs / static_cast<double>(state.iterations());
    state.counters["base_cpu_ms"] = base.cpuMs / static_cast<double>(state.iterations());
}

void BM_PageDown(benchmark::State& state)
{
    makeRingFolder();
    g_StoragePath = wxString::FromUTF8(g_ringFolder);
    g_strip->scanFolder(FilterAll);
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        g_strip->pageNext();
        ms.push_back(benchtime::msSince(t0));
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["max_ms"] = ms.back();
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_root = benchfs::folder();
    // The folder of 100 000 files and the ring are made by the benchmarks that use them.
    makePageFolder();

    benchmark::RegisterBenchmark("BM_ListBaseline", BM_ListBaseline)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ListCaptures", BM_ListCaptures)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_DecodeFourBaseline", BM_DecodeFourBaseline)
        ->Unit(benchmark::kMillisecond);

    // The strip's own operations need an X server (run under xvfb-run).
    if (wxPanel* parent = benchgui::start(argc, argv, wxSize(300, 700))) {
        g_ProgramDir = fs::canonical("/proc/self/exe").parent_path().string();
        g_StoragePath = wxString::FromUTF8(g_pageFolder);
        g_strip = new COrvexBrowsePanel(parent, wxPoint(0, 0), wxSize(184, 652));
        g_strip->layoutPanel(0, 0, 184, 652);
        benchgui::show();
        benchmark::RegisterBenchmark("BM_ScanFolder", BM_ScanFolder)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_FillPage", BM_FillPage)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_FillPageOverDecodes", BM_FillPageOverDecodes)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_PageDown", BM_PageDown)
            ->Iterations(1000)
            ->Unit(benchmark::kMillisecond);
    } else {
        std::fprintf(stderr, "no X display: the strip benchmarks are left out\n");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchgui::stop();
    return 0;
}
