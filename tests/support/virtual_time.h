// The viewer's clock swapped for one that moves only when the test moves it (a sleep moves it
// at once); the clock before is put back when it goes.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <memory>

class VirtualTime
{
public:
    VirtualTime()
    {
        auto c = std::make_unique<platform::VirtualClock>();
        clock = c.get();
        m_previous = platform::setClock(std::move(c));
    }
    // The local time starts at date.
    explicit VirtualTime(const platform::LocalTime& date) : VirtualTime()
    {
        clock->setLocalTime(date);
    }
    ~VirtualTime() { platform::setClock(std::move(m_previous)); }
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    void advance(uint32_t ms) { clock->advance(ms); }
    uint32_t now() const { return clock->tickCount(); }

    platform::VirtualClock* clock = nullptr;

private:
    std::unique_ptr<platform::Clock> m_previous;
};
