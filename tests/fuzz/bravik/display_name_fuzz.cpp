// Display names: any text gives ids within four hex digits, or leaves them as they were.
#include "bravik/core/display_name.h"

#include <cstdlib>
#include <string>

constexpr int kUnset = -100000; // no parse can give it

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    int pid = kUnset, vid = kUnset;
    bravik::parseDisplayIds(name, &pid, &vid);
    if ((pid != kUnset && (pid < -0xFFF || pid > 0xFFFF)) ||
        (vid != kUnset && (vid < -0xFFF || vid > 0xFFFF)))
        std::abort();
    if (pid == kUnset && vid != kUnset)
        std::abort(); // a vendor id is only taken after a product id
    return 0;
}
