#include "app/skin_geometry.h"

#include <algorithm>

namespace
{
int nonNegative(int v)
{
    return std::max(v, 0);
}
} // namespace

SkinGeometry computeSkinGeometry(int W, int H, const CornerSizes& c)
{
    SkinGeometry g;
    g.width = W;
    g.height = H;
    g.scaled = W < kDesignWidth || H < kDesignHeight;
    const bool s = g.scaled;
    auto sx = [W](int n) { return n * W / kDesignWidth; };
    auto sy = [H](int n) { return n * H / kDesignHeight; };
    auto& t = g.tile;

    t[TileTopLeft].w = s ? sx(136) : c.t11.w;
    t[TileTopLeft].h = s ? sy(368) : c.t11.h;
    t[TileTopLeft].x = 0;
    t[TileTopLeft].y = 0;

    t[TileBottomLeft].w = s ? t[TileTopLeft].w : c.t13.w;
    t[TileBottomLeft].h = s ? sy(106) : c.t13.h;
    t[TileBottomLeft].x = 0;
    t[TileBottomLeft].y = H - t[TileBottomLeft].h;

    t[TileLeftEdge].w = t[TileTopLeft].w;
    t[TileLeftEdge].h = nonNegative(H - t[TileTopLeft].h - t[TileBottomLeft].h);
    t[TileLeftEdge].x = 0;
    t[TileLeftEdge].y = t[TileTopLeft].h;

    t[TileTopRight].w = s ? sx(32) : c.t16.w;
    t[TileTopRight].h = s ? sy(16) : c.t16.h;
    t[TileTopRight].x = W - t[TileTopRight].w;
    t[TileTopRight].y = 0;

    t[TileBottomRight].w = s ? sx(32) : c.t18.w;
    t[TileBottomRight].h = s ? sy(16) : c.t18.h;
    t[TileBottomRight].x = W - t[TileBottomRight].w;
    t[TileBottomRight].y = H - t[TileBottomRight].h;

    t[TileRightEdge].w = t[TileTopRight].w;
    t[TileRightEdge].h = nonNegative(H - t[TileTopRight].h - t[TileBottomRight].h);
    t[TileRightEdge].x = W - t[TileRightEdge].w;
    t[TileRightEdge].y = t[TileTopRight].h;

    t[TileTopEdge].w = nonNegative(W - t[TileTopLeft].w - t[TileTopRight].w);
    t[TileTopEdge].h = t[TileTopRight].h;
    t[TileTopEdge].x = t[TileTopLeft].w;
    t[TileTopEdge].y = 0;

    t[TileBottomEdge].w = t[TileTopEdge].w;
    t[TileBottomEdge].h = t[TileBottomRight].h;
    t[TileBottomEdge].x = t[TileBottomLeft].w;
    t[TileBottomEdge].y = H - t[TileBottomEdge].h;

    t[TileSide].w = s ? sx(148) : 148;
    t[TileSide].h = t[TileRightEdge].h;
    t[TileSide].x = t[TileTopLeft].w;
    t[TileSide].y = t[TileTopEdge].h;

    t[TileStrip].w = s ? sx(184) : nonNegative((t[TileRightEdge].h - 198) / 4 * 4) / 3 + 32;
    t[TileStrip].h = t[TileRightEdge].h;
    t[TileStrip].x = W - t[TileStrip].w - t[TileRightEdge].w;
    t[TileStrip].y = t[TileTopEdge].h;

    t[TileTopBar].w =
        nonNegative(W - t[TileTopLeft].w - t[TileSide].w - t[TileStrip].w - t[TileRightEdge].w);
    t[TileTopBar].h = s ? sy(52) : 52;
    t[TileTopBar].x = t[TileTopLeft].w + t[TileSide].w;
    t[TileTopBar].y = t[TileTopEdge].h;

    t[TileBottomBar].w = t[TileTopBar].w;
    t[TileBottomBar].h = s ? sy(108) : 108;
    t[TileBottomBar].x = t[TileTopLeft].w + t[TileSide].w;
    t[TileBottomBar].y = H - t[TileBottomEdge].h - t[TileBottomBar].h;

    t[TileScreen].w = t[TileTopBar].w;
    t[TileScreen].h = nonNegative(t[TileRightEdge].h - t[TileTopBar].h - t[TileBottomBar].h);
    t[TileScreen].x = t[TileTopLeft].w + t[TileSide].w;
    t[TileScreen].y = t[TileTopBar].h + t[TileTopEdge].h;
    return g;
}

