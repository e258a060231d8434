// The pictures and texts the program loads from <program folder>/res, as the build leaves them.

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const fs::path kRes = fs::path(ORVEX_BINARY_DIR) / "res";

struct Picture {
    const char* name;
    int width;
    int height;
};

// Every picture the program opens, at the size its layout is designed for.
const Picture kPictures[] = {
    {"background11.bmp", 136, 368},
    {"background12.bmp", 136, 210},
    {"background13.bmp", 136, 106},
    {"background14.bmp", 32, 652},
    {"background15.bmp", 984, 16},
    {"background16.bmp", 32, 16},
    {"background17.bmp", 984, 16},
    {"background18.bmp", 32, 16},
    {"background19.bmp", 148, 652},
    {"background20.bmp", 182, 652},
    {"background21.bmp", 654, 52},
    {"background22.bmp", 654, 108},
    {"background23.bmp", 654, 492},
    {"tab1_up.bmp", 50, 108},
    {"tab1_focus.bmp", 50, 108},
    {"tab2_up.bmp", 50, 108},
    {"tab2_focus.bmp", 50, 108},
    {"tab3_up.bmp", 50, 108},
    {"tab3_focus.bmp", 50, 108},
    {"eye4.png", 128, 128},
    {"fullscreen_release.bmp", 64, 64},
    {"non_fullscreen_release.bmp", 32, 32},
    {"snap_release.bmp", 108, 108},
    {"snap_click.bmp", 108, 108},
    {"rec_release.bmp", 108, 108},
    {"rec_click.bmp", 108, 108},
    {"mirror_release.bmp", 108, 108},
    {"mirror_click.bmp", 108, 108},
    {"rotate_release.bmp", 108, 108},
    {"rotate_click.bmp", 108, 108},
    {"led_dec_release.bmp", 64, 64},
    {"led_dec_click.bmp", 64, 64},
    {"led_inc_release.bmp", 64, 64},
    {"led_inc_click.bmp", 64, 64},
    {"boost_release.bmp", 64, 64},
    {"boost_click.bmp", 64, 64},
    {"led_switch_release.bmp", 64, 64},
    {"led_switch_click.bmp", 64, 64},
    {"browse_all_off.bmp", 48, 54},
    {"browse_all_on.bmp", 48, 54},
    {"browse_photo_off.bmp", 48, 54},
    {"browse_photo_on.bmp", 48, 54},
    {"browse_video_off.bmp", 48, 54},
    {"browse_video_on.bmp", 48, 54},
    {"browse_prev_release.bmp", 108, 36},
    {"browse_prev_click.bmp", 108, 36},
    {"browse_next_release.bmp", 108, 36},
    {"browse_next_click.bmp", 108, 36},
    {"cancel_release.bmp", 80, 80},
    {"cancel_click.bmp", 80, 80},
    {"video.bmp", 80, 80},
    {"video_play_off.bmp", 64, 64},
    {"video_play_on.bmp", 64, 64},
    {"video_plause_off.bmp", 64, 64},
    {"video_plause_on.bmp", 64, 64},
    {"video_stop_off.bmp", 64, 64},
    {"select_dir_off.bmp", 108, 108},
    {"select_dir_on.bmp", 108, 108},
    {"timestamp_off.bmp", 108, 108},
    {"timestamp_on.bmp", 108, 108},
    {"confirm_release.bmp", 80, 80},
    {"confirm_click.bmp", 80, 80},
    {"select_dir_add_release.bmp", 80, 80},
    {"select_dir_add_click.bmp", 80, 80},
    {"sample_view.jpg", 640, 480},
};

