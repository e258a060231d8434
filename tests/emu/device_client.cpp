// A program of its own that meets the device server through libemu_preload.so, as the
// viewer does: "raw PATH [meta|em28xx]" runs the V4L2 sequence by hand, "stream PATH" the
// viewer's own capture stream, "xu PATH UNIT SELECTOR QUERY SIZE" one extension-unit
// request. It prints what it saw, one fact a line, and waits for the device to go where
// the sequence says so.
#include "platform/linux/v4l2_stream.h"

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <unistd.h>
#include <vector>

namespace
{

int call(int fd, unsigned long request, void* arg)
{
    return ::ioctl(fd, request, arg) == 0 ? 0 : errno;
}

// Mean colour of eight upright bands, "b,g,r b,g,r ...".
void printBands(const char* what, const cv::Mat& bgr)
{
    std::printf("%s", what);
    for (int i = 0; i < 8; ++i) {
        const cv::Rect band(bgr.cols * i / 8, 0, bgr.cols / 8, bgr.rows);
        const cv::Scalar m = cv::mean(bgr(band));
        std::printf(" %d,%d,%d", int(m[0] + 0.5), int(m[1] + 0.5), int(m[2] + 0.5));
    }
    std::printf("\n");
    std::fflush(stdout);
}

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int raw(const char* path, const std::string& kind)
{
    const int fd = ::open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        say("open " + std::to_string(errno));
        return 1;
    }
    v4l2_capability cap{};
    call(fd, VIDIOC_QUERYCAP, &cap);
    say(std::string("driver ") + reinterpret_cast<char*>(cap.driver));
    say("device_caps " + std::to_string(cap.device_caps));
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = 700;
    f.fmt.pix.height = 500;
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    const int set = call(fd, VIDIOC_S_FMT, &f);
    say("s_fmt " + std::to_string(set) + " " + std::to_string(f.fmt.pix.width) + "x" +
        std::to_string(f.fmt.pix.height));
    if (kind == "meta")
        return 0;
    if (kind == "em28xx") {
        v4l2_dbg_register r{};
        r.match.type = V4L2_CHIP_MATCH_BRIDGE;
        say("dbg_g_register " + std::to_string(call(fd, VIDIOC_DBG_G_REGISTER, &r)));
    }
    const int other = ::open(path, O_RDWR | O_NONBLOCK);
    if (kind.empty()) {
        int index = -1, one = 1, zero = 0;
        const int got = call(fd, VIDIOC_G_INPUT, &index);
        v4l2_input in{}, second{};
        const int first = call(fd, VIDIOC_ENUMINPUT, &in);
        second.index = 1;
        say("inputs " + std::to_string(got) + " " + std::to_string(index) + " " +
            std::to_string(first) + " " + reinterpret_cast<char*>(in.name) + " type " +
            std::to_string(in.type) + " " + std::to_string(call(fd, VIDIOC_ENUMINPUT, &second)) +
            " " + std::to_string(call(fd, VIDIOC_S_INPUT, &one)) + " " +
            std::to_string(call(other, VIDIOC_S_INPUT, &zero)));
    }
    say("second_s_fmt " + std::to_string(call(other, VIDIOC_S_FMT, &f)));
    ::close(other);

