// strings.txt and config.txt come from the disk: any bytes give at most sixteen bounded
// entries, and their values are read without overflow.
#include "app/key_value_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const KeyValueList entries = parseKeyValueText(text);
    if (entries.size() > kMaxEntries)
        __builtin_trap();
    for (const auto& [key, value] : entries) {
        if (key.size() > kMaxKeyLength || value.size() > kMaxValueLength)
            __builtin_trap();
        int n = 0;
        parseTimeStampValue(value, n);
        // A name that passes never leaves the documents folder.
        if (exeNameProblem(value).empty() &&
            (value.find('/') != std::string::npos || value.find("..") != std::string::npos ||
             value.empty() || value.size() > kMaxAppNameLength))
            __builtin_trap();
    }
    return 0;
}
