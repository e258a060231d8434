// make_skin: renders one skin source (SVG) into a picture the viewer loads.
//
//   make_skin --rsvg <rsvg-convert> --size <W>x<H> [--state <name>] <source.svg> <output>
//
// The output format follows the extension: .bmp is written as a 24-bit uncompressed Windows
// bitmap, .jpg as JPEG, .png as PNG with its alpha channel. A source that draws several looks
// of one button marks each look with a class "when-<state>"; --state keeps that look only.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace
{

namespace fs = std::filesystem;

struct Options {
    std::string rsvg;
    int width = 0;
    int height = 0;
    std::string state;
    fs::path source;
    fs::path output;
};

int usage()
{
    std::fprintf(stderr, "usage: make_skin --rsvg <rsvg-convert> --size <W>x<H> [--state <name>] "
                         "<source.svg> <output.bmp|png|jpg>\n");
    return 2;
}

bool parseSize(const std::string& text, int& w, int& h)
{
    char tail = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w > 0 && h > 0;
}

bool parseArgs(int argc, char** argv, Options& o)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--rsvg" && hasValue) {
            o.rsvg = argv[++i];
        } else if (a == "--size" && hasValue) {
            if (!parseSize(argv[++i], o.width, o.height))
                return false;
        } else if (a == "--state" && hasValue) {
            o.state = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2 || o.rsvg.empty() || o.width == 0)
        return false;
    o.source = positional[0];
    o.output = positional[1];
    return true;
}

// Runs a program without a shell and waits for it; true when it exited with 0.
bool run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "make_skin: cannot start %s\n", argv[0]);
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// BMP and JPEG have no alpha: what the drawing leaves transparent becomes black, which is also
// the colour the viewer treats as transparent in the video mark.
cv::Mat flatten(const cv::Mat& bgra)
{
    if (bgra.channels() != 4)
        return bgra;
    cv::Mat out(bgra.size(), CV_8UC3);
    for (int y = 0; y < bgra.rows; ++y) {
        const auto* s = bgra.ptr<cv::Vec4b>(y);
        auto* d = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgra.cols; ++x) {
            int a = s[x][3];
            for (int c = 0; c < 3; ++c)
                d[x][c] = static_cast<uchar>((s[x][c] * a + 127) / 255);
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parseArgs(argc, argv, o))
        return usage();

    std::string ext = o.output.extension().string();
    if (ext != ".bmp" && ext != ".png" && ext != ".jpg") {
        std::fprintf(stderr, "make_skin: unknown output format %s\n", ext.c_str());
        return 2;
    }

    std::error_code ec;
    fs::create_directories(o.output.parent_path(), ec);
    const fs::path rendered = o.output.string() + ".render.png";
    const fs::path stateSheet = o.output.string() + ".state.css";

    std::vector<std::string> cmd = {o.rsvg, "-w", std::to_string(o.width), "-h",
                                    std::to_string(o.height)};
    if (!o.state.empty()) {
        std::ofstream css(stateSheet);
        css << "[class*=\"when-\"] { display: none }\n.when-" << o.state
            << " { display: inline }\n";
        if (!css) {
            std::fprintf(stderr, "make_skin: cannot write %s\n", stateSheet.c_str());
            return 1;
        }
        cmd.insert(cmd.end(), {"-s", stateSheet.string()});
    }
    cmd.insert(cmd.end(), {"-o", rendered.string(), o.source.string()});

    bool ok = run(cmd);
    fs::remove(stateSheet, ec);
    if (!ok) {
        std::fprintf(stderr, "make_skin: rsvg-convert failed on %s\n", o.source.c_str());
        fs::remove(rendered, ec);
        return 1;
    }

    cv::Mat img = cv::imread(rendered.string(), cv::IMREAD_UNCHANGED);
    fs::remove(rendered, ec);
    if (img.empty() || img.depth() != CV_8U) {
        std::fprintf(stderr, "make_skin: no 8-bit picture rendered from %s\n", o.source.c_str());
        return 1;
    }
    if (img.cols != o.width || img.rows != o.height) {
        std::fprintf(stderr, "make_skin: %s rendered %dx%d, expected %dx%d\n", o.source.c_str(),
                     img.cols, img.rows, o.width, o.height);
        return 1;
    }

    std::vector<int> params;
    if (ext == ".png") {
        if (img.channels() == 3)
            cv::cvtColor(img, img, cv::COLOR_BGR2BGRA);
    } else {
        img = flatten(img);
        if (ext == ".jpg")
            params = {cv::IMWRITE_JPEG_QUALITY, 92};
    }
    if (!cv::imwrite(o.output.string(), img, params)) {
        std::fprintf(stderr, "make_skin: cannot write %s\n", o.output.c_str());
        return 1;
    }
    return 0;
}
