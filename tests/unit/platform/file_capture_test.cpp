// Video files open through the same capture interface in both backends.
#include "platform/services.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

class FileCapture : public ::testing::TestWithParam<bool>
{
};

TEST_P(FileCapture, ReportsCountRateAndPositionAndSeeks)
{
    GetParam() ? platform::useSimBackends() : platform::useLinuxBackends();
    fs::path file =
        fs::temp_directory_path() / ("orvex-file-capture-" + std::to_string(GetParam()) + ".avi");
    {
        cv::VideoWriter w(file.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10,
                          cv::Size(160, 120));
        if (!w.isOpened())
            GTEST_SKIP() << "no AVI writer in this OpenCV build";
        for (int i = 0; i < 20; ++i) {
            cv::Mat f(120, 160, CV_8UC3, cv::Scalar(i * 10, 0, 0));
            w.write(f);
        }
    }
    auto cap = platform::captures().openFile(file.string());
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->get(platform::kPropFrameCount), 20);
    EXPECT_EQ(cap->get(platform::kPropFps), 10);
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 160);
    cv::Mat first = cap->query();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.type(), CV_8UC3);
    EXPECT_TRUE(cap->set(platform::kPropPosFrames, 15));
    EXPECT_EQ(cap->get(platform::kPropPosFrames), 15);
    cv::Mat later = cap->query();
    ASSERT_FALSE(later.empty());
    EXPECT_GT(cv::mean(later)[0], cv::mean(first)[0] + 50);
    while (!cap->query().empty()) {
    }
    EXPECT_FALSE(cap->grab());
    EXPECT_EQ(platform::captures().openFile((fs::temp_directory_path() / "no-such.avi").string()),
              nullptr);
    fs::remove(file);
    platform::useLinuxBackends();
}

INSTANTIATE_TEST_SUITE_P(Backends, FileCapture, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sim" : "Linux"; });
