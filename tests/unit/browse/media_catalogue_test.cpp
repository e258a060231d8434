#include "browse/media_catalogue.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> names(const std::vector<std::string>& paths)
{
    std::vector<std::string> out;
    for (const auto& p : paths)
        out.push_back(fs::path(p).filename().string());
    return out;
}

using Names = std::vector<std::string>;

} // namespace

TEST(CaptureKinds, ExtensionsOfAnyCase)
{
    EXPECT_EQ(slotKindOf("/d/X.JPG"), SlotPhoto);
    EXPECT_EQ(slotKindOf("/d/x.jpg"), SlotPhoto);
    EXPECT_EQ(slotKindOf("/d/Y.Avi"), SlotVideo);
    EXPECT_EQ(slotKindOf("/d/Z.MOV"), SlotVideo);
    EXPECT_EQ(slotKindOf("/d/a.jpeg"), SlotEmpty);
    EXPECT_EQ(slotKindOf("/d/a.png"), SlotEmpty);
    EXPECT_EQ(slotKindOf("/d/jpg"), SlotEmpty);
    EXPECT_EQ(slotKindOf("/d.jpg/file"), SlotEmpty); // the dot of a folder is no extension
    EXPECT_EQ(slotKindOf("/d/a.jpg.txt"), SlotEmpty);

    EXPECT_TRUE(fitsFilter("/d/a.JPG", 3));
    EXPECT_FALSE(fitsFilter("/d/a.JPG", 4));
    EXPECT_TRUE(fitsFilter("/d/a.mov", 4));
    EXPECT_FALSE(fitsFilter("/d/a.mov", 3));
    EXPECT_TRUE(fitsFilter("/d/a.mov", 2));
    EXPECT_FALSE(fitsFilter("/d/a.txt", 2));
}

TEST(CaptureListing, OnlyCapturesDirectlyInTheFolderSortedByName)
{
    TempDir dir;
    dir.write("2026-01-02 10_00_00.jpg", "x");
    dir.write("2026-01-01 10_00_00.AVI", "x");
    dir.write("2026-01-03 10_00_00.Mov", "x");
    dir.write("B.JPG", "x");
    dir.write("a.jpg", "x");
    dir.write("notes.txt", "x");
    dir.write(".hidden.jpg", "x");
    dir.write("sub/inner.jpg", "x");
    fs::create_directory(dir / "folder.avi");
    fs::create_symlink("/nonexistent/target.jpg", dir / "dangling.jpg");

    std::vector<std::string> all;
    ASSERT_TRUE(listCaptures(dir.str(), 2, all));
    // Plain byte order of the full paths: digits, then upper case, then lower case.
    EXPECT_EQ(names(all), (Names{"2026-01-01 10_00_00.AVI", "2026-01-02 10_00_00.jpg",
                                 "2026-01-03 10_00_00.Mov", "B.JPG", "a.jpg"}));
    EXPECT_EQ(all[0], (dir.path() / "2026-01-01 10_00_00.AVI").string());

    std::vector<std::string> photos, videos;
    ASSERT_TRUE(listCaptures(dir.str(), 3, photos));
    EXPECT_EQ(names(photos), (Names{"2026-01-02 10_00_00.jpg", "B.JPG", "a.jpg"}));
    ASSERT_TRUE(listCaptures(dir.str(), 4, videos));
    EXPECT_EQ(names(videos), (Names{"2026-01-01 10_00_00.AVI", "2026-01-03 10_00_00.Mov"}));
}

TEST(CaptureListing, NamesWithSpacesAndNonAsciiLetters)
{
    TempDir dir;
    dir.write("Prüfung Rohr 3.jpg", "x");
    dir.write("重要 video.avi", "x");
    std::vector<std::string> all;
    ASSERT_TRUE(listCaptures(dir.str(), 2, all));
    EXPECT_EQ(names(all), (Names{"Prüfung Rohr 3.jpg", "重要 video.avi"}));
}

TEST(CaptureListing, AFolderThatCannotBeReadKeepsTheList)
{
    TempDir dir;
    std::vector<std::string> list{"kept"};
    EXPECT_FALSE(listCaptures(dir / "missing", 2, list));
    EXPECT_EQ(list, (Names{"kept"}));
}

