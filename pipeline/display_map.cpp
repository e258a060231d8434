#include "pipeline/display_map.h"

#include "pipeline/picture_transforms.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace
{

struct Geometry {
    int w, h, d, a, turns;
    bool mirror;
    cv::Rect crop;
    int cx, cy;

    // The point of the turned frame that painted pixel (X, Y) samples.
    cv::Point2d turnedPoint(double X, double Y) const
    {
        return {(X + 0.5) * w / d - 0.5, (Y + 0.5) * h / a - 0.5};
    }
    // Back through the turn: the point of the zoomed frame.
    cv::Point2d unturn(cv::Point2d p) const
    {
        switch (turns) {
        case 1:
            return {p.y + cx - cy, cx + cy - p.x};
        case 2:
            return {2.0 * cx - p.x, 2.0 * cy - p.y};
        case 3:
            return {cx + cy - p.y, p.x - cx + cy};
        default:
            return p;
        }
    }
    // Back through the zoom and the mirror: the point of the camera frame.
    cv::Point2d source(double X, double Y) const
    {
        const cv::Point2d q = unturn(turnedPoint(X, Y));
        double x = (q.x + 0.5) * crop.width / w - 0.5 + crop.x;
        const double y = (q.y + 0.5) * crop.height / h - 0.5 + crop.y;
        if (mirror)
            x = w - 1 - x;
        return {x, y};
    }
    // Whether the pixel of the turned frame nearest to p has a source pixel (else black).
    bool inside(cv::Point2d p) const
    {
        const cv::Point2d q = unturn({std::round(p.x), std::round(p.y)});
        return q.x >= 0 && q.x < w && q.y >= 0 && q.y < h;
    }
};

// First and one-past-last painted index along one axis whose samples are inside.
void span(int n, const std::function<bool(int)>& in, int& lo, int& hi)
{
    lo = 0;
    while (lo < n && !in(lo))
        ++lo;
    hi = n;
    while (hi > lo && !in(hi - 1))
        --hi;
}

// The integer region [start, start + length) of one axis whose resize to n samples puts them
// at first, first + step, ... ; kept inside [lo, hi).
void region(double first, double step, int n, int lo, int hi, int& start, int& length)
{
    length = std::max(1, static_cast<int>(std::lround(step * n)));
    start = static_cast<int>(std::lround(first - 0.5 * step + 0.5));
    start = std::clamp(start, lo, std::max(lo, hi - 1));
    length = std::min(length, hi - start);
}

} // namespace

void DisplayMap::render(const cv::Mat& bgr, int d, int a, bool mirror, float zoomFactor,
                        int quarterTurns, unsigned char* rgb)
{
    const int w = bgr.cols, h = bgr.rows, turns = quarterTurns & 3;
    cv::Rect crop(0, 0, w, h);
    if (zoomFactor != 1.0f) {
        const cv::Rect z = zoomRect(w, h, zoomFactor);
        if (z.width >= 1 && z.height >= 1 && z.x >= 0 && z.y >= 0 && z.width <= w && z.height <= h)
            crop = z;
    }
    const Geometry g{w, h, d, a, turns, mirror, crop, w / 2, h / 2};

    // The painted block that shows picture; the rest is the black of the turn.
    int x0, x1, y0, y1;
    const double midY = (a - 1) / 2.0, midX = (d - 1) / 2.0;
    span(
        d, [&](int X) { return g.inside(g.turnedPoint(X, midY)); }, x0, x1);
    span(
        a, [&](int Y) { return g.inside(g.turnedPoint(midX, Y)); }, y0, y1);
    std::memset(rgb, 0, static_cast<size_t>(d) * a * 3);
    if (x1 <= x0 || y1 <= y0)
        return;
    const int bw = x1 - x0, bh = y1 - y0;

    // Source coordinates along the block: a quarter turn exchanges which painted axis runs
    // along which source axis.
    const bool swapped = turns == 1 || turns == 3;
    const cv::Point2d s00 = g.source(x0, y0), s10 = g.source(x0 + 1, y0),
                      s01 = g.source(x0, y0 + 1);
    const double stepX = swapped ? s01.x - s00.x : s10.x - s00.x; // source x per sample
    const double stepY = swapped ? s10.y - s00.y : s01.y - s00.y;
    const int nx = swapped ? bh : bw, ny = swapped ? bw : bh;
    const double firstX = stepX >= 0 ? s00.x : s00.x + stepX * (nx - 1);
    const double firstY = stepY >= 0 ? s00.y : s00.y + stepY * (ny - 1);
    // The zoomed picture only ever shows its crop (the mirror takes the crop's mirror image).
    const int cropLo = mirror ? w - crop.x - crop.width : crop.x;
    int rx, lx, ry, ly;
    region(firstX, std::abs(stepX), nx, cropLo, cropLo + crop.width, rx, lx);
    region(firstY, std::abs(stepY), ny, crop.y, crop.y + crop.height, ry, ly);

    cv::resize(bgr(cv::Rect(rx, ry, lx, ly)), m_region, cv::Size(nx, ny), 0, 0, cv::INTER_LINEAR);

    // Turn, flip and swap to RGB in one pass over the block: painted (i, j) takes the region's
    // pixel at base + i * alongI + j * alongJ. Tiles keep the column walks of a turn in cache.
    const ptrdiff_t row = static_cast<ptrdiff_t>(m_region.step), px = 3;
    const ptrdiff_t stepU = stepX >= 0 ? px : -px, stepV = stepY >= 0 ? row : -row;
    const ptrdiff_t alongI = swapped ? stepV : stepU, alongJ = swapped ? stepU : stepV;
    const unsigned char* base =
        m_region.data + (stepX >= 0 ? 0 : (nx - 1) * px) + (stepY >= 0 ? 0 : (ny - 1) * row);
    constexpr int kTile = 32;
    const int tileRows = (bh + kTile - 1) / kTile;
    cv::parallel_for_(cv::Range(0, tileRows), [&](const cv::Range& range) {
        for (int tj = range.start * kTile; tj < std::min(bh, range.end * kTile); tj += kTile) {
            const int jEnd = std::min(bh, tj + kTile);
            for (int ti = 0; ti < bw; ti += kTile) {
                const int iEnd = std::min(bw, ti + kTile);
                for (int j = tj; j < jEnd; ++j) {
                    unsigned char* o = rgb + (static_cast<size_t>(y0 + j) * d + x0 + ti) * 3;
                    const unsigned char* p = base + ti * alongI + j * alongJ;
                    for (int i = ti; i < iEnd; ++i, o += 3, p += alongI) {
                        o[0] = p[2];
                        o[1] = p[1];
                        o[2] = p[0];
                    }
                }
            }
        }
    });
}
