#include "devctl/box_layout.h"

#include <cstddef>

BoxLayout layoutBox(int x, int y, int w, int h, int segments)
{
    const bool small = w < kBoxRefWidth || h < kBoxRefHeight;
    // A length of the full strip, scaled along the width or the height.
    auto across = [&](int full) { return small ? w * full / kBoxRefWidth : full; };
    auto down = [&](int full) { return small ? h * full / kBoxRefHeight : full; };

    BoxLayout l;
    const int segment = across(24);
    const int barHeight = down(24);
    const int dx = across(8);
    const int dy = down(8);
    l.levelBar = {x + dx, y + dy, (segment + 1) * segments - 1, barHeight};

    const int iconW = across(64);
    const int iconH = down(64);
    const int gap = across(24);
    const int row = y + dy + barHeight + dy;
    int left = x + dx;
    for (std::size_t c = 0; c < l.row.size(); ++c) {
        l.row[c] = {left, row, iconW, iconH};
        left += iconW + (c == 1 ? gap : dx);
    }
    return l;
}
