// Rig cameras read as real ones: a thread per capture, the newest frame, grabs that never
// wait for the camera, the bus's bandwidth and the pixel format a size needs.
#include "platform/clock.h"
#include "platform/frame_decode.h"
#include "platform/services.h"
#include "platform/streaming_capture.h"
#include "support/rig_session.h"

#include <scopesim/rig.h>
#include <scopesim/stream.h>

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>

namespace
{

class Streaming : public ::testing::Test
{
protected:
    void start(const std::string& scenario)
    {
        std::string error;
        ASSERT_TRUE(scopesim::startText(scenario, "sim", &error)) << error;
        platform::useSimBackends();
    }
    void TearDown() override
    {
        platform::useLinuxBackends();
        scopesim::stop();
    }
    static int idOf(const std::string& name) { return scopesim::findVideoInput(name)->id; }
    // Frame age at the moment of the grab, in clock ms.
    double age(platform::Capture& c) const { return now() - c.get(platform::kPropPosMsec); }
    void advance(uint32_t ms) { time.advance(ms); }
    uint32_t now() const { return time.now(); }

    RigTime time;
};

} // namespace

TEST_F(Streaming, TheDriverQueueHoldsOldFramesTheThreadHandsOverTheNewest)
{
    start("camera \"Cam\" size 640x480 fps 30\n");
    const int id = idOf("Cam");
    // Read straight from the driver, one frame a 60 ms pass: four full buffers, so each
    // frame taken is about four periods old.
    ASSERT_EQ(scopesim::startStream(id), 0);
    double oldest = 0;
    for (int pass = 0; pass < 40; ++pass) {
        advance(60);
        scopesim::StreamBuffer b;
        ASSERT_EQ(scopesim::dequeueBuffer(id, b, 1000), 0);
        oldest = std::max(oldest, static_cast<double>(now() - b.capturedAt));
    }
    EXPECT_GT(oldest, 100);
    scopesim::stopStream(id);

    auto cap = platform::captures().openCamera(0);
    ASSERT_NE(cap, nullptr);
    for (int pass = 0; pass < 40; ++pass) {
        advance(60);
        ASSERT_TRUE(cap->grab()) << pass;
        EXPECT_LE(age(*cap), 1000.0 / 30) << pass;
        cv::Mat f;
        ASSERT_TRUE(cap->retrieve(f));
        EXPECT_EQ(f.size(), cv::Size(640, 480));
    }
    // Nothing new since: no frame, and the last one is still there to retrieve.
    EXPECT_FALSE(cap->grab());
}

