#include "pipeline/picture_transforms.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace
{

cv::Mat noise(int w, int h, int seed = 1)
{
    cv::Mat m(h, w, CV_8UC3);
    cv::theRNG().state = static_cast<uint64_t>(seed);
    cv::randu(m, 0, 256);
    return m;
}

// The transforms as their definition reads, one library call each.
cv::Mat referenceZoom(const cv::Mat& f, float factor)
{
    const int w = static_cast<int>(static_cast<float>(f.cols) * factor);
    const int h = static_cast<int>(static_cast<float>(f.rows) * factor);
    cv::Mat crop = f(cv::Rect((f.cols - w) / 2, (f.rows - h) / 2, w, h)).clone();
    cv::Mat out;
    cv::resize(crop, out, f.size(), 0, 0, cv::INTER_LINEAR);
    return out;
}

cv::Mat referenceRotation(const cv::Mat& f, int turns)
{
    cv::Mat m = cv::getRotationMatrix2D(
        cv::Point2f(static_cast<float>(f.cols / 2), static_cast<float>(f.rows / 2)), turns * -90.0,
        1.0);
    m.convertTo(m, CV_32F);
    cv::Mat out;
    cv::warpAffine(f, out, m, f.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
    return out;
}

bool same(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace

TEST(Rotation, QuarterTurnsMoveWholePixelsLikeTheAffineWarp)
{
    for (cv::Size s : {cv::Size(640, 480), cv::Size(1280, 960), cv::Size(1280, 720),
                       cv::Size(801, 599), cv::Size(400, 400), cv::Size(7, 5), cv::Size(5, 8)}) {
        const cv::Mat f = noise(s.width, s.height);
        for (int turns = 1; turns <= 3; ++turns) {
            cv::Mat out;
            rotateInto(f, out, turns);
            EXPECT_TRUE(same(out, referenceRotation(f, turns))) << s << " turns " << turns;
        }
    }
}

TEST(Rotation, QuarterTurnOfVgaLeavesBlackSidesAndTurnsClockwise)
{
    cv::Mat f(480, 640, CV_8UC3, cv::Scalar(50, 60, 70));
    f.at<cv::Vec3b>(240, 500) = cv::Vec3b(255, 255, 255); // right of the centre
    FrameTransformer t;
    t.rotate(f, 1);
    // The 480 columns of the turned picture sit in the middle; the sides are black.
    auto lit = [&](int x0, int x1) {
        return cv::countNonZero(f.colRange(x0, x1).clone().reshape(1));
    };
    EXPECT_EQ(lit(0, 81), 0);
    EXPECT_EQ(lit(561, 640), 0);
    EXPECT_EQ(lit(81, 561), 480 * 480 * 3);
    // Clockwise: what was right of the centre is now below it.
    EXPECT_EQ(f.at<cv::Vec3b>(420, 320), cv::Vec3b(255, 255, 255));
}

TEST(Mirror, ExchangesLeftAndRight)
{
    const cv::Mat f = noise(641, 3);
    cv::Mat m = f.clone();
    mirrorFrame(m);
    for (int y = 0; y < f.rows; ++y)
        for (int x = 0; x < f.cols; ++x)
            ASSERT_EQ(m.at<cv::Vec3b>(y, x), f.at<cv::Vec3b>(y, f.cols - 1 - x));
}

TEST(Zoom, LevelTwentyEnlargesTheCentralQuarter)
{
    EXPECT_EQ(zoomRect(1280, 960, 0.5f), cv::Rect(320, 240, 640, 480));
    EXPECT_EQ(zoomRect(1280, 960, 0.75f), cv::Rect(160, 120, 960, 720));
    EXPECT_EQ(zoomRect(801, 601, 0.975f), cv::Rect(10, 8, 780, 585))
        << "truncated products, integer halves";

    cv::Mat f = noise(1280, 960, 7);
    const cv::Mat want = referenceZoom(f, 0.5f);
    FrameTransformer t;
    t.zoom(f, 0.5f);
    EXPECT_TRUE(same(f, want));
    EXPECT_EQ(f.size(), cv::Size(1280, 960)) << "the frame keeps its size";
}

TEST(Zoom, FactorsOutsideTheRangeLeaveTheFrame)
{
    cv::Mat f = noise(64, 48);
    const cv::Mat before = f.clone();
    FrameTransformer t;
    t.zoom(f, 1.5f);
    t.zoom(f, 0.0f);
    EXPECT_TRUE(same(f, before));
}

TEST(Transforms, TheChainMatchesTheLibraryCallsOneByOne)
{
    struct Case {
        cv::Size size;
        bool mirror;
        float zoom;
        int turns;
    };
    FrameTransformer t; // one transformer: its buffers carry over between passes
    for (const Case& c : {Case{{1280, 960}, true, 0.75f, 1}, Case{{1280, 720}, false, 0.5f, 3},
                          Case{{640, 480}, true, 1.0f, 2}, Case{{801, 599}, true, 0.6f, 0},
                          Case{{1280, 960}, false, 0.975f, 1}, Case{{400, 400}, true, 0.5f, 3}}) {
        const cv::Mat f = noise(c.size.width, c.size.height, c.turns + 3);
        cv::Mat want = f.clone();
        if (c.mirror)
            cv::flip(want, want, 1);
        if (c.zoom != 1.0f)
            want = referenceZoom(want, c.zoom);
        if (c.turns > 0)
            want = referenceRotation(want, c.turns);
        cv::Mat got = f.clone();
        const uchar* buffer = got.data;
        t.apply(got, c.mirror, c.zoom, c.turns);
        EXPECT_TRUE(same(got, want))
            << c.size << " mirror " << c.mirror << " zoom " << c.zoom << " turns " << c.turns;
        EXPECT_EQ(got.data, buffer) << "in place, in the state's own buffer";
    }
}
