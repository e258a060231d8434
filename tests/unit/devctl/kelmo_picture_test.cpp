// Recognising the family camera's colour bars in a frame: exact bytes, the samples logged up
// to the first mismatch, and frames of other shapes.
#include "app/data_files.h"
#include "devctl/orvex_io_control_box.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{

constexpr size_t kFrameBytes = 640 * 480 * 3;
// White, yellow, cyan, green, magenta, red, blue, black as B, G, R.
const uint8_t kBars[8][3] = {{0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00},
                             {0x00, 0xFF, 0x00}, {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0xFF},
                             {0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00}};

// A frame that is mid-grey except at the eight sampled pixels.
std::vector<uint8_t> barFrame()
{
    std::vector<uint8_t> f(kFrameBytes, 0x80);
    for (int i = 0; i < 8; ++i)
        std::copy(kBars[i], kBars[i] + 3, f.begin() + 460920 + 240 * i);
    return f;
}

class ColourBars : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_log = std::tmpfile();
        g_LogFile = m_log;
    }
    void TearDown() override
    {
        g_LogFile = nullptr;
        std::fclose(m_log);
    }
    std::vector<std::string> takeLog()
    {
        std::fflush(m_log);
        std::rewind(m_log);
        std::vector<std::string> lines;
        char buf[300];
        while (std::fgets(buf, sizeof buf, m_log))
            lines.emplace_back(buf);
        m_log = std::freopen(nullptr, "w+", m_log);
        g_LogFile = m_log;
        return lines;
    }

private:
    FILE* m_log = nullptr;
};

TEST_F(ColourBars, ExactBarsPassAndLogAllEightSamples)
{
    auto f = barFrame();
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(f.data()));
    EXPECT_THAT(takeLog(),
                ElementsAre("IOControlBox isKelmo() dataTable[0] data(0xff, 0xff, 0xff)\n",
                            "IOControlBox isKelmo() dataTable[1] data(0x0, 0xff, 0xff)\n",
                            "IOControlBox isKelmo() dataTable[2] data(0xff, 0xff, 0x0)\n",
                            "IOControlBox isKelmo() dataTable[3] data(0x0, 0xff, 0x0)\n",
                            "IOControlBox isKelmo() dataTable[4] data(0xff, 0x0, 0xff)\n",
                            "IOControlBox isKelmo() dataTable[5] data(0x0, 0x0, 0xff)\n",
                            "IOControlBox isKelmo() dataTable[6] data(0xff, 0x0, 0x0)\n",
                            "IOControlBox isKelmo() dataTable[7] data(0x0, 0x0, 0x0)\n"));
}

TEST_F(ColourBars, GreenOffByOneStopsAfterTheFourthSample)
{
    auto f = barFrame();
    f[460920 + 240 * 3 + 1] = 0xFE;
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(f.data()));
    const auto log = takeLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[3], "IOControlBox isKelmo() dataTable[3] data(0x0, 0xfe, 0x0)\n");
}

TEST_F(ColourBars, AnySampledByteOffByOneFails)
{
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c) {
            auto f = barFrame();
            uint8_t& b = f[460920 + 240 * i + c];
            b = b ? b - 1 : 1;
            EXPECT_FALSE(COrvexIOControlBox::isKelmo(f.data())) << i << "/" << c;
            EXPECT_EQ(takeLog().size(), static_cast<size_t>(i + 1)) << i << "/" << c;
        }
}

TEST_F(ColourBars, OnlyTheSampledPixelsCount)
{
    auto f = barFrame();
    // Neighbours of every sample and the rows around them differ: still the bars.
    for (int i = 0; i < 8; ++i) {
        f[460920 + 240 * i - 3] ^= 0x55;
        f[460920 + 240 * i + 3] ^= 0x55;
        f[460920 + 240 * i - 1920] ^= 0x55;
        f[460920 + 240 * i + 1920] ^= 0x55;
    }
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(f.data()));
    // A plain grey frame fails at the first sample.
    std::vector<uint8_t> grey(kFrameBytes, 0x80);
    takeLog();
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(grey.data()));
    EXPECT_THAT(takeLog(),
                ElementsAre("IOControlBox isKelmo() dataTable[0] data(0x80, 0x80, 0x80)\n"));
}

TEST_F(ColourBars, NoBufferIsNoCamera)
{
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(static_cast<const uint8_t*>(nullptr)));
    EXPECT_THAT(takeLog(), IsEmpty());
}

TEST_F(ColourBars, FramesAreCheckedOnlyAt640x480ThreeChannels)
{
    auto bytes = barFrame();
    cv::Mat frame(480, 640, CV_8UC3, bytes.data());
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(frame));
    takeLog();

    EXPECT_FALSE(
        COrvexIOControlBox::isKelmo(cv::Mat(360, 640, CV_8UC3, cv::Scalar(255, 255, 255))));
    EXPECT_FALSE(
        COrvexIOControlBox::isKelmo(cv::Mat(480, 640, CV_8UC4, cv::Scalar(255, 255, 255))));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(cv::Mat()));
    EXPECT_THAT(takeLog(), IsEmpty());

    // A 640 x 480 region of a wider picture: its rows are further apart than 1920 bytes.
    cv::Mat wide(500, 700, CV_8UC3, cv::Scalar(0x80, 0x80, 0x80));
    cv::Mat region = wide(cv::Rect(30, 10, 640, 480));
    frame.copyTo(region);
    ASSERT_FALSE(region.isContinuous());
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(region));
}

} // namespace
