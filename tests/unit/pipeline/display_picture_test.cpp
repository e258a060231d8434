#include "pipeline/display_map.h"
#include "pipeline/display_picture.h"
#include "pipeline/picture_transforms.h"

#include <gtest/gtest.h>

#include <wx/image.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace
{

cv::Mat noise(int w, int h)
{
    cv::Mat m(h, w, CV_8UC3);
    cv::theRNG().state = static_cast<uint64_t>(w * 31 + h);
    cv::randu(m, 0, 256);
    return m;
}

// A picture with detail at every scale, as a camera gives: smooth shading and edges.
cv::Mat scene(int w, int h)
{
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>(x * 255 / w), static_cast<uchar>(y * 255 / h),
                          static_cast<uchar>(128 + 100 * std::sin(x * 0.02 + y * 0.015)));
    cv::circle(m, cv::Point(w / 3, h / 2), h / 5, cv::Scalar(20, 240, 30), -1, cv::LINE_AA);
    cv::rectangle(m, cv::Rect(w / 2, h / 4, w / 5, h / 3), cv::Scalar(250, 250, 250), 3);
    return m;
}

// What the toolkit paints for the frame: a full-size RGB image rescaled at normal quality.
wxImage toolkitPicture(const cv::Mat& bgr, int d, int a)
{
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    wxImage img(rgb.cols, rgb.rows, rgb.data, true);
    return img.Scale(d, a, wxIMAGE_QUALITY_NORMAL).Copy();
}

double meanDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3;
}

} // namespace

TEST(FitToRgb, PaintsWhatTheToolkitsRescaleWouldPaint)
{
    struct Case {
        int w, h, d, a;
    };
    for (const Case& c :
         {Case{1280, 960, 640, 480}, Case{1920, 1080, 1000, 562}, Case{1280, 720, 1000, 562},
          Case{1280, 720, 1066, 600}, Case{800, 800, 700, 700}, Case{640, 480, 640, 480},
          Case{1280, 960, 1280, 480}, Case{1920, 1080, 640, 360}, Case{640, 480, 1000, 750},
          Case{401, 299, 97, 61}}) {
        const cv::Mat f = noise(c.w, c.h);
        std::vector<unsigned char> rgb(static_cast<size_t>(c.d) * c.a * 3);
        fitToRgb(f, c.d, c.a, rgb.data());
        const wxImage want = toolkitPicture(f, c.d, c.a);
        ASSERT_EQ(want.GetWidth(), c.d);
        EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), want.GetData()))
            << c.w << "x" << c.h << " to " << c.d << "x" << c.a;
    }
}

TEST(FitToRgb, ReadsFramesThatAreRegionsOfALargerImage)
{
    const cv::Mat big = noise(1300, 1000);
    const cv::Mat f = big(cv::Rect(10, 20, 1280, 960));
    std::vector<unsigned char> rgb(640 * 480 * 3), want(640 * 480 * 3);
    fitToRgb(f, 640, 480, rgb.data());
    fitToRgb(f.clone(), 640, 480, want.data());
    EXPECT_EQ(rgb, want);
}

TEST(DisplayMap, ShowsTheSamePictureAsTransformingTheWholeFrame)
{
    struct Case {
        int w, h, d, a;
        bool mirror;
        float zoom;
        int turns;
    };
    DisplayMap map;
    FrameTransformer t;
    for (const Case& c :
         {Case{1280, 960, 640, 480, true, 0.75f, 1}, Case{1280, 720, 1000, 562, false, 0.5f, 0},
          Case{1280, 720, 1000, 700, true, 1.0f, 3}, Case{800, 800, 700, 700, false, 0.6f, 2},
          Case{1920, 1080, 1000, 562, true, 1.0f, 0}, Case{801, 599, 640, 480, true, 0.6f, 1},
          Case{640, 480, 640, 480, true, 0.5f, 2}, Case{1280, 960, 640, 480, false, 0.5f, 3}}) {
        const cv::Mat f = scene(c.w, c.h);
        cv::Mat full = f.clone();
        t.apply(full, c.mirror, c.zoom, c.turns);
        cv::Mat want;
        cv::resize(full, want, cv::Size(c.d, c.a), 0, 0, cv::INTER_AREA);
        cv::cvtColor(want, want, cv::COLOR_BGR2RGB);
        cv::Mat got(c.a, c.d, CV_8UC3);
        map.render(f, c.d, c.a, c.mirror, c.zoom, c.turns, got.data);
        const std::string what =
            std::to_string(c.w) + "x" + std::to_string(c.h) + " turns " + std::to_string(c.turns);
        EXPECT_LT(meanDifference(got, want), 3.0) << what;
        // The black sides of a quarter turn are where they belong, to a pixel.
        cv::Mat gotBlack, wantBlack, gray;
        cv::cvtColor(got, gray, cv::COLOR_RGB2GRAY);
        gotBlack = gray == 0;
        cv::cvtColor(want, gray, cv::COLOR_RGB2GRAY);
        wantBlack = gray == 0;
        cv::Mat disagree;
        cv::bitwise_xor(gotBlack, wantBlack, disagree);
        EXPECT_LE(cv::countNonZero(disagree), 2 * (c.a + c.d)) << what;
    }
}