SkinRect statusLabelRect(const SkinGeometry& g)
{
    const int a = g[TileTopBar].w, b = g[TileTopBar].h;
    SkinRect r{8, 14, 300, 28};
    if (a < 652 || b < 52)
        r = {a * 8 / 652, b * 14 / 52, a * 300 / 652, b * 28 / 52};
    r.x += g[TileTopLeft].w + g[TileSide].w;
    r.y += g[TileTopEdge].h;
    return r;
}

SkinRect noticeLabelRect(const SkinGeometry& g, int statusWidth)
{
    const int a = g[TileTopBar].w, b = g[TileTopBar].h;
    SkinRect r{0, 24, 300, 28};
    if (a < 652 || b < 52)
        r = {0, b * 24 / 52, a * 300 / 652, b * 28 / 52};
    r.x = g[TileTopLeft].w + g[TileSide].w + statusWidth;
    r.y += g[TileTopEdge].h;
    return r;
}

SkinRect screenRect(const SkinGeometry& g)
{
    const int a = g[TileScreen].w, b = g[TileScreen].h;
    const int mx = a * 6 / 652;
    const int width = nonNegative(a - 2 * mx) / 4 * 4;
    const int my = b * 6 / 492;
    const int height = nonNegative(b - 2 * my);
    return {g[TileTopLeft].w + g[TileSide].w + (a - width) / 2,
            g[TileTopEdge].h + g[TileTopBar].h + (b - height) / 2, width, height};
}

SkinRect fullScreenButtonRect(const SkinGeometry& g)
{
    const int a = g[TileBottomBar].w, b = g[TileBottomBar].h;
    int w = 64, h = 64, yOffset = 40;
    if (a < 652 || b < 108) {
        w = a * 64 / 652;
        h = b * 64 / 108;
        yOffset = b * 40 / 108;
    }
    return {g[TileTopLeft].w + g[TileSide].w + a - w,
            g[TileTopEdge].h + g[TileSide].h - b + yOffset, w, h};
}

SkinRect exitButtonRect(int a, int b)
{
    int h = 32, bottom = 8, w = 32, right = 8;
    if (a < kDesignWidth || b < kDesignHeight) {
        h = b * 32 / kDesignHeight;
        bottom = b * 8 / kDesignHeight;
        w = a * 32 / kDesignWidth;
        right = a * 8 / kDesignWidth;
    }
    return {a - right - w, b - bottom - h, w, h};
}

SkinRect powerOffRegion(int a, int b)
{
    if (a > 135 && b > 105)
        return {44, 15, 70, 72};
    return {a * 44 / 136, b * 15 / 106, a * 70 / 136, b * 72 / 106};
}

SkinRect tabButtonRect(int a, int b, int y)
{
    if (a >= 136 && b >= 368)
        return {84, y, 50, 108};
    return {a * 84 / 136, b * y / 368, a * 50 / 136, b * 108 / 368};
}

SkinSize initialClientSize(const SkinGeometry& g, int screenWidth)
{
    const int width =
        g[TileTopLeft].w + g[TileSide].w + g[TileTopBar].w + g[TileStrip].w + g[TileRightEdge].w;
    const int height = g[TileTopEdge].h + g[TileSide].h + g[TileBottomEdge].h;
    if (screenWidth >= width || width <= 0)
        return {width, height};
    const int w = screenWidth * 8 / 10;
    return {w, height * w / width};
}
