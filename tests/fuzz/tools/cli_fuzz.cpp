// The bravik tool's command line and its input files: the first line of the input is the
// command line (words split at blanks), the rest a descriptors file for 'units'. Any bytes
// give a result and an exit status, never a crash.
#include "tests/fuzz/fuzz_scratch.h"
#include "tools/bravik_cli/cli_options.h"
#include "tools/bravik_cli/commands.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string file = fuzzScratch("descriptors");
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t end = text.find('\n');
    std::istringstream line(text.substr(0, end));
    std::vector<std::string> words{"bravik"};
    for (std::string w; line >> w;)
        words.push_back(w);
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::string error;
    auto options = bravik::cli::parseOptions(int(words.size()), argv.data(), &error);
    if (!options && error.empty())
        __builtin_trap(); // a refusal always says why
    if (options) {
        for (const auto& a : options->args) {
            bravik::cli::parseHex(a, 0xFFFF);
            bravik::cli::parseMode(a);
        }
    }
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return 0;
    if (end != std::string::npos)
        std::fwrite(text.data() + end + 1, 1, text.size() - end - 1, f);
    std::fclose(f);
    bravik::cli::Options units;
    units.command = "units";
    units.args = {file};
    // The listing goes nowhere: the fuzzer runs this many thousand times. Messages stay on
    // stderr, where the fuzzer also reports.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    const int status = bravik::cli::runUnits(units);
    if (status != bravik::cli::kExitOk && status != bravik::cli::kExitFailed)
        __builtin_trap();
    return 0;
}
