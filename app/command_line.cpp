#include "app/command_line.h"

#include <cstring>

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine cl;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            cl.help = true;
        } else if (!std::strcmp(a, "--simulate")) {
            cl.simulate = true;
        } else if (!std::strncmp(a, "--simulate=", 11)) {
            cl.simulate = true;
            cl.scenario = a + 11;
            if (cl.scenario.empty())
                cl.error = "--simulate= needs a scenario file";
        } else {
            cl.error = std::string("unknown option '") + a + "'";
        }
    }
    return cl;
}

std::string usageText()
{
    return "Usage: orvex [--simulate[=SCENARIO]] [--help]\n"
           "\n"
           "Shows the live picture of a USB inspection camera, takes snapshots and\n"
           "recordings, and browses and plays them back.\n"
           "\n"
           "  --simulate           run on the simulated scope rig (a laptop webcam and the\n"
           "                       scope) instead of this machine's cameras\n"
           "  --simulate=SCENARIO  run on the rig described by a scenario file\n"
           "                       (see sim/scenarios/)\n"
           "  --help               show this text\n"
           "\n"
           "Without --simulate the real video devices (V4L2, uvcvideo, udev) are used.\n";
}
