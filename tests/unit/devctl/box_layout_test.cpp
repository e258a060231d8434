// Where the strip's controls go at full, larger, reduced and degenerate sizes.
#include "devctl/box_layout.h"

#include <gtest/gtest.h>

#include <ostream>

static std::ostream& operator<<(std::ostream& os, const BoxRect& r)
{
    return os << r.x << "," << r.y << " " << r.w << "x" << r.h;
}

namespace
{

void expectRow(const BoxLayout& l, int y, std::initializer_list<int> xs, int w, int h)
{
    size_t c = 0;
    for (int x : xs) {
        EXPECT_EQ(l.row[c], (BoxRect{x, y, w, h})) << c;
        ++c;
    }
}

TEST(BoxLayout, FullLargerReducedAndDegenerateStrips)
{
    BoxLayout l = layoutBox(10, 20, 652, 108, 15);
    EXPECT_EQ(l.levelBar, (BoxRect{18, 28, 374, 24}));
    expectRow(l, 60, {18, 90, 178, 250, 322}, 64, 64);
    EXPECT_EQ(layoutBox(10, 20, 1000, 300, 15).row, l.row) << "more room never enlarges";
    EXPECT_EQ(layoutBox(10, 20, 1000, 300, 15).levelBar, l.levelBar);

    l = layoutBox(0, 0, 326, 54, 15);
    EXPECT_EQ(l.levelBar, (BoxRect{4, 4, 194, 12}));
    expectRow(l, 20, {4, 40, 84, 120, 156}, 32, 32);
    // One short direction scales both.
    EXPECT_EQ(layoutBox(0, 0, 652, 54, 15).levelBar, (BoxRect{8, 4, 374, 12}));

    l = layoutBox(3, 4, 0, 0, 15);
    for (const BoxRect& r : l.row) {
        EXPECT_EQ(r.w, 0);
        EXPECT_EQ(r.h, 0);
    }
    EXPECT_EQ(l.levelBar, (BoxRect{3, 4, 14, 0}));
}

} // namespace
