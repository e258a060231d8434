// Time for the whole viewer: tick count, pauses and the local date-time.
// Everything that waits or stamps goes through clock(), so tests can swap in a
// VirtualClock and never wait for real time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace platform {

struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed start; wraps at 2^32 like any 32-bit tick count.
    virtual uint32_t tickCount() = 0;
    virtual void sleep(uint32_t ms) = 0;
    virtual LocalTime localTime() = 0;
};

// The clock in use; a SystemClock until someone installs another.
Clock& clock();
// Installs a clock and returns the previous one (tests put it back when done).
std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> clock);

class SystemClock : public Clock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t ms) override;
    LocalTime localTime() override;
};

// Time that moves only when told to: sleep() advances it at once.
// The local time is a start date plus the virtual milliseconds since it was set.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(uint32_t startTick = 1000);
    uint32_t tickCount() override;
    void sleep(uint32_t ms) override;
    LocalTime localTime() override;

    void advance(uint32_t ms);
    void setLocalTime(const LocalTime& t);
    uint64_t elapsed() const { return m_elapsed; }

private:
    uint32_t m_start;
    // Read from worker threads (a request waiting on a stalled device asks the time).
    std::atomic<uint64_t> m_elapsed{0};
    LocalTime m_base;
    uint64_t m_baseAt = 0;
};

// Calendar helper shared by the clocks: t plus ms milliseconds, carried through days,
// months and years.
LocalTime addMilliseconds(const LocalTime& t, uint64_t ms);

}  // namespace platform
