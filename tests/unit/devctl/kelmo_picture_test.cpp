// Recognising the family camera's colour bars: the eight samples within the conversion's
// rounding, the samples logged up to the first mismatch, and frames of other shapes.
#include "app/data_files.h"
#include "devctl/orvex_io_control_box.h"
#include "support/log_capture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// White, yellow, cyan, green, magenta, red, blue, black as B, G, R.
const uint8_t kBars[8][3] = {{0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00},
                             {0x00, 0xFF, 0x00}, {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0xFF},
                             {0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00}};
constexpr size_t kSample0 = 460920;

// Exactly one 640 x 480 frame, grey but for the eight samples.
std::vector<uint8_t> barFrame()
{
    std::vector<uint8_t> f(640 * 480 * 3, 0x80);
    for (int i = 0; i < 8; ++i)
        std::copy(kBars[i], kBars[i] + 3, f.begin() + kSample0 + 240 * i);
    return f;
}

class ColourBars : public ::testing::Test
{
protected:
    // The lines logged since the last call, each with its line end.
    std::vector<std::string> takeLog()
    {
        const std::vector<std::string> all = m_log.lines();
        std::vector<std::string> lines;
        for (size_t i = m_taken; i < all.size(); ++i)
            lines.push_back(all[i] + "\n");
        m_taken = all.size();
        return lines;
    }
    bool check(const std::vector<uint8_t>& f) { return COrvexIOControlBox::isKelmo(f.data()); }

private:
    LogCapture m_log;
    size_t m_taken = 0;
};

TEST_F(ColourBars, ExactBarsPassAndAllEightSamplesAreLogged)
{
    auto f = barFrame();
    for (int i = 0; i < 8; ++i) { // neighbours of the samples do not count
        f[kSample0 + 240 * i - 3] ^= 0x55;
        f[kSample0 + 240 * i + 1920] ^= 0x55;
    }
    EXPECT_TRUE(check(f));
    EXPECT_THAT(takeLog(), ::testing::ElementsAre(
                               "IOControlBox isKelmo() dataTable[0] data(0xff, 0xff, 0xff)\n",
                               "IOControlBox isKelmo() dataTable[1] data(0x0, 0xff, 0xff)\n",
                               "IOControlBox isKelmo() dataTable[2] data(0xff, 0xff, 0x0)\n",
                               "IOControlBox isKelmo() dataTable[3] data(0x0, 0xff, 0x0)\n",
                               "IOControlBox isKelmo() dataTable[4] data(0xff, 0x0, 0xff)\n",
                               "IOControlBox isKelmo() dataTable[5] data(0x0, 0x0, 0xff)\n",
                               "IOControlBox isKelmo() dataTable[6] data(0xff, 0x0, 0x0)\n",
                               "IOControlBox isKelmo() dataTable[7] data(0x0, 0x0, 0x0)\n"));
}

TEST_F(ColourBars, ConversionRoundingPassesAClearlyDifferentByteFails)
{
    // Bars converted from YUYV or MJPEG arrive a few steps off full scale.
    auto near = barFrame();
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c) {
            uint8_t& b = near[kSample0 + 240 * i + c];
            b = b ? b - 8 : 8;
        }
    EXPECT_TRUE(check(near));
    takeLog();
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c) {
            auto f = barFrame();
            uint8_t& b = f[kSample0 + 240 * i + c];
            b = b ? b - 9 : 9;
            EXPECT_FALSE(check(f)) << i << "/" << c;
            EXPECT_EQ(takeLog().size(), static_cast<size_t>(i + 1)) << i << "/" << c;
        }
    auto f = barFrame();
    f[kSample0 + 240 * 3 + 1] = 0xEB; // limited-range white, never expanded
    EXPECT_FALSE(check(f));
    const auto log = takeLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[3], "IOControlBox isKelmo() dataTable[3] data(0x0, 0xeb, 0x0)\n");
}

TEST_F(ColourBars, FramesOfOtherShapesAreNotChecked)
{
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(static_cast<const uint8_t*>(nullptr)));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(cv::Mat(360, 640, CV_8UC3, cv::Scalar::all(255))));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(cv::Mat(480, 640, CV_8UC4, cv::Scalar::all(255))));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(cv::Mat()));
    EXPECT_THAT(takeLog(), ::testing::IsEmpty());

    // A 640 x 480 region of a wider picture: its rows lie further apart than 1920 bytes.
    auto bytes = barFrame();
    cv::Mat wide(500, 700, CV_8UC3, cv::Scalar::all(0x80));
    cv::Mat region = wide(cv::Rect(30, 10, 640, 480));
    cv::Mat(480, 640, CV_8UC3, bytes.data()).copyTo(region);
    ASSERT_FALSE(region.isContinuous());
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(region));
}

} // namespace