TEST(CapturePage, TheRingWrapsAtTheEndOfTheList)
{
    const std::vector<std::string> five{"1", "2", "3", "4", "5"};
    EXPECT_EQ(pageEntries(five, 1), (Names{"2", "3", "4", "5"}));
    EXPECT_EQ(pageEntries(five, 2), (Names{"3", "4", "5", "1"}));
    EXPECT_EQ(pageEntries(five, 4), (Names{"5", "1", "2", "3"}));
    // A start beyond the list after deletions wraps to the first entry.
    EXPECT_EQ(pageEntries(five, 9), (Names{"1", "2", "3", "4"}));
    const std::vector<std::string> three{"1", "2", "3"};
    EXPECT_EQ(pageEntries(three, 0), (Names{"1", "2", "3", ""}));
    EXPECT_EQ(pageEntries({}, 0), (Names{"", "", "", ""}));
}

TEST(CaptureDeletion, RemovesOneFileDirectlyInTheFolder)
{
    TempDir dir;
    const std::string a = dir.write("Prüfung 1.jpg", "a");
    const std::string b = dir.write("Prüfung 2.jpg", "b");
    EXPECT_TRUE(removeCaptureFile(dir.str(), a));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));
    // Already gone: nothing to remove, no harm.
    EXPECT_FALSE(removeCaptureFile(dir.str(), a));
}

TEST(CaptureDeletion, ALinkIsRemovedAsALinkNeverFollowed)
{
    TempDir dir, elsewhere;
    const std::string target = elsewhere.write("precious.jpg", "keep me");
    const std::string link = dir / "link.jpg";
    fs::create_symlink(target, link);
    EXPECT_TRUE(removeCaptureFile(dir.str(), link));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "keep me");

    fs::create_directory(elsewhere / "photos");
    elsewhere.write("photos/inside.jpg", "x");
    const std::string dirLink = dir / "folderlink.avi";
    fs::create_directory_symlink(elsewhere / "photos", dirLink);
    EXPECT_TRUE(removeCaptureFile(dir.str(), dirLink));
    EXPECT_TRUE(fs::exists(elsewhere / "photos/inside.jpg"));
}

TEST(CaptureDeletion, NeverAFolderNorAFileOutsideTheStorageFolder)
{
    TempDir dir, elsewhere;
    fs::create_directory(dir / "folder.avi");
    dir.write("folder.avi/inside.jpg", "x");
    EXPECT_FALSE(removeCaptureFile(dir.str(), dir / "folder.avi"));
    EXPECT_TRUE(fs::exists(dir / "folder.avi/inside.jpg"));
    // In a subfolder of the storage folder: not a capture of the strip.
    EXPECT_FALSE(removeCaptureFile(dir.str(), dir / "folder.avi/inside.jpg"));
    EXPECT_TRUE(fs::exists(dir / "folder.avi/inside.jpg"));

    const std::string outside = elsewhere.write("other.jpg", "x");
    EXPECT_FALSE(removeCaptureFile(dir.str(), outside));
    EXPECT_FALSE(removeCaptureFile(
        dir.str(), dir.str() + "/../" + elsewhere.path().filename().string() + "/other.jpg"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_FALSE(removeCaptureFile(dir.str(), dir.str() + "/."));
    EXPECT_FALSE(removeCaptureFile(dir.str(), ""));
    EXPECT_TRUE(fs::exists(dir.path()));
}

TEST(CaptureDeletion, AStorageFolderReachedThroughALinkStillWorks)
{
    TempDir real, links;
    const std::string viaLink = links / "dcim";
    fs::create_directory_symlink(real.path(), viaLink);
    const std::string file = real.write("a.jpg", "x");
    EXPECT_TRUE(removeCaptureFile(viaLink, viaLink + "/a.jpg"));
    EXPECT_FALSE(fs::exists(file));
}

TEST(CaptureListing, ARecordingStillBeingWrittenIsListedOnceComplete)
{
    TempDir dir;
    dir.write("2026-01-01 10_00_00.avi", "x");
    dir.write(".2026-01-01 10_00_00.avi.recording", std::to_string(::getpid()) + "\n");
    // A marker another process left (a recording a crash ended) hides nothing.
    dir.write("2026-01-02 10_00_00.avi", "x");
    dir.write(".2026-01-02 10_00_00.avi.recording", "1\n");
    std::vector<std::string> all;
    ASSERT_TRUE(listCaptures(dir.str(), 2, all));
    EXPECT_EQ(names(all), (Names{"2026-01-02 10_00_00.avi"}));
    fs::remove(dir / ".2026-01-01 10_00_00.avi.recording");
    ASSERT_TRUE(listCaptures(dir.str(), 4, all));
    EXPECT_EQ(names(all), (Names{"2026-01-01 10_00_00.avi", "2026-01-02 10_00_00.avi"}));
}
