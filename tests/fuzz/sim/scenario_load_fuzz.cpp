// A scenario file loaded as the rig loads it, with the files it names: the input's first
// part is the scenario, after a line "--eeprom--" the bytes of the eeprom file "e.bin" it
// may name. Any bytes start the rig or give a one-line message, never a crash.
#include "scopesim/rig.h"
#include "tests/fuzz/fuzz_scratch.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace
{
void writeFile(const std::string& path, const char* data, size_t size)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = fuzzScratch("scenario");
    std::filesystem::create_directories(dir);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string mark = "\n--eeprom--\n";
    const size_t split = text.find(mark);
    const std::string scenario = text.substr(0, split);
    writeFile(dir + "/s.txt", scenario.data(), scenario.size());
    std::filesystem::remove(dir + "/e.bin");
    if (split != std::string::npos)
        writeFile(dir + "/e.bin", text.data() + split + mark.size(),
                  text.size() - split - mark.size());
    std::string error;
    if (scopesim::startFile(dir + "/s.txt", &error)) {
        scopesim::stop();
    } else {
        for (char c : error)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                __builtin_trap(); // messages stay one printable line
    }
    return 0;
}