// The two looks of every button that has two.
const std::pair<const char*, const char*> kLooks[] = {
    {"tab1_up", "tab1_focus"},
    {"tab2_up", "tab2_focus"},
    {"tab3_up", "tab3_focus"},
    {"snap_release", "snap_click"},
    {"rec_release", "rec_click"},
    {"mirror_release", "mirror_click"},
    {"rotate_release", "rotate_click"},
    {"led_dec_release", "led_dec_click"},
    {"led_inc_release", "led_inc_click"},
    {"boost_release", "boost_click"},
    {"led_switch_release", "led_switch_click"},
    {"browse_all_off", "browse_all_on"},
    {"browse_photo_off", "browse_photo_on"},
    {"browse_video_off", "browse_video_on"},
    {"browse_prev_release", "browse_prev_click"},
    {"browse_next_release", "browse_next_click"},
    {"cancel_release", "cancel_click"},
    {"video_play_off", "video_play_on"},
    {"video_plause_off", "video_plause_on"},
    {"select_dir_off", "select_dir_on"},
    {"timestamp_off", "timestamp_on"},
    {"confirm_release", "confirm_click"},
    {"select_dir_add_release", "select_dir_add_click"},
};

std::vector<uint8_t> readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

cv::Mat load(const std::string& name)
{
    return cv::imread((kRes / name).string(), cv::IMREAD_COLOR);
}

// Mean absolute difference per channel value, 0..255.
double meanDiff(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3.0;
}

// The program's BMP loader takes plain 24-bit bitmaps; check the headers byte by byte.
void expectPlainBmp(const fs::path& p, int width, int height)
{
    auto b = readBytes(p);
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), b.size()) << "file size field";
    uint32_t offset = le32(b, 10);
    EXPECT_GE(le32(b, 14), 40u) << "info header size";
    EXPECT_EQ(int32_t(le32(b, 18)), width);
    EXPECT_EQ(std::abs(int32_t(le32(b, 22))), height);
    EXPECT_EQ(le16(b, 26), 1) << "planes";
    EXPECT_EQ(le16(b, 28), 24) << "bits per pixel";
    EXPECT_EQ(le32(b, 30), 0u) << "compression (BI_RGB)";
    size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    EXPECT_GE(b.size(), offset + stride * height) << "pixel data";
}

TEST(SkinPictures, EachIsThereInItsFormatAtItsDesignSize)
{
    for (const auto& pic : kPictures) {
        SCOPED_TRACE(pic.name);
        fs::path p = kRes / pic.name;
        ASSERT_TRUE(fs::is_regular_file(p)) << p;
        std::string ext = p.extension().string();
        if (ext == ".bmp") {
            expectPlainBmp(p, pic.width, pic.height);
        } else {
            auto b = readBytes(p);
            ASSERT_GE(b.size(), 8u);
            if (ext == ".png") {
                EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 4), "PNG");
            } else {
                EXPECT_EQ(b[0], 0xFF);
                EXPECT_EQ(b[1], 0xD8);
            }
        }
        cv::Mat img = cv::imread(p.string(), cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(img.empty());
        EXPECT_EQ(img.cols, pic.width);
        EXPECT_EQ(img.rows, pic.height);
        EXPECT_EQ(img.channels(), ext == ".png" ? 4 : 3);
    }
}

TEST(SkinPictures, ButtonLooksDifferAtFullAndHalfSize)
{
    for (const auto& [a, b] : kLooks) {
        SCOPED_TRACE(a);
        cv::Mat x = load(std::string(a) + ".bmp");
        cv::Mat y = load(std::string(b) + ".bmp");
        ASSERT_FALSE(x.empty());
        ASSERT_EQ(x.size(), y.size());
        EXPECT_GT(meanDiff(x, y), 8.0);
        cv::Mat hx, hy;
        cv::resize(x, hx, x.size() / 2, 0, 0, cv::INTER_AREA);
        cv::resize(y, hy, y.size() / 2, 0, 0, cv::INTER_AREA);
        EXPECT_GT(meanDiff(hx, hy), 6.0);
    }
}

TEST(SkinPictures, VideoMarkIsBlackOnlyAroundItsDisc)
{
    // Black is keyed out when the mark is pasted on a thumbnail: its surroundings must be exactly
    // black, and nothing inside the disc may be, or the thumbnail would show through holes.
    cv::Mat m = load("video.bmp");
    ASSERT_FALSE(m.empty());
    const cv::Vec3b black(0, 0, 0);
    for (cv::Point corner : {cv::Point(0, 0), cv::Point(79, 0), cv::Point(0, 79), cv::Point(79, 79),
                             cv::Point(4, 40), cv::Point(40, 2)}) {
        EXPECT_EQ(m.at<cv::Vec3b>(corner), black) << corner;
    }
    int holes = 0;
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            if ((x - 40) * (x - 40) + (y - 40) * (y - 40) < 28 * 28 &&
                m.at<cv::Vec3b>(y, x) == black)
                ++holes;
    EXPECT_EQ(holes, 0);
}

