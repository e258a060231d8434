#include "browse/video_source.h"
#include "unit/browse/video_kinds.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{

int readNumber(VideoSource& v)
{
    cv::Mat f;
    return v.read(f) ? numbered::read(f) : -2;
}

TEST_P(VideoKinds, EveryFrameComesInOrderThenTheEnd)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    VideoSource v;
    ASSERT_TRUE(v.open(path));
    EXPECT_EQ(static_cast<int>(v.reportedFrameCount()), kFrames);
    for (int n = 0; n < kFrames; ++n)
        ASSERT_EQ(readNumber(v), n);
    cv::Mat last;
    EXPECT_FALSE(v.read(last));
    EXPECT_EQ(v.decodes(), kFrames);
}

TEST_P(VideoKinds, SeekLandsOnTheFrameAskedFor)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    VideoSource v;
    ASSERT_TRUE(v.open(path));
    // Keyframes, frames just before and after them, backwards and forwards, the ends.
    for (int target : {kFrames - 1, 1, 37, 13, 0, 29, 30, 31, 59, 11, 12, 24, 25, 45, 2, 74, 73}) {
        ASSERT_TRUE(v.seek(target));
        ASSERT_EQ(readNumber(v), target) << "seek to " << target;
        if (target + 1 < kFrames)
            ASSERT_EQ(readNumber(v), target + 1) << "after seek to " << target;
    }
}

TEST_P(VideoKinds, AFailedReadKeepsTheFrameItWasGiven)
{
    const std::string path = make(5);
    ASSERT_FALSE(path.empty());
    VideoSource v;
    ASSERT_TRUE(v.open(path));
    cv::Mat f;
    for (int n = 0; n < 5; ++n)
        ASSERT_TRUE(v.read(f));
    EXPECT_FALSE(v.read(f));
    EXPECT_EQ(numbered::read(f), 4);
}

TEST_P(VideoKinds, TruncatedWhileOpenEndsEarlyWithoutHarm)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    VideoSource v;
    ASSERT_TRUE(v.open(path));
    cv::Mat f;
    for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(v.read(f));
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
    int more = 0;
    while (v.read(f) && more < 10 * kFrames)
        ++more;
    EXPECT_LT(more, kFrames - 10);
    EXPECT_FALSE(f.empty());
    // Rewinding a damaged file neither crashes nor invents frames.
    v.seek(0);
    cv::Mat again;
    if (v.read(again))
        EXPECT_EQ(numbered::read(again), 0);
}

TEST_P(VideoKinds, RemovedOrReplacedWhileOpenStillPlaysWhatWasOpened)
{
    const std::string path = make();
    ASSERT_FALSE(path.empty());
    VideoSource v;
    ASSERT_TRUE(v.open(path));
    ASSERT_EQ(readNumber(v), 0);
    std::filesystem::remove(path);
    {
        std::ofstream(path, std::ios::binary) << "not a video any more";
    }
    for (int n = 1; n < kFrames; ++n)
        ASSERT_EQ(readNumber(v), n);
}

INSTANTIATE_TEST_SUITE_P(Makers, VideoKinds,
                         ::testing::Values(Maker::Recorder, Maker::FfmpegMov, Maker::FfmpegAvi),
                         makerName);

TEST(VideoSourceFiles, WhatIsNotAVideoDoesNotOpen)
{
    TempDir dir;
    VideoSource v;
    EXPECT_FALSE(v.open(dir / "missing.avi"));
    EXPECT_FALSE(v.open(dir.write("junk.avi", std::string(5000, 'x'))));
    EXPECT_FALSE(v.open(dir.write("empty.mov", "")));
    EXPECT_FALSE(v.isOpen());
    cv::Mat f;
    EXPECT_FALSE(v.read(f));
    EXPECT_FALSE(v.seek(3));
}

} // namespace
