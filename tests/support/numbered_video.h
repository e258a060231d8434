// Videos whose frames carry their own number, drawn as a block code that survives lossy
// compression, so a test can tell exactly which frame a player shows.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <functional>
#include <string>

namespace numbered
{

constexpr int kBits = 14; // two rows of seven blocks: frames 0 .. 16383

inline cv::Rect block(int bit, cv::Size size)
{
    const int bw = size.width / 8, bh = size.height / 4;
    const int row = bit / 7, col = bit % 7;
    return cv::Rect(bw / 2 + col * bw, bh / 2 + row * bh, bw, bh);
}

// Frame n of a test video: the number's bits as white or black blocks on grey, with noise
// of its own below, so the file is not trivially small and no two frames are alike.
inline cv::Mat frame(int n, cv::Size size)
{
    cv::Mat f(size, CV_8UC3, cv::Scalar(128, 128, 128));
    cv::Mat below =
        f(cv::Rect(0, size.height * 3 / 4, size.width, size.height - size.height * 3 / 4));
    cv::RNG rng(static_cast<uint64_t>(n) + 1);
    rng.fill(below, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    for (int b = 0; b < kBits; ++b) {
        const cv::Scalar c = (n >> b) & 1 ? cv::Scalar(235, 235, 235) : cv::Scalar(16, 16, 16);
        cv::rectangle(f, block(b, size), c, cv::FILLED);
    }
    return f;
}

// The number a frame carries; -1 when a block is neither clearly white nor clearly black.
inline int read(const cv::Mat& f)
{
    if (f.empty() || f.type() != CV_8UC3)
        return -1;
    int n = 0;
    for (int b = 0; b < kBits; ++b) {
        cv::Rect r = block(b, f.size());
        const cv::Rect inner(r.x + r.width / 4, r.y + r.height / 4, r.width / 2, r.height / 2);
        const cv::Scalar m = cv::mean(f(inner));
        const double v = (m[0] + m[1] + m[2]) / 3;
        if (v > 170)
            n |= 1 << b;
        else if (v > 80)
            return -1;
    }
    return n;
}

// Encodes frameAt(0) .. frameAt(count-1) with ffmpeg (codec arguments as given); false when
// ffmpeg is missing or fails.
inline bool ffmpegEncode(const std::string& path, cv::Size size, int count, int fps,
                         const std::string& codec, const std::function<cv::Mat(int)>& frameAt)
{
    const std::string cmd = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgr24 -s " +
                            std::to_string(size.width) + "x" + std::to_string(size.height) +
                            " -r " + std::to_string(fps) + " -i - " + codec + " '" + path + "'";
    FILE* pipe = ::popen(cmd.c_str(), "w");
    if (!pipe)
        return false;
    bool ok = true;
    for (int n = 0; n < count && ok; ++n) {
        const cv::Mat f = frameAt(n);
        ok = f.size() == size && f.type() == CV_8UC3 && f.isContinuous() &&
             std::fwrite(f.data, 1, f.total() * 3, pipe) == f.total() * 3;
    }
    return ::pclose(pipe) == 0 && ok;
}

// Numbered frames 0 .. count-1 encoded with ffmpeg.
inline bool ffmpegVideo(const std::string& path, cv::Size size, int count, int fps,
                        const std::string& codec)
{
    return ffmpegEncode(path, size, count, fps, codec, [size](int n) { return frame(n, size); });
}

// H.264 in a MOV with B-frames and a keyframe every gop frames: seeking has to decode from
// the keyframe before the frame asked for.
inline std::string h264Options(int gop)
{
    return "-c:v libx264 -preset veryfast -bf 2 -g " + std::to_string(gop) + " -keyint_min " +
           std::to_string(gop) + " -sc_threshold 0 -pix_fmt yuv420p -f mov";
}
inline bool h264Mov(const std::string& path, cv::Size size, int count, int fps, int gop = 30)
{
    return ffmpegVideo(path, size, count, fps, h264Options(gop));
}

} // namespace numbered
