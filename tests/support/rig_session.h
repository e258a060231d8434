// The simulated rig for one test: a virtual clock drives both the viewer and the rig's
// scripted events, and every platform service uses the rig. Everything is put back after.
#pragma once

#include "platform/services.h"
#include "support/virtual_time.h"

#include <scopesim/rig.h>

#include <memory>
#include <stdexcept>
#include <string>

// Virtual time that the rig's scripted events and its waits run on too.
class RigTime : public VirtualTime
{
public:
    RigTime()
    {
        scopesim::setTimeSource([] { return platform::clock().tickCount(); },
                                [](uint32_t ms) { platform::clock().sleep(ms); });
    }
    ~RigTime() { scopesim::setTimeSource({}, {}); }
};

class RigSession
{
public:
    // scenario: the text of a scenario file; empty for the default rig.
    explicit RigSession(const std::string& scenario = {})
    {
        std::string error;
        const std::string text = scenario.empty() ? scopesim::defaultScenario() : scenario;
        if (!scopesim::startText(text, "<test>", &error))
            throw std::runtime_error("rig: " + error);
        platform::useSimBackends();
    }
    ~RigSession()
    {
        platform::useLinuxBackends("/");
        scopesim::stop();
    }
    RigSession(const RigSession&) = delete;
    RigSession& operator=(const RigSession&) = delete;

    RigTime time;
    platform::VirtualClock* const clock = time.clock;
};
