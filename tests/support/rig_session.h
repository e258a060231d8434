// The simulated rig for one test: a virtual clock drives both the viewer and the rig's
// scripted events, and every platform service uses the rig. Everything is put back after.
#pragma once

#include "platform/clock.h"
#include "platform/services.h"

#include <scopesim/rig.h>

#include <memory>
#include <stdexcept>
#include <string>

class RigSession {
public:
    // scenario: the text of a scenario file; empty for the default rig.
    explicit RigSession(const std::string& scenario = {})
    {
        auto c = std::make_unique<platform::VirtualClock>();
        clock = c.get();
        m_oldClock = platform::setClock(std::move(c));
        scopesim::setTimeSource([] { return platform::clock().tickCount(); },
                                [](uint32_t ms) { platform::clock().sleep(ms); });
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
        scopesim::setTimeSource({}, {});
        platform::setClock(std::move(m_oldClock));
    }
    RigSession(const RigSession&) = delete;
    RigSession& operator=(const RigSession&) = delete;

    platform::VirtualClock* clock = nullptr;

private:
    std::unique_ptr<platform::Clock> m_oldClock;
};
