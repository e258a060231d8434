#include "browse/player_math.h"

#include <cmath>
#include <cstdio>

namespace
{
// A day of video at 1000 frames per second; anything beyond is a misread header.
constexpr double kMaxFrames = 86400.0 * 1000.0;
constexpr double kMaxRate = 1000.0;
constexpr int kRefW = 652, kRefH = 108;
} // namespace

int plausibleFrameCount(double reported)
{
    if (!std::isfinite(reported) || reported < 1.0 || reported > kMaxFrames)
        return 0;
    return static_cast<int>(reported);
}

int plausibleFrameRate(double reported)
{
    if (!std::isfinite(reported) || reported < 1.0 || reported > kMaxRate)
        return 0;
    return static_cast<int>(reported);
}

int shownSeconds(int position, int frameRate, double clockMs)
{
    if (frameRate > 0)
        return position > 0 ? position / frameRate : 0;
    if (std::isfinite(clockMs) && clockMs > 0.0 && clockMs < kMaxFrames * 1000.0)
        return static_cast<int>(clockMs / 1000.0);
    return 0;
}

int stampedFrame(double clockMs, double rate, int asked)
{
    if (plausibleFrameRate(rate) == 0 || !std::isfinite(clockMs))
        return -1;
    if (clockMs <= 0)
        return asked == 0 ? 0 : -1;
    const double frame = std::round(clockMs * rate / 1000.0);
    return frame > kMaxFrames ? -1 : static_cast<int>(frame);
}

std::string timeText(int seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%2d : %2d : %2d", seconds / 3600, (seconds / 60) % 60,
                  seconds % 60);
    return text;
}

int fillWidth(int frame, int total, int width)
{
    if (total <= 0 || width <= 0 || frame <= 0)
        return 0;
    const long long px = static_cast<long long>(frame) * width / total;
    return px > width ? width : static_cast<int>(px);
}

int frameAtX(int x, int total, int width)
{
    if (total <= 0)
        return 0;
    if (x < 0)
        return 0;
    if (x >= width)
        return total - 1;
    return static_cast<int>(static_cast<long long>(x) * total / width);
}

PlayerGeometry playerGeometry(int W4, int H4, int x, int y)
{
    const bool scaled = W4 < kRefW || H4 < kRefH;
    auto sx = [&](int v) { return scaled ? v * W4 / kRefW : v; };
    auto sy = [&](int v) { return scaled ? v * H4 / kRefH : v; };
    PlayerGeometry g;
    const int top = sy(8), left = sx(8);
    g.label = {x + left, y + top, sx(72), sy(20)};
    g.labelRight = left + g.label.w;
    g.labelBottom = g.label.h + top;

    const int gap = sx(8);
    const int barW = scaled ? W4 - g.labelRight - gap : 644 - g.labelRight;
    g.bar = {x + g.labelRight + gap, y + sy(8), barW, sy(16)};

    const int bw = sx(64), bh = sy(64), margin = sx(8), between = sx(8);
    const int by = y + g.labelBottom + sy(12);
    for (int i = 0; i < 3; ++i)
        g.buttons[static_cast<size_t>(i)] = {x + margin + i * (bw + between), by, bw, bh};
    return g;
}
