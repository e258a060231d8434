// The simulated scope as the devctl tests look at it: the transfers on its bus since the last
// look, its state, its buttons.
#pragma once

#include <scopesim/rig.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace scopebus
{

inline const std::string kScope = "USB Inspection Camera";

struct Access {
    bool write;
    int device, address, value;
    bool operator==(const Access&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Access& a)
{
    return os << (a.write ? "write " : "read ") << std::hex << a.device << "/" << a.address << "="
              << a.value;
}
inline Access rd(int device, int address, int value)
{
    return {false, device, address, value};
}
inline Access wr(int device, int address, int value)
{
    return {true, device, address, value};
}

// Bus transfers since the last look; only the writes when asked.
inline std::vector<Access> bus(bool writesOnly = false)
{
    std::vector<Access> out;
    for (auto& a : scopesim::busLog())
        if (a.write || !writesOnly)
            out.push_back({a.write, a.device, a.address, a.value});
    scopesim::clearRequestLog();
    return out;
}
inline scopesim::ScopeState scopeNow()
{
    return scopesim::scopeState(kScope).value();
}
inline void press(scopesim::Button b, uint32_t holdMs = 100)
{
    ASSERT_TRUE(scopesim::pressButton(kScope, b, holdMs));
}

} // namespace scopebus
