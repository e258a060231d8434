// The viewer's few command-line options.
#pragma once

#include <string>

struct CommandLine {
    bool help = false;
    bool simulate = false;
    std::string scenario;  // empty: the default rig
    std::string error;     // non-empty: the line could not be used
};

CommandLine parseCommandLine(int argc, char** argv);
std::string usageText();

// Chooses the hardware backends (Linux or simulated) before the frame is built.
// False, after a message on stderr, when the simulated rig cannot start.
bool startBackends(const CommandLine& cl);
void stopBackends(const CommandLine& cl);
