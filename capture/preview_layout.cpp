#include "capture/preview_layout.h"

namespace
{
constexpr int kRefW = 148, kRefH = 652;
}

ToolColumn toolColumn(int a, int b, int px, int py)
{
    const bool scaled = a < kRefW || b < kRefH;
    auto sx = [&](int v) { return scaled ? v * a / kRefW : v; };
    auto sy = [&](int v) { return scaled ? v * b / kRefH : v; };
    ToolColumn c;
    const int w = sx(108), h = sy(108), gap = sy(5);
    for (int i = 0; i < 4; ++i)
        c.buttons[static_cast<size_t>(i)] = {px + sx(4), py + sy(4) + i * (h + gap), w, h};
    return c;
}

ZoomPlace zoomPlace(int a, int b, int px, int py, int topBarHeight)
{
    const bool scaled = a < kRefW || b < kRefH;
    auto sx = [&](int v) { return scaled ? v * a / kRefW : v; };
    auto sy = [&](int v) { return scaled ? v * b / kRefH : v; };
    ZoomPlace z;
    const int barW = sx(14), barH = sy(300);
    z.bar = {px + a - barW, py + topBarHeight, barW, barH};
    const int labelW = sx(32), labelH = sy(20);
    z.label = {px + a - labelW, z.bar.y - labelH, labelW, labelH};
    return z;
}
