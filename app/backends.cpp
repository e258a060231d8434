#include "app/command_line.h"

#include "platform/bounded_file.h"
#include "platform/clock.h"
#include "platform/services.h"

#include <scopesim/rig.h>

#include <cstdio>

bool startBackends(const CommandLine& cl)
{
    if (!cl.simulate) {
        platform::useLinuxBackends("/");
        return true;
    }
    // The rig keeps the viewer's time, so a virtual clock installed by a test also runs
    // the rig's scripted events.
    scopesim::setTimeSource([] { return platform::clock().tickCount(); },
                            [](uint32_t ms) { platform::clock().sleep(ms); });
    std::string error;
    bool ok = cl.scenario.empty()
                  ? scopesim::startText(scopesim::defaultScenario(), "<default rig>", &error)
                  : scopesim::startFile(cl.scenario, &error);
    if (!ok) {
        std::fprintf(stderr, "orvex: %s\n", files::printable(error).c_str());
        scopesim::setTimeSource({}, {});
        return false;
    }
    platform::useSimBackends();
    return true;
}

void stopBackends(const CommandLine& cl)
{
    if (!cl.simulate)
        return;
    platform::useLinuxBackends("/");
    scopesim::stop();
    scopesim::setTimeSource({}, {});
}
