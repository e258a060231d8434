#include "app/capture_notice.h"
#include "app/notice.h"
#include "capture_fixture.h"
#include "pipeline/snapshot_file.h"
#include "pipeline/write_failure.h"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <unistd.h>

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

TEST_F(Snapshot, SavedUnderTheTimeOfTheSave)
{
    const cv::Mat f = numbered(3, cv::Size(1280, 960));
    clock->advance(2000); // the name is the time of the save
    const CaptureResult saved = saveSnapshot(f);
    ASSERT_TRUE(saved.kept);
    const std::string name = "2026-03-07 09_05_35.jpg";
    EXPECT_EQ(saved.name, name);
    EXPECT_EQ(saved.path, file(name));
    EXPECT_TRUE(saved.failure.empty());
    ASSERT_TRUE(exists(name));
    const cv::Mat back = cv::imread(file(name));
    ASSERT_EQ(back.size(), f.size());
    EXPECT_LT(meanDifference(back, f), 2.0);
    EXPECT_GT(meanDifference(back, numbered(10, f.size())), 5.0) << "and it is that frame";
    // Written under a hidden name first; nothing but the picture is left in the folder.
    EXPECT_EQ(entriesIn(storage.str()), 1u);
}

TEST_F(Snapshot, ASecondSnapshotOfTheSameSecondKeepsTheFirst)
{
    ASSERT_TRUE(saveSnapshot(numbered(1)).kept);
    clock->advance(400);
    const CaptureResult later = saveSnapshot(numbered(9));
    ASSERT_TRUE(later.kept);
    const cv::Mat first = cv::imread(file("2026-03-07 09_05_33.jpg"));
    const cv::Mat second = cv::imread(file("2026-03-07 09_05_33_2.jpg"));
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_LT(meanDifference(first, numbered(1)), 2.0);
    EXPECT_LT(meanDifference(second, numbered(9)), 2.0);
    EXPECT_EQ(later.name, "2026-03-07 09_05_33_2.jpg");
}

TEST_F(Snapshot, AFailedSaveSaysWhyAndLogsTheCause)
{
    // A folder that cannot be made: its parent is gone (a drive that was unplugged).
    g_StoragePath = wxString::FromUTF8(storage / "drive/DCIM");
    const CaptureResult gone = saveSnapshot(numbered(1));
    EXPECT_FALSE(gone.kept);
    EXPECT_TRUE(gone.path.empty());
    EXPECT_EQ(gone.failure, "Not saved: the folder is gone");
    EXPECT_NE(log.text().find("Screen saveSnapshot() cannot write " + file("drive/DCIM") +
                              "/2026-03-07 09_05_33.jpg: No such file or directory"),
              std::string::npos)
        << log.text();

    g_StoragePath = wxString::FromUTF8(storage.str());
    const CaptureResult none = saveSnapshot(cv::Mat());
    EXPECT_FALSE(none.kept) << "no picture, no file";
    EXPECT_EQ(none.failure, "Not saved: the picture cannot be encoded");
    EXPECT_FALSE(std::filesystem::exists(storage / "drive"));
    EXPECT_TRUE(std::filesystem::is_empty(storage.path()));
}

TEST_F(Snapshot, ARemovedFolderIsMadeAgain)
{
    std::filesystem::remove_all(storage.path());
    EXPECT_TRUE(saveSnapshot(numbered(1)).kept);
    EXPECT_TRUE(exists("2026-03-07 09_05_33.jpg"));
    EXPECT_NE(log.text().find("Preview ensureStorageFolder() " + storage.str() + " made again\n"),
              std::string::npos)
        << log.text();
}

TEST_F(Snapshot, AReadOnlyFolderIsNotCalledFull)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    std::filesystem::permissions(storage.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    const CaptureResult refused = saveSnapshot(numbered(1));
    std::filesystem::permissions(storage.path(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(refused.kept);
    EXPECT_EQ(refused.failure, "Not saved: the folder is read-only");
    EXPECT_NE(log.text().find("Permission denied"), std::string::npos) << log.text();
    EXPECT_EQ(log.text().find("full"), std::string::npos) << log.text();
}

// Links planted at the snapshot's names (its old temporary name, the capture's name, a
// dangling one at the next) are never written through: the picture takes the next free name.
TEST_F(Snapshot, LinksAtItsNamesAreNeverWrittenThrough)
{
    TempDir outside;
    const std::string victim = outside.write("victim.txt", "keep me");
    const std::vector<std::string> links = {file(".2026-03-07 09_05_33.jpg.part"),
                                            file("2026-03-07 09_05_33.jpg")};
    for (const std::string& l : links)
        std::filesystem::create_symlink(victim, l);
    std::filesystem::create_symlink(outside / "nowhere", file("2026-03-07 09_05_33_2.jpg"));
    const CaptureResult saved = saveSnapshot(numbered(1));
    ASSERT_TRUE(saved.kept);
    EXPECT_EQ(saved.name, "2026-03-07 09_05_33_3.jpg");
    EXPECT_TRUE(std::filesystem::is_regular_file(
        std::filesystem::symlink_status(file("2026-03-07 09_05_33_3.jpg"))));
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_FALSE(std::filesystem::exists(outside / "nowhere"));
    for (const std::string& l : links)
        EXPECT_TRUE(std::filesystem::is_symlink(l)) << l;
    EXPECT_EQ(entriesIn(storage.str()), 4u)
        << "the three links and the picture: no temporary file left";
}

TEST(WriteFailure, ErrnoGivesTheUsersReason)
{
    EXPECT_EQ(writeFailureReason(EROFS), "the folder is read-only");
    EXPECT_EQ(writeFailureReason(EACCES), "the folder is read-only");
    EXPECT_EQ(writeFailureReason(ENOENT), "the folder is gone");
    EXPECT_EQ(writeFailureReason(ENOSPC), "the disk is full");
    EXPECT_EQ(writeFailureReason(EDQUOT), "the disk is full");
    EXPECT_EQ(writeFailureReason(EFBIG), "the file is too large");
    EXPECT_EQ(writeFailureReason(EINVAL), "the file cannot be written");
}

// The caller shows a result: a failure in red for the usual time, a kept file by its name in
// the normal colour, and nothing for a result without either (a refused empty recording).
TEST_F(Snapshot, WhatCameOfACaptureIsShownByItsCaller)
{
    showCaptureResult(saveSnapshot(cv::Mat()));
    EXPECT_EQ(g_LastFileName, wxString("Not saved: the picture cannot be encoded"));
    EXPECT_EQ(g_InfoTime, 3000);
    EXPECT_TRUE(noticeIsFailure());
    showCaptureResult(saveSnapshot(numbered(1)));
    EXPECT_EQ(g_LastFileName, wxString("2026-03-07 09_05_33.jpg"));
    EXPECT_FALSE(noticeIsFailure());
    g_InfoTime = 0;
    showCaptureResult(CaptureResult{});
    EXPECT_EQ(g_LastFileName, wxString("2026-03-07 09_05_33.jpg"));
    EXPECT_EQ(g_InfoTime, 0);
}
