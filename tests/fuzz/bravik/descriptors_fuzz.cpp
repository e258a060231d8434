// USB descriptor files: any bytes must parse without reading outside them, and what is
// found must lie inside the input.
#include "bravik/uvc/descriptor_parser.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that one byte too far is caught.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    const bravik::UvcDescriptors d = bravik::parseUvcDescriptors(copy.get(), size);
    size_t total = 0;
    for (const auto& u : d.units) {
        if (u.raw.size() < 23 || u.raw[3] != u.unitId || int(u.unitId) > d.highestEntityId)
            std::abort();
        total += u.raw.size();
        if (bravik::formatUnitLine(u).rfind("unit ", 0) != 0)
            std::abort();
    }
    if (total > size || (!d.units.empty() && !d.hasVideoControl))
        std::abort();
    return 0;
}