TEST_F(Streaming, AGrabNeverWaitsForACameraThatStopped)
{
    start("camera \"Cam\" size 640x480 fps 30\n");
    auto cap = platform::captures().openCamera(0);
    ASSERT_NE(cap, nullptr);
    advance(100);
    ASSERT_TRUE(cap->grab());
    ASSERT_TRUE(scopesim::setFrames("Cam", false));
    advance(100);
    const uint32_t before = now();
    // The virtual clock stands still: a grab that waited for a frame would never return.
    auto grab = std::async(std::launch::async, [&] { return cap->grab(); });
    ASSERT_EQ(grab.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(grab.get());
    EXPECT_EQ(now(), before);
    cv::Mat last;
    EXPECT_TRUE(cap->retrieve(last)) << "the last frame stays";

    ASSERT_TRUE(scopesim::setFrames("Cam", true));
    advance(40);
    EXPECT_TRUE(cap->grab());
    EXPECT_LE(age(*cap), 1000.0 / 30);
}

TEST_F(Streaming, ReleasingACaptureStuckOnAStalledDeviceEndsItsThread)
{
    start("camera \"Cam\" size 640x480 fps 30\n");
    auto cap = platform::captures().openCamera(0);
    ASSERT_NE(cap, nullptr);
    ASSERT_TRUE(scopesim::stall("Cam", 600000));
    advance(100);
    auto release = std::async(std::launch::async, [&] { cap.reset(); });
    ASSERT_EQ(release.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(scopesim::busLoad(idOf("Cam")), 0u) << "the stream was stopped";
}

TEST_F(Streaming, TheBusRefusesAStreamBeyondItsBudget)
{
    start("camera \"A\" size 640x480 bus 1\n"
          "camera \"B\" size 640x480 bus 1\n"
          "camera \"C\" size 640x480\n");
    const int a = idOf("A"), b = idOf("B"), c = idOf("C");
    ASSERT_EQ(scopesim::startStream(a), 0);
    EXPECT_EQ(scopesim::startStream(a), EBUSY);
    EXPECT_EQ(scopesim::startStream(b), ENOSPC);
    EXPECT_EQ(scopesim::startStream(c), 0) << "another bus";
    EXPECT_EQ(scopesim::busLoad(a), 640u * 480 * 2 * 30);
    scopesim::stopStream(a);
    EXPECT_EQ(scopesim::startStream(b), 0);
    // MJPEG needs far less of the bus: both fit.
    scopesim::stopStream(b);
    ASSERT_TRUE(scopesim::setPixelFormat(a, scopesim::PixelFormat::Mjpeg));
    ASSERT_EQ(scopesim::startStream(a), 0);
    EXPECT_EQ(scopesim::startStream(b), 0);
    EXPECT_FALSE(scopesim::setPixelFormat(a, scopesim::PixelFormat::Yuyv)) << "streaming";
}

// A reader that slept through an unplug and the replug after it must not take the frames of
// the stream a newer capture started.
TEST_F(Streaming, AReaderOfAnEarlierPlugInNeverTakesTheNewStreamsFrames)
{
    start("camera \"Cam\" size 640x480\n");
    const int id = idOf("Cam");
    int earlier = 0, later = 0;
    ASSERT_EQ(scopesim::startStream(id, &earlier), 0);
    ASSERT_TRUE(scopesim::plug("Cam", false));
    ASSERT_TRUE(scopesim::plug("Cam", true));
    ASSERT_EQ(scopesim::startStream(id, &later), 0);
    advance(100);
    scopesim::StreamBuffer b;
    EXPECT_EQ(scopesim::dequeueBuffer(id, b, 0, true, &earlier), ENODEV);
    EXPECT_EQ(scopesim::dequeueBuffer(id, b, 0, true, &later), 0);
}

TEST_F(Streaming, ASecondCameraOnAFullBusStreamsOnceTheFirstIsReleased)
{
    start("camera \"A\" size 640x480 bus 1\n"
          "camera \"B\" size 640x480 bus 1\n");
    auto first = platform::captures().openCamera(0);
    auto second = platform::captures().openCamera(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    advance(100);
    EXPECT_TRUE(first->grab());
    EXPECT_FALSE(second->grab());
    first.reset();
    second->grab(); // starts the stream now the bus is free
    advance(40);
    EXPECT_TRUE(second->grab());
}

TEST_F(Streaming, LargeSizesAskForMjpegWhereUncompressedIsTooSlow)
{
    EXPECT_TRUE(platform::needsCompression(1920, 1080));
    EXPECT_TRUE(platform::needsCompression(1280, 720));
    EXPECT_FALSE(platform::needsCompression(800, 800));
    EXPECT_FALSE(platform::needsCompression(640, 480));

    start("camera \"Both\" size 640x480,1920x1080 formats yuyv,mjpeg\n"
          "camera \"Raw\" size 640x480,1920x1080 formats yuyv\n");
    auto count = [&](platform::Capture& c) {
        int frames = 0;
        for (int step = 0; step < 100; ++step) { // a second in 10 ms passes
            advance(10);
            frames += c.grab() ? 1 : 0;
        }
        return frames;
    };
    auto both = platform::captures().openCamera(0);
    ASSERT_TRUE(both->set(platform::kPropFrameWidth, 1920));
    ASSERT_TRUE(both->set(platform::kPropFrameHeight, 1080));
    EXPECT_EQ(scopesim::pixelFormat(idOf("Both")), scopesim::PixelFormat::Mjpeg);
    EXPECT_EQ(both->get(platform::kPropFrameWidth), 1920);
    const int mjpeg = count(*both);
    EXPECT_GE(mjpeg, 29);
    cv::Mat f;
    ASSERT_TRUE(both->retrieve(f));
    EXPECT_EQ(f.size(), cv::Size(1920, 1080));
    both.reset();

    auto raw = platform::captures().openCamera(1);
    ASSERT_TRUE(raw->set(platform::kPropFrameWidth, 1920));
    ASSERT_TRUE(raw->set(platform::kPropFrameHeight, 1080));
    EXPECT_EQ(scopesim::pixelFormat(idOf("Raw")), scopesim::PixelFormat::Yuyv);
    const int yuyv = count(*raw);
    EXPECT_GE(yuyv, 5);
    EXPECT_LE(yuyv, 6) << "uncompressed 1080p fills the bus at about 5.9 frames a second";

    // Back to a small size: the preferred uncompressed format again.
    auto again = platform::captures().openCamera(0);
    ASSERT_TRUE(again->set(platform::kPropFrameWidth, 640));
    ASSERT_TRUE(again->set(platform::kPropFrameHeight, 480));
    EXPECT_EQ(scopesim::pixelFormat(idOf("Both")), scopesim::PixelFormat::Yuyv);
}

TEST(FrameDecode, BytesThatDoNotMakeTheFrameAreRefused)
{
    cv::Mat out(2, 2, CV_8UC3);
    EXPECT_FALSE(platform::decodeYuyv(std::vector<uint8_t>(10), 4, 2, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(platform::decodeYuyv(std::vector<uint8_t>(6), 3, 1, out)) << "odd width";
    EXPECT_FALSE(platform::decodeYuyv({}, 0, 0, out));
    EXPECT_TRUE(platform::decodeYuyv(std::vector<uint8_t>(16, 128), 4, 2, out));
    EXPECT_EQ(out.size(), cv::Size(4, 2));
    EXPECT_FALSE(platform::decodeMjpeg({}, out));
    EXPECT_FALSE(platform::decodeMjpeg({0xFF, 0xD8, 0xFF, 0x00, 0x12}, out));
    EXPECT_TRUE(out.empty());
}
