// The bridge's EEPROM write protection (bridge registers 0x00 and 0x06): every EEPROM write
// opens it, so a command that writes puts it back as it found it.
#pragma once

#include "tools/bravik_cli/library_api.h"

#include <cstdint>

namespace bravik::cli
{

class BridgeProtection
{
public:
    BridgeProtection(const BravikApi& api, BVUnit* unit) : m_api(api), m_unit(unit) {}

    // Reads both registers; the library result of the first failure, BV_OK when both read.
    int save();
    // Writes both back as saved; BV_OK, or the first failure.
    int restore();

private:
    const BravikApi& m_api;
    BVUnit* m_unit;
    uint16_t m_control = 0; // register 0x00
    uint16_t m_enable = 0;  // register 0x06
    bool m_saved = false;
};

} // namespace bravik::cli
