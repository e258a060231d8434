// Scenario files and command lines come from users: any bytes must give a result or a
// message, never a crash.
#include "sim/scenario.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    scopesim::ParseResult r = scopesim::parseScenario(text, "fuzz.txt", "/nonexistent");
    if (!r.ok && r.error.rfind("fuzz.txt:", 0) != 0)
        __builtin_trap(); // every refusal names the file and line
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        scopesim::parseEventLine(line);
    return 0;
}
