// What the rig's cameras send: the test picture byte for byte, and scenes that respond.
#include "rig_fixture.h"

#include <scopesim/stream.h>

#include <opencv2/core.hpp>

using namespace simtest;

class Frames : public RigTest
{
protected:
    void SetUp() override
    {
        RigTest::SetUp();
        start(scopesim::defaultScenario());
        scope = idOf(kScope);
        webcam = idOf("Integrated Camera");
    }
    cv::Mat frame(int id)
    {
        cv::Mat m;
        EXPECT_TRUE(scopesim::grabFrame(id, m));
        return m;
    }
    double brightness(int id) { return cv::mean(frame(id))[0]; }
    int scope = 0, webcam = 0;
};

TEST_F(Frames, TestPictureHasTheEightBarsExactly)
{
    ASSERT_EQ(writeReg(scope, 1, 0x7A, 0x8400, 0x16), 0);
    cv::Mat m = frame(scope);
    ASSERT_EQ(m.cols, 640);
    ASSERT_EQ(m.rows, 480);
    ASSERT_EQ(m.type(), CV_8UC3);
    ASSERT_TRUE(m.isContinuous());
    static const uint8_t want[8][3] = {{0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00},
                                       {0x00, 0xFF, 0x00}, {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0xFF},
                                       {0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00}};
    const uint8_t* p = m.ptr<uint8_t>(0);
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(p[460920 + 240 * i + c], want[i][c]) << "sample " << i << " byte " << c;
    // A standard bar pattern: each bar is one colour over its whole width and height.
    for (int i = 0; i < 8; ++i) {
        cv::Mat bar = m(cv::Rect(i * 80, 0, 80, 480));
        cv::Scalar lo, hi;
        std::vector<cv::Mat> ch;
        cv::split(bar, ch);
        for (int c = 0; c < 3; ++c) {
            double mn, mx;
            cv::minMaxLoc(ch[c], &mn, &mx);
            EXPECT_EQ(mn, want[i][c]);
            EXPECT_EQ(mx, want[i][c]);
        }
    }
    // Back to live: no longer the bars.
    ASSERT_EQ(writeReg(scope, 1, 0x7A, 0x8400, 0x02), 0);
    cv::Mat live = frame(scope);
    EXPECT_NE(live.at<cv::Vec3b>(240, 40), cv::Vec3b(0xFF, 0xFF, 0xFF));
}

TEST_F(Frames, OnlyTheScopeShowsBarsAndOnlyWithItsTube)
{
    writeReg(scope, 1, 0x7A, 0x8400, 0x16);
    EXPECT_NE(frame(webcam).at<cv::Vec3b>(240, 40), cv::Vec3b(0xFF, 0xFF, 0xFF));
    scopesim::setTube(kScope, false);
    EXPECT_EQ(cv::countNonZero(frame(scope).reshape(1)), 0);
}

TEST_F(Frames, PipeBrightnessFollowsTheLedAndBoost)
{
    writeReg(scope, 3, 0xDC, 0x40 | 2, 0);
    double dim = brightness(scope);
    writeReg(scope, 3, 0xDC, 0x40 | 15, 0);
    double bright = brightness(scope);
    EXPECT_GT(bright, dim * 2.5);
    EXPECT_GT(bright, 40.0); // a lit pipe, not a black frame
    writeReg(scope, 0, 0x7A, 0xA070, 0x017A);
    EXPECT_GT(brightness(scope), bright * 1.3);
    // The far end of the pipe stays darker than the wall near the head.
    cv::Mat m = frame(scope);
    double centre = cv::mean(m(cv::Rect(300, 200, 40, 40)))[1];
    double edge = cv::mean(m(cv::Rect(0, 200, 40, 40)))[1];
    EXPECT_LT(centre, edge);
}

