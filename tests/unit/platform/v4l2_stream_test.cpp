// The capture thread streaming V4L2 nodes itself, on emulated nodes that keep uvcvideo's
// rules: the newest frame, one format negotiation per start, a lost camera given up at
// once, a prompt close that frees the camera, a full bus, spoilt frames.
#include "platform/clock.h"
#include "platform/linux/v4l2_stream.h"
#include "platform/streaming_capture.h"
#include "support/emulated_v4l2.h"
#include "support/rig_session.h"
#include "support/wait_for.h"

#include <linux/videodev2.h>

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace
{

using emulated::Format;

constexpr double kPeriod30 = 1000.0 / 30;

class V4l2Streaming : public ::testing::Test
{
protected:
    int camera(const std::string& path, std::vector<cv::Size> sizes = {{640, 480}},
               std::vector<Format> formats = {Format::Yuyv, Format::Mjpeg}, int bus = 1)
    {
        emulated::CameraSpec spec;
        spec.path = path;
        spec.sizes = std::move(sizes);
        spec.formats = std::move(formats);
        spec.bus = bus;
        return m_emu.add(std::move(spec));
    }

    std::unique_ptr<platform::Capture> open(const std::string& path)
    {
        auto stream = platform::openV4l2Stream(m_emu.ops(), path);
        return stream ? std::make_unique<platform::StreamingCapture>(std::move(stream)) : nullptr;
    }

    // Moves the clock on and waits (in real time, bounded) for the thread to hand over a
    // frame: the clock stands still meanwhile, so the frame's age is exact.
    bool nextFrame(platform::Capture& c, uint32_t ms)
    {
        advance(ms);
        return e2e::waitFor([&] { return c.grab(); }, 10000);
    }
    double age(platform::Capture& c) const { return now() - c.get(platform::kPropPosMsec); }
    void advance(uint32_t ms) { time.advance(ms); }
    uint32_t now() const { return time.now(); }

    emulated::EmulatedV4l2 m_emu;
    RigTime time; // after the nodes, so that it is put back before they go
};

// Mean difference per channel value from the pattern the camera shows.
double offPattern(const cv::Mat& frame)
{
    cv::Mat diff;
    cv::absdiff(frame, emulated::testPattern(frame.size()), diff);
    return cv::mean(cv::mean(diff))[0];
}

} // namespace

TEST_F(V4l2Streaming, TheNewestFrameComesWithOneFormatRequestPerStart)
{
    const int node = camera("/dev/video0", {{640, 480}, {1920, 1080}});
    auto cap = open("/dev/video0");
    ASSERT_NE(cap, nullptr);
    auto c = m_emu.counters(node);
    EXPECT_EQ(c.formatSets, 1u);
    EXPECT_EQ(c.format, Format::Yuyv);
    EXPECT_EQ(c.size, cv::Size(640, 480));
    // Two or three frames a pass: a reader taking the oldest would fall behind.
    for (int pass = 0; pass < 30; ++pass) {
        ASSERT_TRUE(nextFrame(*cap, 60)) << pass;
        EXPECT_LE(age(*cap), kPeriod30) << pass;
    }
    cv::Mat f;
    ASSERT_TRUE(cap->retrieve(f));
    EXPECT_EQ(f.size(), cv::Size(640, 480));
    EXPECT_LT(offPattern(f), 6);
    EXPECT_NEAR(cap->get(platform::kPropFps), 30, 0.01);

    // 1080p cannot go uncompressed at 15 frames a second: MJPEG, at the camera's rate.
    ASSERT_TRUE(cap->set(platform::kPropFrameWidth, 1920));
    ASSERT_TRUE(cap->set(platform::kPropFrameHeight, 1080));
    c = m_emu.counters(node);
    EXPECT_EQ(c.formatSets, 2u);
    EXPECT_EQ(c.streamOns, 2u);
    EXPECT_EQ(c.format, Format::Mjpeg);
    EXPECT_EQ(c.size, cv::Size(1920, 1080));
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 1920);
    for (int pass = 0; pass < 5; ++pass) {
        ASSERT_TRUE(nextFrame(*cap, 40)) << pass;
        EXPECT_LE(age(*cap), kPeriod30) << pass;
    }
    ASSERT_TRUE(cap->retrieve(f));
    EXPECT_EQ(f.size(), cv::Size(1920, 1080));
    EXPECT_LT(offPattern(f), 6);
}

TEST_F(V4l2Streaming, AnUnpluggedCameraIsGivenUpAtOnce)
{
    const int node = camera("/dev/video0");
    auto cap = open("/dev/video0");
    ASSERT_NE(cap, nullptr);
    ASSERT_TRUE(nextFrame(*cap, 60));

    const auto unplugged = std::chrono::steady_clock::now();
    m_emu.unplug(node);
    cv::Mat f;
    ASSERT_TRUE(e2e::waitFor([&] { return !cap->retrieve(f); }, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - unplugged, std::chrono::seconds(1));
    // The node is let go with the thread, while the view still holds the capture.
    EXPECT_TRUE(e2e::waitFor([&] { return m_emu.openFiles(node) == 0; }, 5000));
    // Time goes on and the view keeps asking: nothing more reaches the dead node.
    for (int pass = 0; pass < 20; ++pass) {
        advance(60);
        EXPECT_FALSE(cap->grab());
        ::usleep(10000);
    }
    EXPECT_LT(m_emu.counters(node).afterUnplug, 100u);
}

TEST_F(V4l2Streaming, ClosingAStalledCameraIsPromptAndFreesItForTheNextCapture)
{
    const int node = camera("/dev/video0");
    auto cap = open("/dev/video0");
    ASSERT_NE(cap, nullptr);
    ASSERT_TRUE(nextFrame(*cap, 60));
    m_emu.setFrames(node, false);
    advance(1000);
    EXPECT_FALSE(cap->grab());

    const auto closing = std::chrono::steady_clock::now();
    cap.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(500));
    EXPECT_EQ(m_emu.openFiles(node), 0) << "no thread left holding the device";

    auto again = open("/dev/video0");
    ASSERT_NE(again, nullptr);
    m_emu.setFrames(node, true);
    ASSERT_TRUE(nextFrame(*again, 60));
    EXPECT_EQ(m_emu.counters(node).busyRefusals, 0u);
    EXPECT_EQ(m_emu.counters(node).streamOns, 2u);
}

