#include "capture_fixture.h"
#include "pipeline/snapshot_file.h"

#include <opencv2/imgcodecs.hpp>

namespace
{
double meanDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3;
}
} // namespace

using Snapshot = CaptureFixture;

TEST_F(Snapshot, SavedUnderTheTimeOfTheSaveAndShown)
{
    const cv::Mat f = numbered(3, cv::Size(1280, 960));
    clock->advance(2000); // the name is the time of the save
    ASSERT_TRUE(saveSnapshot(f));
    const std::string name = "2026-03-07 09_05_35.jpg";
    ASSERT_TRUE(exists(name));
    const cv::Mat back = cv::imread(file(name));
    ASSERT_EQ(back.size(), f.size());
    EXPECT_LT(meanDifference(back, f), 2.0);
    EXPECT_GT(meanDifference(back, numbered(10, f.size())), 5.0) << "and it is that frame";
    EXPECT_EQ(g_LastFileName, wxString(name));
    EXPECT_EQ(g_InfoTime, 3000);
}

TEST_F(Snapshot, ASecondSnapshotOfTheSameSecondKeepsTheFirst)
{
    ASSERT_TRUE(saveSnapshot(numbered(1)));
    clock->advance(400);
    ASSERT_TRUE(saveSnapshot(numbered(9)));
    const cv::Mat first = cv::imread(file("2026-03-07 09_05_33.jpg"));
    const cv::Mat second = cv::imread(file("2026-03-07 09_05_33_2.jpg"));
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_LT(meanDifference(first, numbered(1)), 2.0);
    EXPECT_LT(meanDifference(second, numbered(9)), 2.0);
    EXPECT_EQ(g_LastFileName, wxString("2026-03-07 09_05_33_2.jpg"));
}

TEST_F(Snapshot, AFailedSaveNamesNothing)
{
    // A folder that cannot be made: its parent is gone (a drive that was unplugged).
    g_StoragePath = wxString::FromUTF8(storage / "drive/DCIM");
    EXPECT_FALSE(saveSnapshot(numbered(1)));
    EXPECT_TRUE(g_LastFileName.empty());
    EXPECT_EQ(g_InfoTime, 0);
    EXPECT_NE(log.text().find("Screen saveSnapshot() cannot write"), std::string::npos)
        << log.text();
    EXPECT_FALSE(saveSnapshot(cv::Mat())) << "no picture, no file";
    EXPECT_FALSE(std::filesystem::exists(storage / "drive"));
}

TEST_F(Snapshot, ARemovedFolderIsMadeAgain)
{
    std::filesystem::remove_all(storage.path());
    EXPECT_TRUE(saveSnapshot(numbered(1)));
    EXPECT_TRUE(exists("2026-03-07 09_05_33.jpg"));
    EXPECT_NE(log.text().find("Preview ensureStorageFolder() " + storage.str() + " made again\n"),
              std::string::npos)
        << log.text();
}
