// Any bytes in a .jpg: the header reader stays within them, and what it accepts is a frame the
// photo budget can judge; a photo the budget lets through is decoded within the memory cap.
#include "browse/photo_budget.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    JpegHeader h;
    const JpegParse r =
        parseJpegHeader(std::string_view(reinterpret_cast<const char*>(data), size), h);
    if (r != JpegParse::Ok)
        return 0;
    if (h.width <= 0 || h.height <= 0 || h.components < 1 || h.components > 4)
        __builtin_trap();
    for (int c = 0; c < h.components; ++c)
        if (h.hSampling[size_t(c)] < 1 || h.hSampling[size_t(c)] > 4 ||
            h.vSampling[size_t(c)] < 1 || h.vSampling[size_t(c)] > 4)
            __builtin_trap();
    for (const int minimum : {0, 148}) {
        const int scale = photoDecodeScale(h, minimum, minimum);
        if (scale != 0 && (static_cast<long long>(h.width) * h.height > kMaxPhotoPixels ||
                           photoDecodeBytes(h, scale) > kMaxPhotoDecodeBytes))
            __builtin_trap();
    }
    return 0;
}
