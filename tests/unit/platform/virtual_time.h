// The viewer's clock and the rig's as one virtual clock, moved by the test alone.
#pragma once

#include "platform/clock.h"

#include <scopesim/rig.h>

#include <memory>

namespace virtual_time
{

inline platform::VirtualClock* g_clock = nullptr;
inline std::unique_ptr<platform::Clock> g_oldClock;

inline void advance(uint32_t ms)
{
    g_clock->advance(ms);
}
inline uint32_t now()
{
    return g_clock->tickCount();
}

inline void install()
{
    auto c = std::make_unique<platform::VirtualClock>();
    g_clock = c.get();
    g_oldClock = platform::setClock(std::move(c));
    scopesim::setTimeSource([] { return platform::clock().tickCount(); },
                            [](uint32_t ms) { platform::clock().sleep(ms); });
}

inline void remove()
{
    scopesim::setTimeSource({}, {});
    platform::setClock(std::move(g_oldClock));
    g_clock = nullptr;
}

} // namespace virtual_time
