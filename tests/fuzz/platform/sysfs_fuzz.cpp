// sysfs attribute files (ids, classes, counts) read from a tree that may not be sysfs at all:
// any bytes give a value within its digits or nothing.
#include "platform/linux/sysfs.h"
#include "tests/fuzz/fuzz_scratch.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string file = fuzzScratch("attribute");
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    platform::readAttribute(file);
    if (auto v = platform::readHexAttribute(file, 4); v && *v > 0xFFFF)
        __builtin_trap();
    if (auto v = platform::readDecimalAttribute(file); v && *v > 999999999)
        __builtin_trap();
    return 0;
}
