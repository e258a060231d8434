#include "app/key_value_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

using KV = std::pair<std::string, std::string>;

TEST(KeyValueFile, KeyIsBeforeFirstBlankAndValueKeepsFurtherBlanks)
{
    auto kv = parseKeyValueText("TITLE My  Scope \nEXENAME Foo\n");
    ASSERT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv[0], KV("TITLE", "My  Scope "));
    EXPECT_EQ(kv[1], KV("EXENAME", "Foo"));
}

TEST(KeyValueFile, LineEndRemovedExactly)
{
    // LF, CR LF and no line end at all: only the line end goes.
    EXPECT_EQ(parseKeyValueText("TITLE My Scope\n")[0].second, "My Scope");
    EXPECT_EQ(parseKeyValueText("TITLE My Scope\r\n")[0].second, "My Scope");
    EXPECT_EQ(parseKeyValueText("TITLE My Scope")[0].second, "My Scope");
    EXPECT_EQ(parseKeyValueText("TIMESTAMP 1\n")[0].second, "1");
    EXPECT_EQ(parseKeyValueText("A \n")[0].second, "");
    // A lone CR inside a value is data, not a line end.
    EXPECT_EQ(parseKeyValueText("A b\rc\n")[0].second, "b\rc");
}

TEST(KeyValueFile, LinesWithoutBlankAreSkippedAndDoNotCount)
{
    std::string text = "nonsense\n\n";
    for (int i = 0; i < 16; ++i)
        text += "K" + std::to_string(i) + " v\nskip\n";
    text += "K16 late\n";
    auto kv = parseKeyValueText(text);
    ASSERT_EQ(kv.size(), 16u);
    EXPECT_EQ(kv.front().first, "K0");
    EXPECT_EQ(kv.back().first, "K15");
}

TEST(KeyValueFile, RepeatedKeysKeptInFileOrder)
{
    auto kv = parseKeyValueText("PATH /a\nPATH /b\n");
    ASSERT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv[1].second, "/b");
}

TEST(KeyValueFile, LongValuesReadWholeAndOverlongCut)
{
    std::string path(4000, 'p');
    EXPECT_EQ(parseKeyValueText("PATH " + path + "\n")[0].second, path);

    std::string key(50, 'k');
    auto kv = parseKeyValueText(key + " v\n");
    EXPECT_EQ(kv[0].first.size(), kMaxKeyLength);

    // A physical line longer than the line buffer is read as several lines.
    std::string huge = "PATH " + std::string(kMaxLineLength, 'x') + " tail\n";
    kv = parseKeyValueText(huge);
    ASSERT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv[0].second.size(), kMaxValueLength);
    EXPECT_EQ(kv[1].second, "tail");
}

TEST(KeyValueFile, EmptyGarbageAndMissingFiles)
{
    EXPECT_TRUE(parseKeyValueText("").empty());
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
    auto kv = parseKeyValueText(garbage);
    EXPECT_LE(kv.size(), kMaxEntries);
    for (const auto& [k, v] : kv) {
        EXPECT_LE(k.size(), kMaxKeyLength);
        EXPECT_LE(v.size(), kMaxValueLength);
    }
    std::string withNul("A b\0c\nB d\n", 10);
    kv = parseKeyValueText(withNul);
    ASSERT_EQ(kv.size(), 2u);
    EXPECT_EQ(kv[0].second, std::string("b\0c", 3));

    EXPECT_TRUE(readKeyValueFile("/nonexistent/dir/strings.txt").empty());
    TempDir dir;
    EXPECT_TRUE(readKeyValueFile(dir.str()).empty());  // a folder is no file
    EXPECT_EQ(readKeyValueFile(dir.write("x.txt", "A 1\r\nB 2"))[1], KV("B", "2"));
}
