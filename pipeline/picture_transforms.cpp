#include "pipeline/picture_transforms.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

void mirrorFrame(cv::Mat& frame)
{
    cv::flip(frame, frame, 1);
}

cv::Rect zoomRect(int width, int height, float factor)
{
    const int w = static_cast<int>(static_cast<float>(width) * factor);
    const int h = static_cast<int>(static_cast<float>(height) * factor);
    return cv::Rect((width - w) / 2, (height - h) / 2, w, h);
}

QuarterTurn quarterTurnRow(int width, int height, int quarterTurns, int y)
{
    const int cx = width / 2, cy = height / 2;
    switch (quarterTurns & 3) {
    case 1: // dst(x, y) = src(y + cx - cy, cx + cy - x)
        return {0, y + cx - cy, -1, cx + cy};
    case 2: // dst(x, y) = src(2cx - x, 2cy - y)
        return {-1, 2 * cx, 0, 2 * cy - y};
    case 3: // dst(x, y) = src(cx + cy - y, x - cx + cy)
        return {0, cx + cy - y, 1, cy - cx};
    default:
        return {1, 0, 0, y};
    }
}

namespace
{
// The x range [lo, hi) for which a + b * x lies in [0, n).
void clampRange(int a, int b, int n, int& lo, int& hi)
{
    if (b == 0) {
        if (a < 0 || a >= n)
            hi = lo;
        return;
    }
    if (b > 0) { // 0 <= a + x < n
        lo = std::max(lo, -a);
        hi = std::min(hi, n - a);
    } else { // 0 <= a - x < n
        lo = std::max(lo, a - n + 1);
        hi = std::min(hi, a + 1);
    }
}

// A factor outside 0..1 gives no zoom rather than a region outside the frame.
bool usable(const cv::Rect& r, const cv::Mat& frame)
{
    return r.width >= 1 && r.height >= 1 && r.x >= 0 && r.y >= 0 && r.width <= frame.cols &&
           r.height <= frame.rows;
}
} // namespace

void rotateInto(const cv::Mat& src, cv::Mat& dst, int quarterTurns)
{
    CV_Assert(src.type() == CV_8UC3 && src.data != dst.data);
    dst.create(src.size(), src.type());
    const int w = src.cols, h = src.rows;
    const ptrdiff_t srcStep = static_cast<ptrdiff_t>(src.step);
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const QuarterTurn t = quarterTurnRow(w, h, quarterTurns, y);
            int lo = 0, hi = w;
            clampRange(t.bx, t.ax, w, lo, hi);
            clampRange(t.by, t.ay, h, lo, hi);
            unsigned char* out = dst.ptr(y);
            if (hi <= lo) {
                std::memset(out, 0, static_cast<size_t>(w) * 3);
                continue;
            }
            std::memset(out, 0, static_cast<size_t>(lo) * 3);
            std::memset(out + hi * 3, 0, static_cast<size_t>(w - hi) * 3);
            const unsigned char* p =
                src.data + (t.by + t.ay * lo) * srcStep + (t.bx + t.ax * lo) * 3;
            const ptrdiff_t step = t.ay * srcStep + t.ax * 3;
            unsigned char* q = out + lo * 3;
            for (int x = lo; x < hi; ++x, p += step, q += 3) {
                q[0] = p[0];
                q[1] = p[1];
                q[2] = p[2];
            }
        }
    });
}

void FrameTransformer::zoom(cv::Mat& frame, float factor)
{
    const cv::Rect r = zoomRect(frame.cols, frame.rows, factor);
    if (!usable(r, frame))
        return;
    // Resizing straight from the region gives the pixels a copied crop would: the resize only
    // reads inside the matrix it is given.
    cv::resize(frame(r), m_scratch, frame.size(), 0, 0, cv::INTER_LINEAR);
    m_scratch.copyTo(frame);
}

void FrameTransformer::rotate(cv::Mat& frame, int quarterTurns)
{
    frame.copyTo(m_scratch);
    rotateInto(m_scratch, frame, quarterTurns);
}

void FrameTransformer::apply(cv::Mat& frame, bool mirror, float zoomFactor, int quarterTurns)
{
    if (frame.empty() || frame.type() != CV_8UC3)
        return;
    const bool turned = quarterTurns > 0;
    const cv::Rect r =
        zoomFactor != 1.0f ? zoomRect(frame.cols, frame.rows, zoomFactor) : cv::Rect();
    if (zoomFactor == 1.0f || !usable(r, frame)) {
        if (mirror)
            mirrorFrame(frame);
        if (turned)
            rotate(frame, quarterTurns);
        return;
    }
    // The zoom keeps only the centre, so of the mirrored frame only that part is needed: it
    // is the mirror image of the opposite part of the frame.
    cv::Mat region = frame(r);
    if (mirror) {
        cv::flip(frame(cv::Rect(frame.cols - r.x - r.width, r.y, r.width, r.height)), m_mirrored,
                 1);
        region = m_mirrored;
    }
    if (turned) {
        // Zoom into the scratch buffer and turn from there: one copy fewer.
        cv::resize(region, m_scratch, frame.size(), 0, 0, cv::INTER_LINEAR);
        rotateInto(m_scratch, frame, quarterTurns);
        return;
    }
    cv::resize(region, m_scratch, frame.size(), 0, 0, cv::INTER_LINEAR);
    m_scratch.copyTo(frame);
}
