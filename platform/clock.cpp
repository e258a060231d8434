#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

namespace {
std::unique_ptr<Clock>& slot()
{
    // Never destroyed: a backend thread still finishing while the process exits reads it.
    static auto* current = new std::unique_ptr<Clock>(std::make_unique<SystemClock>());
    return *current;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[(m - 1) % 12];
}
}  // namespace

Clock& clock() { return *slot(); }

std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> c)
{
    if (!c)
        c = std::make_unique<SystemClock>();
    std::swap(slot(), c);
    return c;
}

uint32_t SystemClock::tickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SystemClock::sleep(uint32_t ms)
{
    // sleep(0) is a yield, as callers expect of a zero pause.
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

LocalTime SystemClock::localTime()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime r;
    r.year = tm.tm_year + 1900;
    r.month = tm.tm_mon + 1;
    r.day = tm.tm_mday;
    r.hour = tm.tm_hour;
    r.minute = tm.tm_min;
    r.second = tm.tm_sec;
    r.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return r;
}

VirtualClock::VirtualClock(uint32_t startTick) : m_start(startTick)
{
    m_base.year = 2026;
    m_base.month = 3;
    m_base.day = 7;
    m_base.hour = 9;
    m_base.minute = 5;
    m_base.second = 33;
}

uint32_t VirtualClock::tickCount() { return static_cast<uint32_t>(m_start + m_elapsed); }

void VirtualClock::sleep(uint32_t ms) { advance(ms); }

LocalTime VirtualClock::localTime() { return addMilliseconds(m_base, m_elapsed - m_baseAt); }

void VirtualClock::advance(uint32_t ms) { m_elapsed += ms; }

void VirtualClock::setLocalTime(const LocalTime& t)
{
    m_base = t;
    m_baseAt = m_elapsed;
}

LocalTime addMilliseconds(const LocalTime& t, uint64_t ms)
{
    LocalTime r = t;
    uint64_t total = static_cast<uint64_t>(r.millisecond) + ms;
    r.millisecond = static_cast<int>(total % 1000);
    uint64_t secs = total / 1000 + static_cast<uint64_t>(r.second);
    r.second = static_cast<int>(secs % 60);
    uint64_t mins = secs / 60 + static_cast<uint64_t>(r.minute);
    r.minute = static_cast<int>(mins % 60);
    uint64_t hours = mins / 60 + static_cast<uint64_t>(r.hour);
    r.hour = static_cast<int>(hours % 24);
    uint64_t days = hours / 24;
    while (days > 0) {
        int left = daysIn(r.year, r.month) - r.day;
        if (days <= static_cast<uint64_t>(left)) {
            r.day += static_cast<int>(days);
            break;
        }
        days -= static_cast<uint64_t>(left) + 1;
        r.day = 1;
        if (++r.month > 12) {
            r.month = 1;
            ++r.year;
        }
    }
    return r;
}

}  // namespace platform
