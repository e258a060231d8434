// Files from outside: only regular files of a bounded size are read, and messages about
// them stay one printable line.
#include "platform/bounded_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using files::printable;
using files::readBoundedFile;

TEST(BoundedFile, ReadsRegularFilesWithinTheBound)
{
    TempDir d;
    std::string out, why;
    const std::string bytes("a\0b\nc", 5);
    ASSERT_TRUE(readBoundedFile(d.write("f.bin", bytes), 5, out, &why)) << why;
    EXPECT_EQ(out, bytes);
    ASSERT_TRUE(readBoundedFile(d.write("empty", ""), 5, out, &why));
    EXPECT_EQ(out, "");
    // A big file is larger than a page buffer: read whole, not cut.
    const std::string big(100000, 'x');
    ASSERT_TRUE(readBoundedFile(d.write("big", big), big.size(), out, &why));
    EXPECT_EQ(out, big);
    // The head of a file: as much as asked for, or the whole of a shorter one.
    ASSERT_TRUE(files::readFileHead(d / "big", 10, out, &why)) << why;
    EXPECT_EQ(out, big.substr(0, 10));
    ASSERT_TRUE(files::readFileHead(d / "f.bin", 10000, out, &why));
    EXPECT_EQ(out, bytes);
}

TEST(BoundedFile, RefusesWhatIsNoSaneFile)
{
    TempDir d;
    std::string out = "stale", why;
    EXPECT_FALSE(readBoundedFile(d.write("six", "123456"), 5, out, &why));
    EXPECT_EQ(why, "is larger than 5 bytes");
    EXPECT_EQ(out, "");
    EXPECT_FALSE(readBoundedFile(d.write("k", std::string(2049, 'k')), 2048, out, &why));
    EXPECT_EQ(why, "is larger than 2 KiB");
    EXPECT_FALSE(readBoundedFile(d.str(), 1 << 20, out, &why));
    EXPECT_EQ(why, "is a folder, not a file");
    EXPECT_FALSE(readBoundedFile(d / "missing", 1 << 20, out, &why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_FALSE(readBoundedFile("", 1 << 20, out, &why));
    // Endless or blocking sources are refused at once, before anything is read.
    EXPECT_FALSE(readBoundedFile("/dev/zero", 1 << 20, out, &why));
    EXPECT_EQ(why, "is not a regular file");
    ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readBoundedFile(d / "fifo", 1 << 20, out, &why));
    EXPECT_EQ(why, "is not a regular file");
    EXPECT_FALSE(files::readFileHead(d / "fifo", 16, out, &why));
    EXPECT_EQ(why, "is not a regular file");
    EXPECT_FALSE(files::readFileHead(d.str(), 16, out, &why));
    EXPECT_EQ(why, "is a folder, not a file");
    // A file growing past the bound while it is read (the size in its inode said little).
    EXPECT_FALSE(readBoundedFile("/proc/self/maps", 16, out, &why));
    EXPECT_EQ(why, "is larger than 16 bytes");
}

TEST(BoundedFile, MessagesStayOnePrintableLine)
{
    EXPECT_EQ(printable("plain text 123"), "plain text 123");
    EXPECT_EQ(printable(std::string("a\nb\r\x1b[2J\0\x7f", 10)), "a\\x0ab\\x0d\\x1b[2J\\x00\\x7f");
    EXPECT_EQ(printable("back\\slash"), "back\\\\slash");
    // Well-formed UTF-8 (a user's folder name) stays as it is; broken or C1 bytes do not.
    EXPECT_EQ(printable("Bilder/Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac"),
              "Bilder/Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac");
    EXPECT_EQ(printable("\xc3"), "\\xc3");
    EXPECT_EQ(printable("\xc2\x9b"), "\\xc2\\x9b");
    EXPECT_EQ(printable("\xff\xfe"), "\\xff\\xfe");
    EXPECT_EQ(printable("\xc0\xaf"), "\\xc0\\xaf"); // an overlong '/'
    EXPECT_EQ(files::refusal("a\nb", "is a folder, not a file"),
              "a\\x0ab: is a folder, not a file");
}
