// The live camera on the simulated rig without a window: frames lent or copied for a pass,
// the last frame held through a short stop, and the family camera's tube watch.
#include "capture/live_camera.h"

#include "support/log_capture.h"
#include "support/rig_session.h"

#include <scopesim/rig.h>

#include <gtest/gtest.h>

namespace
{

const char* const kScope = "USB Inspection Camera";

// The rig's scope opened as the search leaves it: the family camera at index 0.
struct LiveScope {
    LiveScope()
    {
        CameraChoice& c = live.choice();
        c.captures.push_back(platform::captures().openCamera(0));
        c.capture = c.captures[0].get();
        c.kind = KindKelmo;
        c.modelIndex[SlotKelmo] = 0;
    }

    // The frame of the next pass that has one, within a second of virtual time.
    cv::Mat* nextFrame()
    {
        for (int i = 0; i < 100; ++i) {
            if (cv::Mat* f = live.takeFrame(false, false))
                return f;
            rig.time.advance(10);
        }
        return nullptr;
    }

    RigSession rig{"scope \"USB Inspection Camera\" tube in\n"};
    LogCapture log;
    LiveCamera live;
};

} // namespace

TEST(LiveCamera, FramesAreLentCopiedForAFileOfTheirSizeAndHeldThroughAShortStop)
{
    LiveScope s;
    ASSERT_NE(s.nextFrame(), nullptr) << s.log.text();
    // Frozen, each pass (ended by releaseFrame, as the screen's are) gets the same frame again:
    // lent as it is to a pass that only reads it, and to one whose file is twice its size; a
    // copy for a file of its own size.
    const uchar* lent = s.live.takeFrame(false, true)->data;
    s.live.releaseFrame();
    EXPECT_EQ(s.live.takeFrame(true, true)->data, lent);
    s.live.releaseFrame();
    EXPECT_EQ(s.live.fileFrameSize(cv::Mat(480, 640, CV_8UC3)), cv::Size(1280, 960));
    s.live.choice().kind = KindGeneric;
    EXPECT_EQ(s.live.fileFrameSize(cv::Mat(480, 640, CV_8UC3)), cv::Size(640, 480));
    cv::Mat* copy = s.live.takeFrame(true, true);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->data, lent);
    s.live.releaseFrame();

    // A camera that stops sending keeps its last frame for a second, then gives none.
    scopesim::setFrames(kScope, false);
    s.rig.time.advance(LiveCamera::kNoFrameMs - 10);
    EXPECT_NE(s.live.takeFrame(false, false), nullptr);
    s.rig.time.advance(10);
    EXPECT_EQ(s.live.takeFrame(false, false), nullptr);
}

TEST(LiveCamera, TheTubeWatchDropsTheCameraAndOpensItAgain)
{
    LiveScope s;
    ASSERT_NE(s.nextFrame(), nullptr) << s.log.text();
    EXPECT_FALSE(s.live.tubeWatch(true));
    EXPECT_NE(s.live.choice().capture, nullptr);

    EXPECT_FALSE(s.live.tubeWatch(false));
    EXPECT_TRUE(s.log.has("Preview onTimer() Orvex(0), Tube Output (1, 0)"));
    EXPECT_EQ(s.live.choice().capture, nullptr);
    EXPECT_EQ(s.live.choice().at(0), nullptr); // the device is free while the tube is out
    EXPECT_EQ(s.live.takeFrame(false, false), nullptr);

    // Back in: opened again, and taken once it has settled and given a frame.
    EXPECT_FALSE(s.live.tubeWatch(true));
    EXPECT_TRUE(s.log.has("Preview onTimer() Orvex(0), Tube Input (0, 1)"));
    EXPECT_EQ(s.live.choice().capture, nullptr);
    for (int i = 0; i < 50 && !s.live.choice().capture; ++i) {
        s.rig.time.advance(10);
        s.live.tubeWatch(true);
    }
    ASSERT_NE(s.live.choice().capture, nullptr) << s.log.text();
    EXPECT_EQ(s.live.choice().capture, s.live.choice().at(0));
    EXPECT_TRUE(s.log.has("Preview onTimer() Orvex(0), QueryFrame OK!"));
    ASSERT_NE(s.nextFrame(), nullptr);

    // Frames that stop for a second with the tube in are a tube fault: the camera goes.
    scopesim::setFrames(kScope, false);
    s.rig.time.advance(LiveCamera::kNoFrameMs);
    EXPECT_EQ(s.live.takeFrame(false, false), nullptr);
    EXPECT_FALSE(s.live.tubeWatch(true));
    EXPECT_TRUE(s.log.has("Preview onTimer() Orvex(0), Tube Fail"));
    EXPECT_EQ(s.live.choice().capture, nullptr);

    // Opened again on the next look, a camera still silent is given up after its settling
    // pause and its while for a first frame, without another tube fault.
    EXPECT_FALSE(s.live.tubeWatch(true));
    EXPECT_EQ(s.log.count("Preview onTimer() Orvex(0), Tube Input (0, 1)"), 2u);
    s.rig.time.advance(LiveCamera::kReopenSettleMs + LiveCamera::kReopenFirstFrameMs - 10);
    s.live.tubeWatch(true);
    EXPECT_FALSE(s.log.has("Preview onTimer() Orvex(0), NoQueryFrame"));
    s.rig.time.advance(10);
    s.live.tubeWatch(true);
    EXPECT_TRUE(s.log.has("Preview onTimer() Orvex(0), NoQueryFrame"));
    EXPECT_EQ(s.live.choice().capture, nullptr);
    EXPECT_EQ(s.log.count("Preview onTimer() Orvex(0), Tube Fail"), 1u);

    // A tube that comes in while no family camera is known asks for the search.
    s.live.choice().modelIndex[SlotKelmo] = -1;
    EXPECT_FALSE(s.live.tubeWatch(false));
    EXPECT_TRUE(s.live.tubeWatch(true));
    EXPECT_TRUE(s.log.has("Preview onTimer() NoOrvex, Tube Input (0, 1)"));
}
