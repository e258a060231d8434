// The command line of the bravik tool.
#pragma once

#include "devctl/scope_registers.h"

#include <optional>
#include <string>
#include <vector>

namespace bravik::cli
{

struct Options {
    bool help = false;
    bool simulate = false;
    bool writeTest = false; // check also writes, reads back and restores a block
    std::string scenario;   // empty: the default rig
    int vid = scope::kVid;
    int pid = scope::kPid;
    std::string command;
    std::vector<std::string> args;
};

// Empty with *error set when the line is not understood.
std::optional<Options> parseOptions(int argc, char** argv, std::string* error);

// "1a", "0x1A" → 26, within 0..max; nothing for anything else.
std::optional<int> parseHex(const std::string& text, int max);
// A16D16 A16D8 A8D16 A8D8 (any case) or 0..3.
std::optional<int> parseMode(const std::string& text);
const char* modeName(int mode);

extern const char* const kUsage;

} // namespace bravik::cli
