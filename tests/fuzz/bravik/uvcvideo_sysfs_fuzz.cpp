// What libBravik's uvcvideo listing reads from a tree that may not be sysfs at all: node names,
// id files and descriptor files. Any bytes give a value within its range or nothing.
#include "bravik/uvc/descriptor_parser.h"
#include "bravik/uvc/uvcvideo_platform.h"
#include "tests/fuzz/fuzz_scratch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const int n = bravik::videoNodeNumber(text); n < -1 || (n >= 0 && text.rfind("video", 0)))
        std::abort();

    static const std::string file = fuzzScratch("attribute");
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    int id = -1;
    if (bravik::readUsbId(file, id) && (id < 0 || id > 0xFFFF))
        std::abort();
    std::vector<uint8_t> bytes;
    if (bravik::readDescriptorFile(file, bytes)) {
        if (bytes.size() != size || bytes.size() > bravik::kMaxDescriptorBytes)
            std::abort();
        bravik::parseUvcDescriptors(bytes.data(), bytes.size());
    }
    return 0;
}
