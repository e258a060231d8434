// A rig on a clock the test moves by hand.
#pragma once

#include "support/rig_session.h"

#include <scopesim/rig.h>
#include <scopesim/scopesim.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace simtest
{

class RigTest : public ::testing::Test
{
protected:
    void TearDown() override { scopesim::stop(); }
    void start(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(scopesim::startText(text, "test", &error)) << error;
    }
    void advance(uint32_t ms) { m_time.advance(ms); }

    // The id of the plugged video input called name.
    static int idOf(const std::string& name)
    {
        for (const auto& v : scopesim::videoInputs())
            if (v.name == name)
                return v.id;
        return 0;
    }

    // One extension-unit request on unit 4 (the bridge's register unit).
    static int xu(int id, uint8_t sel, uint8_t query, std::vector<uint8_t>& data)
    {
        return scopesim_xu_query(id, 4, sel, query, static_cast<unsigned short>(data.size()),
                                 data.data());
    }
    static int set(int id, uint8_t sel, std::vector<uint8_t> data)
    {
        return xu(id, sel, 0x01, data);
    }
    static std::vector<uint8_t> get(int id, uint8_t sel, size_t size, int* result = nullptr)
    {
        std::vector<uint8_t> d(size, 0xEE);
        int r = xu(id, sel, 0x81, d);
        if (result)
            *result = r;
        return d;
    }

    // A register read in one of the four transfer modes, the way the bridge expects it.
    static int readReg(int id, int mode, uint8_t dev, uint16_t addr, uint16_t& value)
    {
        static const uint8_t cmd[] = {3, 7, 6, 2};
        const bool wideAddr = mode <= 1, wideData = mode == 0 || mode == 2;
        const uint8_t a = wideAddr ? 2 : 1, d = wideData ? 4 : 3;
        int r = set(id, a,
                    {cmd[mode], dev, static_cast<uint8_t>(addr),
                     static_cast<uint8_t>(wideAddr ? addr >> 8 : 0)});
        if (r)
            return r;
        auto bytes = get(id, d, 4, &r);
        value = static_cast<uint16_t>(bytes[2] | (wideData ? bytes[3] << 8 : 0));
        return r;
    }
    static int writeReg(int id, int mode, uint8_t dev, uint16_t addr, uint16_t value)
    {
        static const uint8_t cmd[] = {3, 7, 6, 2};
        const bool wideAddr = mode <= 1, wideData = mode == 0 || mode == 2;
        const uint8_t a = wideAddr ? 2 : 1, d = wideData ? 4 : 3;
        int r = set(id, a,
                    {cmd[mode], dev, static_cast<uint8_t>(addr),
                     static_cast<uint8_t>(wideAddr ? addr >> 8 : 0)});
        if (r)
            return r;
        return set(id, d,
                   {cmd[mode], dev, static_cast<uint8_t>(value),
                    static_cast<uint8_t>(wideData ? value >> 8 : 0)});
    }

    RigTime m_time;
};

inline const char* kScope = "USB Inspection Camera";

} // namespace simtest
