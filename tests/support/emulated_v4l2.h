// V4L2 capture nodes emulated behind the platform's syscall table (open, close, ioctl,
// mmap, munmap, poll), following the rules of the kernel's uvcvideo driver and its
// videobuf2 queue (README.md beside this file says where each rule comes from). Buffers
// live in memfd memory so a real mmap works; each open file is one end of a socket pair
// that is readable while a buffer is done and shows POLLERR | POLLHUP once the device has
// gone, so a real poll or select can wait on it; frames come at the camera's rate on the
// platform clock, or from a sensor outside that delivers them.
#pragma once

#include "platform/linux/ioctl_ops.h"

#include <opencv2/core/mat.hpp>

#include <linux/uvcvideo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emulated
{

enum class Format { Yuyv, Mjpeg };

struct CameraSpec {
    std::string path; // what open() is given, e.g. "/dev/video0"
    std::string card = "Emulated Camera";
    std::vector<cv::Size> sizes = {{640, 480}};                  // the first is the default
    std::vector<Format> formats = {Format::Yuyv, Format::Mjpeg}; // the first is the default
    double fps = 30;
    int bus = 1; // USB 2.0 buses share their isochronous budget
    // The picture (BGR, of the size given) of frame `sequence`, taken at clock tick `at`;
    // empty: testPattern().
    std::function<cv::Mat(uint64_t sequence, uint32_t at, cv::Size size)> source;

    // What QUERYCAP tells; zero capabilities: a uvcvideo capture node's.
    std::string driver = "uvcvideo";
    std::string busInfo; // empty: "usb-emulated-<bus>"
    uint32_t capabilities = 0, deviceCaps = 0;
    // A UVC metadata node: it refuses every video format and buffer request.
    bool metadata = false;
    // UVCIOC_CTRL_QUERY, answered with the node's lock released (a stalled unit blocks
    // only its caller): 0 or an errno. Unset: ENOTTY, as a driver without it answers.
    std::function<int(uvc_xu_control_query& q)> controlQuery;
    // A sensor of its own: STREAMON asks it to start in the format and size in force (0 or
    // an errno such as ENOSPC, in place of this table's bus budget), the stream's end stops
    // it, and its frames come through deliver() rather than from the clock.
    std::function<int(Format format, cv::Size size)> startSensor;
    std::function<void()> stopSensor;
};

// Colour bars: what a node without a source shows.
cv::Mat testPattern(cv::Size size);

struct Counters {
    uint64_t ioctls = 0;       // every ioctl on the node's open files
    uint64_t afterUnplug = 0;  // ioctl, mmap and poll calls on it since it was unplugged
    uint64_t formatSets = 0;   // VIDIOC_S_FMT that changed the format in force
    uint64_t streamOns = 0;    // successful VIDIOC_STREAMON
    uint64_t busyRefusals = 0; // EBUSY for another file owning the stream
    uint64_t noSpace = 0;      // STREAMON refused for bandwidth
    uint64_t dequeued = 0;     // buffers handed out by VIDIOC_DQBUF
    Format format = Format::Yuyv;
    cv::Size size;
};

class EmulatedV4l2
{
public:
    EmulatedV4l2();
    ~EmulatedV4l2();
    EmulatedV4l2(const EmulatedV4l2&) = delete;
    EmulatedV4l2& operator=(const EmulatedV4l2&) = delete;

    // The node's number, counting from 0.
    int add(CameraSpec spec);
    // The table; valid while this object lives.
    platform::IoctlOps ops();

    // The device goes: every ioctl and mmap on its open files fails with ENODEV, poll
    // reports POLLERR | POLLHUP, and its path no longer opens.
    void unplug(int node);
    // Off: the sensor sends nothing (a stalled camera); the stream stays on.
    void setFrames(int node, bool on);
    // On: MJPEG frames arrive as bytes no decoder accepts.
    void setCorrupt(int node, bool on);
    // A frame from the node's own sensor (startSensor): it fills the oldest queued buffer
    // or is lost when none is queued. stampNs: CLOCK_MONOTONIC at the start of the frame.
    void deliver(int node, const std::vector<uint8_t>& bytes, uint32_t sequence, int64_t stampNs);
    // What mmap(length, flags, offset) on the open file fd would map: a descriptor of the
    // buffer memory (the caller closes it) to map at that offset, or -1 with errno.
    int bufferMemory(int fd, size_t length, int flags, off_t offset);

    Counters counters(int node) const;
    int openFiles(int node) const;
    // Bytes per second the streams on a bus hold.
    uint64_t busLoad(int bus) const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

} // namespace emulated
