#include "pipeline/display_picture.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

namespace
{

void swapToRgb(const cv::Mat& bgr, unsigned char* rgb)
{
    cv::Mat out(bgr.rows, bgr.cols, CV_8UC3, rgb);
    cv::cvtColor(bgr, out, cv::COLOR_BGR2RGB);
}

void blockAverage(const cv::Mat& bgr, int d, int a, int fx, int fy, unsigned char* rgb)
{
    const unsigned count = static_cast<unsigned>(fx * fy);
    std::vector<unsigned> sums(static_cast<size_t>(d) * 3);
    for (int y = 0; y < a; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int k = 0; k < fy; ++k) {
            const unsigned char* row = bgr.ptr(y * fy + k);
            unsigned* s = sums.data();
            for (int x = 0; x < d; ++x, s += 3) {
                for (int j = 0; j < fx; ++j, row += 3) {
                    s[0] += row[0];
                    s[1] += row[1];
                    s[2] += row[2];
                }
            }
        }
        // Truncating division, as the toolkit's shrink does.
        const unsigned* s = sums.data();
        for (int x = 0; x < d; ++x, s += 3, rgb += 3) {
            rgb[0] = static_cast<unsigned char>(s[2] / count);
            rgb[1] = static_cast<unsigned char>(s[1] / count);
            rgb[2] = static_cast<unsigned char>(s[0] / count);
        }
    }
}

// The common halving (a 1280 x 960 frame in a 640 x 480 screen) without the general loops:
// the two rows are summed first in a loop the compiler vectorises, then the pairs.
void halve(const cv::Mat& bgr, int d, int a, unsigned char* out)
{
    cv::parallel_for_(cv::Range(0, a), [&](const cv::Range& rows) {
        std::vector<uint16_t> sums(static_cast<size_t>(d) * 6);
        for (int y = rows.start; y < rows.end; ++y) {
            const unsigned char* __restrict r0 = bgr.ptr(2 * y);
            const unsigned char* __restrict r1 = bgr.ptr(2 * y + 1);
            uint16_t* __restrict s = sums.data();
            for (int k = 0; k < d * 6; ++k)
                s[k] = static_cast<uint16_t>(r0[k] + r1[k]);
            unsigned char* __restrict rgb = out + static_cast<size_t>(y) * d * 3;
            for (int x = 0; x < d; ++x, s += 6, rgb += 3) {
                rgb[0] = static_cast<unsigned char>((s[2] + s[5]) >> 2);
                rgb[1] = static_cast<unsigned char>((s[1] + s[4]) >> 2);
                rgb[2] = static_cast<unsigned char>((s[0] + s[3]) >> 2);
            }
        }
    });
}

void nearest(const cv::Mat& bgr, int d, int a, unsigned char* out)
{
    const unsigned long w = static_cast<unsigned long>(bgr.cols),
                        h = static_cast<unsigned long>(bgr.rows);
    const unsigned long xDelta = (w << 16) / static_cast<unsigned long>(d);
    const unsigned long yDelta = (h << 16) / static_cast<unsigned long>(a);
    std::vector<int> column(static_cast<size_t>(d));
    unsigned long x = 0;
    for (int i = 0; i < d; ++i, x += xDelta)
        column[static_cast<size_t>(i)] = static_cast<int>(x >> 16) * 3;
    cv::parallel_for_(cv::Range(0, a), [&](const cv::Range& rows) {
        for (int j = rows.start; j < rows.end; ++j) {
            // The toolkit steps y by yDelta from 0: row j is at j * yDelta.
            const unsigned char* row = bgr.ptr(static_cast<int>((j * yDelta) >> 16));
            unsigned char* rgb = out + static_cast<size_t>(j) * d * 3;
            for (int i = 0; i < d; ++i, rgb += 3) {
                const unsigned char* p = row + column[static_cast<size_t>(i)];
                rgb[0] = p[2];
                rgb[1] = p[1];
                rgb[2] = p[0];
            }
        }
    });
}

} // namespace

void fitToRgb(const cv::Mat& bgr, int d, int a, unsigned char* rgb)
{
    CV_Assert(bgr.type() == CV_8UC3 && d > 0 && a > 0);
    const int w = bgr.cols, h = bgr.rows;
    if (w == d && h == a)
        swapToRgb(bgr, rgb);
    else if (w % d == 0 && w >= d && h % a == 0 && h >= a) {
        if (w == 2 * d && h == 2 * a)
            halve(bgr, d, a, rgb);
        else
            blockAverage(bgr, d, a, w / d, h / a, rgb);
    } else
        nearest(bgr, d, a, rgb);
}
