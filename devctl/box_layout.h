// Where the box's controls go in the strip under the picture: the level bar above one row of
// the two LED buttons, a gap, and the three icons. Sizes are those of the full strip, scaled
// down (never up) when the strip is smaller in either direction.
#pragma once

#include <array>

struct BoxRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const BoxRect&) const = default;
};

struct BoxLayout {
    BoxRect levelBar;
    // LED down, LED up, boost, rotate, LED switch; the pictures are drawn at their size.
    std::array<BoxRect, 5> row;
};

// The strip at full size.
constexpr int kBoxRefWidth = 652;
constexpr int kBoxRefHeight = 108;

// The strip at (x, y), w x h, with a bar of segments LED levels. Sizes are not checked: a strip
// of no size gives controls of no size.
BoxLayout layoutBox(int x, int y, int w, int h, int segments);