TEST(SkinPictures, WindowIconIsOpaqueOnATransparentGround)
{
    cv::Mat icon = cv::imread((kRes / "eye4.png").string(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(icon.type(), CV_8UC4);
    EXPECT_EQ(icon.at<cv::Vec4b>(0, 0)[3], 0);
    EXPECT_EQ(icon.at<cv::Vec4b>(127, 127)[3], 0);
    EXPECT_EQ(icon.at<cv::Vec4b>(64, 64)[3], 255);
    EXPECT_EQ(icon.at<cv::Vec4b>(64, 12)[3], 255);
}

// The window stretches these tiles along one axis for sizes other than the design size; a
// detail that varies along that axis would smear, so each line along it must be one colour.
TEST(SkinTiles, StretchedTilesAreUniformAlongTheStretch)
{
    struct Case {
        const char* name;
        bool alongY;
    };
    for (const auto& c : {Case{"background12.bmp", true}, Case{"background14.bmp", true},
                          Case{"background19.bmp", true}, Case{"background20.bmp", true},
                          Case{"background15.bmp", false}, Case{"background17.bmp", false},
                          Case{"background21.bmp", false}, Case{"background22.bmp", false}}) {
        SCOPED_TRACE(c.name);
        cv::Mat t = load(c.name);
        ASSERT_FALSE(t.empty());
        cv::Mat first = c.alongY ? t.row(0) : t.col(0);
        int n = c.alongY ? t.rows : t.cols;
        double worst = 0;
        for (int i = 1; i < n; ++i)
            worst = std::max(worst, cv::norm(c.alongY ? t.row(i) : t.col(i), first, cv::NORM_INF));
        EXPECT_LE(worst, 2.0);
    }
}

// Neighbouring tiles of the frame and the spine continue each other across their common edge.
TEST(SkinTiles, NeighboursContinueAcrossTheirEdges)
{
    struct Edge {
        const char* a; // left or upper tile
        const char* b; // right or lower tile
        bool vertical; // a side-by-side edge (compare a's last column with b's first)
    };
    for (const auto& e : {Edge{"background11.bmp", "background12.bmp", false},
                          Edge{"background12.bmp", "background13.bmp", false},
                          Edge{"background11.bmp", "background15.bmp", true},
                          Edge{"background15.bmp", "background16.bmp", true},
                          Edge{"background16.bmp", "background14.bmp", false},
                          Edge{"background14.bmp", "background18.bmp", false},
                          Edge{"background17.bmp", "background18.bmp", true}}) {
        SCOPED_TRACE(std::string(e.a) + " | " + e.b);
        cv::Mat a = load(e.a), b = load(e.b);
        ASSERT_FALSE(a.empty());
        ASSERT_FALSE(b.empty());
        cv::Mat sa, sb;
        if (e.vertical) {
            int h = std::min(a.rows, b.rows); // 11 is taller than the strip beside it
            sa = a(cv::Rect(a.cols - 1, 0, 1, h));
            sb = b(cv::Rect(0, 0, 1, h));
        } else {
            ASSERT_EQ(a.cols, b.cols);
            sa = a.row(a.rows - 1);
            sb = b.row(0);
        }
        EXPECT_LE(meanDiff(sa, sb), 4.0);
        EXPECT_LE(cv::norm(sa, sb, cv::NORM_INF), 40.0);
    }
}

TEST(SkinTexts, StringsFileHoldsTitleAndProgramName)
{
    auto b = readBytes(kRes / "values" / "strings.txt");
    EXPECT_EQ(std::string(b.begin(), b.end()), "TITLE Orvex\nEXENAME Orvex\n");
}

} // namespace
