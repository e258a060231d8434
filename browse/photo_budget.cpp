#include "browse/photo_budget.h"

#include <algorithm>

namespace
{

long long ceilDiv(long long a, long long b)
{
    return (a + b - 1) / b;
}

long long roundUp(long long a, long long b)
{
    return ceilDiv(a, b) * b;
}

} // namespace

long long photoDecodeBytes(const JpegHeader& h, int scale)
{
    const long long w = h.width, ht = h.height;
    const size_t n = static_cast<size_t>(std::clamp(h.components, 0, 4));
    long long hMax = 1, vMax = 1;
    for (size_t c = 0; c < n; ++c) {
        hMax = std::max<long long>(hMax, h.hSampling[c]);
        vMax = std::max<long long>(vMax, h.vSampling[c]);
    }
    long long bytes = ceilDiv(w, scale) * ceilDiv(ht, scale) * 3;
    // Row buffers: a few MCU rows of every component at full width, generously counted.
    bytes += roundUp(w, 8 * hMax) * 8 * vMax * static_cast<long long>(n + 3) * 2;
    if (h.progressive || h.multiScan) {
        // 64 coefficients of 2 bytes per 8 × 8 block, blocks padded to the sampling factors.
        for (size_t c = 0; c < n; ++c) {
            const long long hs = std::max(h.hSampling[c], 1), vs = std::max(h.vSampling[c], 1);
            bytes += roundUp(ceilDiv(w * hs, 8 * hMax), hs) *
                     roundUp(ceilDiv(ht * vs, 8 * vMax), vs) * 128;
        }
    }
    return bytes;
}

int photoDecodeScale(const JpegHeader& h, int minWidth, int minHeight)
{
    if (h.width <= 0 || h.height <= 0 ||
        static_cast<long long>(h.width) * h.height > kMaxPhotoPixels)
        return 0;
    int scale = 1;
    while (scale <= 8 && photoDecodeBytes(h, scale) > kMaxPhotoDecodeBytes)
        scale *= 2;
    if (scale > 8)
        return 0;
    if (minWidth > 0 && minHeight > 0)
        while (scale < 8 && h.width / (scale * 2) >= minWidth &&
               h.height / (scale * 2) >= minHeight)
            scale *= 2;
    return scale;
}