TEST_F(V4l2Streaming, ACameraRefusedForBandwidthStreamsOnceTheBusIsFree)
{
    const int first = camera("/dev/video0"), second = camera("/dev/video2");
    auto a = open("/dev/video0");
    auto b = open("/dev/video2");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_GE(m_emu.counters(second).noSpace, 1u);
    ASSERT_TRUE(nextFrame(*a, 60));
    EXPECT_FALSE(b->grab());
    EXPECT_EQ(m_emu.busLoad(1), 640u * 480 * 2 * 30) << "only the first holds the bus";

    // Each refused try gave its buffers back, or the next one's format request would be
    // refused as busy and the camera never stream.
    a.reset();
    EXPECT_EQ(m_emu.counters(first).streamOns, 1u);
    ASSERT_TRUE(e2e::waitFor(
        [&] {
            advance(40);
            return b->grab();
        },
        10000));
    EXPECT_EQ(m_emu.counters(second).streamOns, 1u);
    EXPECT_EQ(m_emu.counters(second).busyRefusals, 0u);
}

TEST_F(V4l2Streaming, SpoiltMjpegFramesAreDroppedNotShown)
{
    const int node = camera("/dev/video0", {{1920, 1080}});
    auto cap = open("/dev/video0");
    ASSERT_NE(cap, nullptr);
    ASSERT_EQ(m_emu.counters(node).format, Format::Mjpeg);
    ASSERT_TRUE(nextFrame(*cap, 40));

    m_emu.setCorrupt(node, true);
    for (int pass = 0; pass < 5; ++pass) {
        const uint64_t before = m_emu.counters(node).dequeued;
        advance(40);
        // Taken from the driver, yet no frame for the view.
        ASSERT_TRUE(e2e::waitFor([&] { return m_emu.counters(node).dequeued > before; }, 10000));
        EXPECT_FALSE(cap->grab()) << pass;
    }
    cv::Mat f;
    ASSERT_TRUE(cap->retrieve(f)) << "the last good frame stays";
    EXPECT_LT(offPattern(f), 6);

    m_emu.setCorrupt(node, false);
    EXPECT_TRUE(nextFrame(*cap, 40));
}

// The emulation's own rules, which the tests above lean on.
TEST(EmulatedV4l2, KeepsTheDriversRulesForASecondFileAndAnUnplug)
{
    emulated::EmulatedV4l2 emu;
    emulated::CameraSpec spec;
    spec.path = "/dev/video0";
    const int node = emu.add(spec);
    const platform::IoctlOps o = emu.ops();
    const int owner = o.open(o.ctx, "/dev/video0", O_RDWR | O_NONBLOCK);
    const int other = o.open(o.ctx, "/dev/video0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(owner, 0);
    ASSERT_GE(other, 0);
    EXPECT_EQ(o.open(o.ctx, "/dev/video9", O_RDWR), -1);

    auto call = [&](int fd, unsigned long rq, void* arg) {
        return o.ioctl(o.ctx, fd, rq, arg) == 0 ? 0 : errno;
    };
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = 700;
    f.fmt.pix.height = 500;
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    ASSERT_EQ(call(owner, VIDIOC_S_FMT, &f), 0);
    EXPECT_EQ(f.fmt.pix.width, 640u) << "the nearest size offered";
    EXPECT_EQ(call(other, VIDIOC_S_FMT, &f), EBUSY);
    EXPECT_EQ(call(other, VIDIOC_G_FMT, &f), 0) << "another file may look";
    v4l2_requestbuffers rb{};
    rb.count = 2;
    rb.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    rb.memory = V4L2_MEMORY_MMAP;
    EXPECT_EQ(call(other, VIDIOC_REQBUFS, &rb), EBUSY);
    ASSERT_EQ(call(owner, VIDIOC_REQBUFS, &rb), 0);
    EXPECT_EQ(call(owner, VIDIOC_S_FMT, &f), EBUSY) << "buffers are allocated";
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    EXPECT_EQ(call(other, VIDIOC_STREAMON, &type), EBUSY);
    ASSERT_EQ(call(owner, VIDIOC_STREAMON, &type), 0);
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    EXPECT_EQ(call(owner, VIDIOC_DQBUF, &b), EAGAIN) << "nothing queued, nothing done";

    emu.unplug(node);
    EXPECT_EQ(call(owner, VIDIOC_QUERYCAP, &f), ENODEV);
    pollfd p{owner, POLLIN, 0};
    EXPECT_EQ(o.poll(o.ctx, &p, 1, 1000), 1);
    EXPECT_EQ(p.revents, POLLERR | POLLHUP);
    EXPECT_EQ(o.open(o.ctx, "/dev/video0", O_RDWR), -1);
    EXPECT_EQ(emu.counters(node).afterUnplug, 2u);
    EXPECT_EQ(o.close(o.ctx, owner), 0);
    EXPECT_EQ(o.close(o.ctx, other), 0);
    EXPECT_EQ(emu.openFiles(node), 0);
}
