// user-dirs.dirs is the user's file: any bytes give an absolute folder or nothing.
#include "platform/user_dirs.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string docs = platform::documentsEntry(text, "/home/u");
    if (!docs.empty() && docs[0] != '/')
        __builtin_trap();
    return 0;
}
