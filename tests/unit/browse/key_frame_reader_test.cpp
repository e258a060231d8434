#include "browse/key_frame_reader.h"
#include "browse/video_source.h"
#include "unit/browse/video_kinds.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{

class KeyFrames : public VideoKinds
{
};

// The longest run between key frames among the test videos (the MOV's).
constexpr int kLongestGop = 30;

TEST_P(KeyFrames, EachFrameGetsTheKeyFrameAtOrBeforeIt)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    KeyFrameReader keys;
    ASSERT_TRUE(keys.open(path));
    VideoSource exact;
    ASSERT_TRUE(exact.open(path));
    int previous = 0;
    for (int t = 0; t < kFrames; ++t) {
        cv::Mat f;
        const int k = keys.read(t, f);
        ASSERT_GE(k, previous) << "frame " << t;
        ASSERT_LE(k, t);
        ASSERT_LT(t - k, kLongestGop);
        ASSERT_EQ(numbered::read(f), k) << "the picture is not the frame it names";
        if (k != previous || t == 0) {
            // A key frame stands for itself, and looks as the exact reader decodes it.
            cv::Mat again, decoded;
            ASSERT_EQ(keys.read(k, again), k);
            ASSERT_TRUE(exact.seek(k));
            ASSERT_TRUE(exact.read(decoded));
            cv::Mat diff;
            cv::absdiff(f, decoded, diff);
            const cv::Scalar m = cv::mean(diff);
            EXPECT_LT((m[0] + m[1] + m[2]) / 3, 3.0) << "key frame " << k;
        }
        previous = k;
    }
    // Past the end: the last key frame.
    cv::Mat f;
    EXPECT_EQ(keys.read(kFrames + 100, f), previous);
}

TEST_P(KeyFrames, TruncatedFileGivesWhatItStillHolds)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    KeyFrameReader keys;
    ASSERT_TRUE(keys.open(path));
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    for (int t : {0, kFrames / 3, kFrames - 1, 5}) {
        cv::Mat f;
        const int k = keys.read(t, f);
        if (k >= 0) {
            EXPECT_LE(k, t);
            EXPECT_EQ(numbered::read(f), k);
        } else {
            EXPECT_TRUE(f.empty()) << "a failed read must leave the picture alone";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Makers, KeyFrames,
                         ::testing::Values(Maker::Recorder, Maker::FfmpegMov, Maker::FfmpegAvi),
                         makerName);

TEST(KeyFrameFiles, WhatIsNotAVideoDoesNotOpen)
{
    TempDir dir;
    KeyFrameReader keys;
    EXPECT_FALSE(keys.open(dir / "missing.avi"));
    EXPECT_FALSE(keys.open(dir.write("junk.avi", std::string(5000, 'x'))));
    EXPECT_FALSE(keys.open(dir.write("empty.mov", "")));
    EXPECT_FALSE(keys.isOpen());
    cv::Mat f;
    EXPECT_EQ(keys.read(3, f), -1);
    EXPECT_TRUE(f.empty());
}

} // namespace
