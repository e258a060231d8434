// Names that are not UTF-8 still show: each broken sequence as one replacement character.
#include "platform/display_text.h"

#include <gtest/gtest.h>

namespace
{
std::string shown(const std::string& bytes)
{
    return platform::displayText(bytes).utf8_string();
}
const std::string R = "\xEF\xBF\xBD"; // U+FFFD
} // namespace

TEST(DisplayText, KeepsUtf8AndMarksEachBrokenSequenceOnce)
{
    EXPECT_EQ(shown("2026-03-07 09_00_00.avi"), "2026-03-07 09_00_00.avi");
    const std::string good = "Pr\xc3\xbc"
                             "fung \xe2\x82\xac \xf0\x9f\x93\xb7 \xef\xbf\xbd";
    EXPECT_EQ(shown(good), good);
    // Latin-1 from another program: E9 74 E9.
    EXPECT_EQ(shown("\xe9t\xe9.avi"), R + "t" + R + ".avi");
    // A cut sequence is one mark, and the byte that broke it is read anew.
    EXPECT_EQ(shown("a\xe2\x82z"), "a" + R + "z");
    EXPECT_EQ(shown("\xf0\x9f\x93"), R);
    EXPECT_EQ(shown("\xe2\x82\xc3\xa9"), R + "\xc3\xa9");
    // Overlong forms, surrogates, values past U+10FFFF and stray continuation bytes.
    EXPECT_EQ(shown("\xc0\xaf"), R + R);
    EXPECT_EQ(shown("\xe0\x80\xaf"), R + R + R);
    EXPECT_EQ(shown("\xed\xa0\x80"), R + R + R);
    EXPECT_EQ(shown("\xf4\x90\x80\x80"), R + R + R + R);
    EXPECT_EQ(shown("\x80\xbf\xfe\xff"), R + R + R + R);
    EXPECT_EQ(shown(""), "");
}