    v4l2_requestbuffers rb{};
    rb.count = 4;
    rb.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    rb.memory = V4L2_MEMORY_MMAP;
    if (int e = call(fd, VIDIOC_REQBUFS, &rb)) {
        say("reqbufs " + std::to_string(e));
        return 1;
    }
    std::vector<uint8_t*> maps;
    for (uint32_t i = 0; i < rb.count; ++i) {
        v4l2_buffer b{};
        b.index = i;
        b.type = rb.type;
        b.memory = rb.memory;
        call(fd, VIDIOC_QUERYBUF, &b);
        void* p = ::mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, b.m.offset);
        if (p == MAP_FAILED) {
            say("mmap " + std::to_string(errno));
            return 1;
        }
        maps.push_back(static_cast<uint8_t*>(p));
        call(fd, VIDIOC_QBUF, &b);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const int on = call(fd, VIDIOC_STREAMON, &type);
    say("streamon " + std::to_string(on));
    if (on)
        return 0;
    for (bool shown = false;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) {
            say("poll timed out");
            return 1;
        }
        if (p.revents & POLLERR) {
            say("revents " + std::to_string(p.revents));
            break;
        }
        v4l2_buffer b{};
        b.type = rb.type;
        b.memory = rb.memory;
        if (int e = call(fd, VIDIOC_DQBUF, &b)) {
            say("dqbuf " + std::to_string(e));
            continue;
        }
        if (!shown) {
            cv::Mat yuyv(int(f.fmt.pix.height), int(f.fmt.pix.width), CV_8UC2, maps[b.index],
                         f.fmt.pix.bytesperline);
            cv::Mat bgr;
            cv::cvtColor(yuyv, bgr, cv::COLOR_YUV2BGR_YUYV);
            printBands("frame", bgr);
            say("ready");
            shown = true;
        }
        call(fd, VIDIOC_QBUF, &b);
    }
    say("after " + std::to_string(call(fd, VIDIOC_QUERYCAP, &cap)));
    void* p = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    say("mmap_after " + std::to_string(p == MAP_FAILED ? errno : 0));
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval now{};
    say("select " + std::to_string(::select(fd + 1, &readable, nullptr, nullptr, &now)));
    say("close " + std::to_string(::close(fd)));
    const int again = ::open(path, O_RDWR);
    say("reopen " + std::to_string(again < 0 ? errno : 0));
    return 0;
}

int stream(const char* path)
{
    auto s = platform::openV4l2Stream(platform::kernelIoctls(), path);
    if (!s) {
        say("open " + std::to_string(errno));
        return 1;
    }
    say("start " + std::to_string(s->start()));
    platform::RawFrame raw;
    uint32_t at = 0;
    uint64_t number = 0;
    int e = EAGAIN;
    for (int tries = 0; e == EAGAIN && tries < 100; ++tries)
        e = s->read(raw, at, number, 2000);
    cv::Mat bgr;
    if (e || !platform::decodeRaw(raw, bgr)) {
        say("read " + std::to_string(e));
        return 1;
    }
    printBands("frame", bgr);
    say("ready");
    for (uint64_t reads = 0; reads < 100000; ++reads)
        if ((e = s->read(raw, at, number, 10000)) == ENODEV)
            break;
    say("lost " + std::to_string(e) + " present " + std::to_string(s->present()));
    return 0;
}

int xu(char** argv)
{
    const int fd = ::open(argv[2], O_RDWR | O_NONBLOCK);
    std::vector<uint8_t> data(static_cast<size_t>(std::atoi(argv[6])));
    uvc_xu_control_query q{};
    q.unit = static_cast<__u8>(std::atoi(argv[3]));
    q.selector = static_cast<__u8>(std::atoi(argv[4]));
    q.query = static_cast<__u8>(std::atoi(argv[5]));
    q.size = static_cast<__u16>(data.size());
    q.data = data.data();
    const int e = call(fd, UVCIOC_CTRL_QUERY, &q);
    std::string line = "xu " + std::to_string(e);
    for (uint8_t b : data)
        line += " " + std::to_string(b);
    say(line);
    say(std::string("pointer ") + (q.data == data.data() ? "kept" : "changed"));
    ::close(fd);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "raw")
        return raw(argv[2], argc > 3 ? argv[3] : "");
    if (mode == "stream")
        return stream(argv[2]);
    if (mode == "xu" && argc == 7)
        return xu(argv);
    std::fprintf(stderr, "usage: %s raw|stream|xu PATH ...\n", argv[0]);
    return 2;
}
