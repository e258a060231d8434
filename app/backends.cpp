#include "app/command_line.h"

#include <cstdio>

bool startBackends(const CommandLine& cl)
{
    if (cl.simulate) {
        std::fprintf(stderr, "orvex: the simulated rig is not built into this program yet\n");
        return false;
    }
    return true;
}

void stopBackends(const CommandLine&) {}
