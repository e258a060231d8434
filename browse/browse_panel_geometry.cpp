#include "browse/browse_panel_geometry.h"

#include <algorithm>

BrowsePanelGeometry computeBrowsePanelGeometry(int x, int y, int w, int h)
{
    constexpr int kRefW = 184, kRefH = 652;
    const bool scaled = w < kRefW || h < kRefH;
    auto sx = [&](int v) { return scaled ? v * w / kRefW : v; };
    auto sy = [&](int v) { return scaled ? v * h / kRefH : v; };
    BrowsePanelGeometry g;

    const int left = sx(32), top = sy(8), gap = sx(4), bw = sx(48), bh = sy(54);
    for (int i = 0; i < 3; ++i)
        g.filters[static_cast<size_t>(i)] = {x + left + i * (bw + gap), y + top, bw, bh};
    const int F = bh + 2 * top;

    const int aLeft = sx(32), aTop = sy(8), aBottom = sy(10), aw = sx(108), ah = sy(36);
    const int ax = x + aLeft + (w - aLeft - aw) / 2;
    g.prev = {ax, y + F + aTop, aw, ah};
    g.next = {ax, y + h - aBottom - ah, aw, ah};
    const int A = ah + 2 * aTop;

    const int side = scaled ? std::max(24 * w / kRefW, 2) : 24;
    const int inset = scaled ? std::max(6 * w / kRefW, 2) : 6;
    const int margin = sx(32);
    const int M = h - F - 2 * A;
    const int W = w - margin - 4;
    int t = (M - 4 * 4) / 4;
    int u = 4 * t / 3;
    if (u > W) {
        u = 4 * (W / 4);
        t = 3 * (W / 4);
    }
    const int U = u + 4, T = t + 4;
    const int sxPos = x + margin + (w - margin - U) / 2;
    const int firstY = y + F + A + (M - 4 * T) / 2;
    for (int k = 0; k < 4; ++k)
        g.slots[static_cast<size_t>(k)] = {sxPos, firstY + k * T, U, T};
    g.deleteIcon = {U - inset - side, inset, side, side};
    return g;
}
