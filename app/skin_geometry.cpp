#include "app/skin_geometry.h"

#include <algorithm>

namespace {
int nonNegative(int v) { return std::max(v, 0); }
}  // namespace

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

    t[11].w = s ? sx(136) : c.t11.w;
    t[11].h = s ? sy(368) : c.t11.h;
    t[11].x = 0;
    t[11].y = 0;

    t[13].w = s ? t[11].w : c.t13.w;
    t[13].h = s ? sy(106) : c.t13.h;
    t[13].x = 0;
    t[13].y = H - t[13].h;

    t[12].w = t[11].w;
    t[12].h = nonNegative(H - t[11].h - t[13].h);
    t[12].x = 0;
    t[12].y = t[11].h;

    t[16].w = s ? sx(32) : c.t16.w;
    t[16].h = s ? sy(16) : c.t16.h;
    t[16].x = W - t[16].w;
    t[16].y = 0;

    t[18].w = s ? sx(32) : c.t18.w;
    t[18].h = s ? sy(16) : c.t18.h;
    t[18].x = W - t[18].w;
    t[18].y = H - t[18].h;

    t[14].w = t[16].w;
    t[14].h = nonNegative(H - t[16].h - t[18].h);
    t[14].x = W - t[14].w;
    t[14].y = t[16].h;

    t[15].w = nonNegative(W - t[11].w - t[16].w);
    t[15].h = t[16].h;
    t[15].x = t[11].w;
    t[15].y = 0;

    t[17].w = t[15].w;
    t[17].h = t[18].h;
    t[17].x = t[13].w;
    t[17].y = H - t[17].h;

    t[19].w = s ? sx(148) : 148;
    t[19].h = t[14].h;
    t[19].x = t[11].w;
    t[19].y = t[15].h;

    t[20].w = s ? sx(184) : nonNegative((t[14].h - 198) / 4 * 4) / 3 + 32;
    t[20].h = t[14].h;
    t[20].x = W - t[20].w - t[14].w;
    t[20].y = t[15].h;

    t[21].w = nonNegative(W - t[11].w - t[19].w - t[20].w - t[14].w);
    t[21].h = s ? sy(52) : 52;
    t[21].x = t[11].w + t[19].w;
    t[21].y = t[15].h;

    t[22].w = t[21].w;
    t[22].h = s ? sy(108) : 108;
    t[22].x = t[11].w + t[19].w;
    t[22].y = H - t[17].h - t[22].h;

    t[23].w = t[21].w;
    t[23].h = nonNegative(t[14].h - t[21].h - t[22].h);
    t[23].x = t[11].w + t[19].w;
    t[23].y = t[21].h + t[15].h;
    return g;
}

SkinRect statusLabelRect(const SkinGeometry& g)
{
    const int a = g[21].w, b = g[21].h;
    SkinRect r{8, 14, 300, 28};
    if (a < 652 || b < 52)
        r = {a * 8 / 652, b * 14 / 52, a * 300 / 652, b * 28 / 52};
    r.x += g[11].w + g[19].w;
    r.y += g[15].h;
    return r;
}

SkinRect noticeLabelRect(const SkinGeometry& g, int statusWidth)
{
    const int a = g[21].w, b = g[21].h;
    SkinRect r{0, 24, 300, 28};
    if (a < 652 || b < 52)
        r = {0, b * 24 / 52, a * 300 / 652, b * 28 / 52};
    r.x = g[11].w + g[19].w + statusWidth;
    r.y += g[15].h;
    return r;
}

SkinRect screenRect(const SkinGeometry& g)
{
    const int a = g[23].w, b = g[23].h;
    const int mx = a * 6 / 652;
    const int width = nonNegative(a - 2 * mx) / 4 * 4;
    const int my = b * 6 / 492;
    const int height = nonNegative(b - 2 * my);
    return {g[11].w + g[19].w + (a - width) / 2, g[15].h + g[21].h + (b - height) / 2, width,
            height};
}

SkinRect fullScreenButtonRect(const SkinGeometry& g)
{
    const int a = g[22].w, b = g[22].h;
    int w = 64, h = 64, yOffset = 40;
    if (a < 652 || b < 108) {
        w = a * 64 / 652;
        h = b * 64 / 108;
        yOffset = b * 40 / 108;
    }
    return {g[11].w + g[19].w + a - w, g[15].h + g[19].h - b + yOffset, w, h};
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
    const int width = g[11].w + g[19].w + g[21].w + g[20].w + g[14].w;
    const int height = g[15].h + g[19].h + g[17].h;
    if (screenWidth >= width || width <= 0)
        return {width, height};
    const int w = screenWidth * 8 / 10;
    return {w, height * w / width};
}