TEST_F(Frames, ScenesMoveWithTime)
{
    cv::Mat a = frame(scope).clone(), w1 = frame(webcam).clone();
    EXPECT_EQ(w1.cols, 1280);
    EXPECT_EQ(w1.rows, 720);
    advance(2000);
    cv::Mat b = frame(scope), w2 = frame(webcam);
    EXPECT_GT(cv::norm(a, b, cv::NORM_L1) / a.total(), 1.0);
    EXPECT_GT(cv::norm(w1, w2, cv::NORM_L1) / w1.total(), 1.0);
    // Within one frame period the picture stands still (a real camera sends frames).
    cv::Mat c = frame(webcam).clone();
    advance(10);
    EXPECT_EQ(cv::norm(c, frame(webcam), cv::NORM_L1), 0.0);
}

TEST_F(Frames, FramesStopAndStartAndUnpluggedDevicesSendNone)
{
    ASSERT_TRUE(scopesim::command("frames \"Integrated Camera\" off"));
    cv::Mat m(2, 2, CV_8UC3);
    EXPECT_FALSE(scopesim::grabFrame(webcam, m));
    EXPECT_TRUE(m.empty());
    ASSERT_TRUE(scopesim::command("frames \"Integrated Camera\" on"));
    EXPECT_TRUE(scopesim::grabFrame(webcam, m));
    ASSERT_TRUE(scopesim::plug(kScope, false));
    EXPECT_FALSE(scopesim::grabFrame(scope, m));
    EXPECT_FALSE(scopesim::grabFrame(12345, m));
}

TEST_F(Frames, SizeRequestsTakeTheNearestMode)
{
    start("camera \"Sq\" size 800x800,640x480,400x400\ncamera \"Hd\" size 1280x720\n"
          "scope \"S\"\n");
    int sq = idOf("Sq"), hd = idOf("Hd"), s = idOf("S");
    ASSERT_TRUE(scopesim::setFrameSize(sq, 400, 400));
    EXPECT_EQ(frame(sq).size(), cv::Size(400, 400));
    ASSERT_TRUE(scopesim::setFrameSize(sq, 1920, 1080));
    EXPECT_EQ(frame(sq).size(), cv::Size(800, 800));
    // One size given: the usual smaller modes come with it.
    EXPECT_EQ(scopesim::frameSizes(hd).front(), std::make_pair(1280, 720));
    ASSERT_TRUE(scopesim::setFrameSize(hd, 640, 480));
    EXPECT_EQ(frame(hd).size(), cv::Size(640, 480));
    // The scope knows only its own size.
    ASSERT_TRUE(scopesim::setFrameSize(s, 1280, 960));
    EXPECT_EQ(frame(s).size(), cv::Size(640, 480));
}

// A still scene costs the host nothing to draw: the same bytes every frame, until what the
// sensor sees changes (here the LEDs). A moving scene never repeats.
TEST_F(RigTest, AStillSceneRepeatsItsBytesUntilThePictureChanges)
{
    start("scope \"S\" scene still\ncamera \"C\" scene pipe\n");
    const int still = idOf("S"), moving = idOf("C");
    ASSERT_EQ(scopesim::startStream(still), 0);
    ASSERT_EQ(scopesim::startStream(moving), 0);
    auto next = [this](int id) {
        scopesim::StreamBuffer b;
        advance(40);
        EXPECT_EQ(scopesim::dequeueBuffer(id, b, 1000, true), 0);
        return b;
    };
    std::vector<scopesim::StreamBuffer> frames;
    for (int i = 0; i < 4; ++i)
        frames.push_back(next(still));
    for (const auto& f : frames) {
        EXPECT_EQ(f.bytes, frames[0].bytes);
        EXPECT_EQ(f.width, 640);
        EXPECT_EQ(f.height, 480);
        EXPECT_EQ(f.bytes.size(), 640u * 480 * 2);
    }
    EXPECT_GT(frames[3].sequence, frames[0].sequence) << "new frames, the same picture";

    ASSERT_TRUE(scopesim::command("button \"S\" led-down 50"));
    advance(100);
    const scopesim::StreamBuffer dimmer = next(still);
    EXPECT_NE(dimmer.bytes, frames[0].bytes);
    EXPECT_EQ(next(still).bytes, dimmer.bytes);
    EXPECT_EQ(next(still).bytes, dimmer.bytes);

    const scopesim::StreamBuffer a = next(moving), b = next(moving), c = next(moving);
    EXPECT_NE(a.bytes, b.bytes);
    EXPECT_NE(b.bytes, c.bytes);
}
