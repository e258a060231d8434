#include "pipeline/time_stamp.h"

#include "support/dates.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>


TEST(StampText, ThreeDateOrdersAndYearFirstForEverythingElse)
{
    const platform::LocalTime t = march7();
    EXPECT_EQ(stampText(t, 1), "2026/03/07 09:05:33");
    EXPECT_EQ(stampText(t, 2), "03/07/2026 09:05:33");
    EXPECT_EQ(stampText(t, 3), "07/03/2026 09:05:33");
    EXPECT_EQ(stampText(t, 0), "");
    for (int other : {4, 7, -1, 100})
        EXPECT_EQ(stampText(t, other), "2026/03/07 09:05:33") << other;
    platform::LocalTime late = t;
    late.month = 12;
    late.day = 31;
    late.hour = 23;
    late.minute = 59;
    late.second = 59;
    EXPECT_EQ(stampText(late, 2), "12/31/2026 23:59:59");
}

TEST(TimeStamp, HalfSizeFontOnSquareFramesOnly)
{
    EXPECT_EQ(stampScale(cv::Mat(800, 800, CV_8UC3)), 0.5);
    EXPECT_EQ(stampScale(cv::Mat(400, 400, CV_8UC3)), 0.5);
    EXPECT_EQ(stampScale(cv::Mat(720, 1280, CV_8UC3)), 1.0);
    EXPECT_EQ(stampScale(cv::Mat(960, 1280, CV_8UC3)), 1.0);
}

TEST(TimeStamp, RedTextInTheBottomLeftCorner)
{
    const std::string text = "2026/03/07 09:05:33";
    for (cv::Size s : {cv::Size(1280, 960), cv::Size(400, 400)}) {
        cv::Mat f(s, CV_8UC3, cv::Scalar(0, 0, 0));
        drawTimeStamp(f, text);

        const double scale = s.width == s.height ? 0.5 : 1.0;
        int baseline = 0;
        const cv::Size ts = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
        cv::Mat want(s, CV_8UC3, cv::Scalar(0, 0, 0));
        cv::putText(want, text, cv::Point(16, s.height - ts.height - 8), cv::FONT_HERSHEY_SIMPLEX,
                    scale, cv::Scalar(0, 0, 255), 1, cv::LINE_AA);
        EXPECT_EQ(cv::norm(f, want, cv::NORM_INF), 0) << s;

        // Only red is drawn, and only in the corner band.
        std::vector<cv::Mat> ch;
        cv::split(f, ch);
        EXPECT_EQ(cv::countNonZero(ch[0]) + cv::countNonZero(ch[1]), 0);
        const cv::Rect lit = cv::boundingRect(ch[2]);
        EXPECT_GE(lit.x, 15);
        EXPECT_LT(lit.x, 20);
        EXPECT_LE(lit.br().y, s.height - ts.height - 8 + baseline + 2);
        EXPECT_GE(lit.y, s.height - 2 * ts.height - 12);
        EXPECT_NEAR(lit.width, ts.width, 4);
    }
}
