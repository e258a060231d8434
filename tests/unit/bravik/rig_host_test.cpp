// The built library in a host process that runs the simulated rig: what the rig's request
// and bus logs show of each transfer, and what a stalled device does to a request.
#include "loaded_bravik.h"

#include "scopesim/rig.h"
#include "scopesim/scopesim.h"

#include <gmock/gmock.h>

#include <chrono>
#include <cstdio>
#include <set>

using namespace bravik::test;
using ::testing::ElementsAre;

namespace
{

const std::string kScope = "USB Inspection Camera";
constexpr uint8_t kSetCur = 0x01, kGetCur = 0x81;

class Rig : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bv.complete()) << dlerror();
        ASSERT_EQ(scopesim_start(nullptr), 0);
        bv.initializeCom(2);
    }
    void TearDown() override
    {
        bv.release(&filter, &unit);
        bv.uninitializeCom();
        scopesim_stop();
    }
    int open()
    {
        bv.release(&filter, &unit);
        return bv.initialize(&filter, &unit, 0x0510, 0x05E3, &foundPid, &foundVid);
    }
    // Mailbox traffic of the scope since the last clear.
    std::vector<scopesim::Request> transfers()
    {
        std::vector<scopesim::Request> out;
        for (auto& r : scopesim::requestLog())
            if (r.kind == scopesim::RequestKind::Xu && (r.query == kSetCur || r.query == kGetCur))
                out.push_back(r);
        return out;
    }

    LoadedBravik bv;
    BVFilterHolder* filter = nullptr;
    BVUnit* unit = nullptr;
    int foundPid = -1, foundVid = -1;
};

TEST(BuiltLibrary, ExportsTheEightFunctionsAndNothingElse)
{
    const std::string command = "nm -D --defined-only " + builtLibrary();
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3)
            names.insert(name);
    }
    ASSERT_EQ(pclose(p), 0) << command;
    EXPECT_EQ(names,
              (std::set<std::string>{"BV_InitializeCOM", "BV_UninitializeCOM", "BV_UVCInitialize",
                                     "BV_UVCRelease", "BV_UvcReadReg", "BV_UvcWriteReg",
                                     "BV_UvcReadEEPCont", "BV_UvcWriteEEPCont"}));
    EXPECT_TRUE(LoadedBravik().complete());
}

TEST_F(Rig, OpensTheScopeReadsTheTubeAndRoundTripsRegistersAndEeprom)
{
    ASSERT_EQ(open(), 0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(foundPid, 0x0510);
    EXPECT_EQ(foundVid, 0x05E3);

    uint16_t chip = 0;
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A16D16, 0x7A, 0x0000, &chip), 0);
    EXPECT_NE(chip, 0xFFFF);
    EXPECT_EQ(chip, scopesim::busRegister(kScope, 0x7A, 0x0000).value_or(0xFFFF));

    const uint16_t bars = 0x16;
    EXPECT_EQ(bv.writeReg(unit, BV_MODE_A16D8, 0x7A, 0x8400, &bars), 0);
    EXPECT_TRUE(scopesim::scopeState(kScope)->testPicture);
    uint16_t back = 0;
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A16D8, 0x7A, 0x8400, &back), 0);
    EXPECT_EQ(back, 0x16);

    uint8_t block[16], read[16] = {};
    for (int i = 0; i < 16; ++i)
        block[i] = uint8_t(0x30 + i * 5);
    EXPECT_EQ(bv.writeEeprom(unit, 0x0240, block), 0);
    EXPECT_EQ(bv.readEeprom(unit, 0x0240, read), 0);
    EXPECT_EQ(std::vector<uint8_t>(read, read + 16), std::vector<uint8_t>(block, block + 16));
    const auto rom = scopesim::eeprom(kScope);
    ASSERT_GE(rom.size(), 0x250u);
    EXPECT_EQ(std::vector<uint8_t>(rom.begin() + 0x240, rom.begin() + 0x250),
              std::vector<uint8_t>(block, block + 16));

    bv.release(&filter, &unit);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(unit, nullptr);
}

TEST_F(Rig, RegisterTransfersCarryTheirBytesOnTheUnitsControls)
{
    ASSERT_EQ(open(), 0);
    scopesim::clearRequestLog();
    const uint16_t value = 0x1234;
    EXPECT_EQ(bv.writeReg(unit, BV_MODE_A16D16, 0x7A, 0xA070, &value), 0);
    auto t = transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].unit, 4);
    EXPECT_EQ(t[0].selector, 2);
    EXPECT_THAT(t[0].data, ElementsAre(3, 0x7A, 0x70, 0xA0));
    EXPECT_EQ(t[1].selector, 4);
    EXPECT_THAT(t[1].data, ElementsAre(3, 0x7A, 0x34, 0x12));

    scopesim::clearRequestLog();
    EXPECT_EQ(bv.writeReg(unit, BV_MODE_A8D8, 0x00, 0x20, &value), 0);
    t = transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].selector, 3);
    EXPECT_EQ(t[1].data[2], 0x34);
    EXPECT_EQ(scopesim::busRegister(kScope, 0x00, 0x20), 0x34);

    uint16_t status = 0xFFFF;
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A8D8, 0xDC, 0x00, &status), 0);
    EXPECT_EQ(status, scopesim::busRegister(kScope, 0xDC, 0x00).value_or(0xFFFF) & 0xFF);
    EXPECT_LE(status, 0xFF);

    scopesim::clearRequestLog();
    uint16_t v = 0x5555;
    EXPECT_EQ(bv.readReg(unit, 4, 0x7A, 0, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(bv.writeReg(unit, 4, 0x7A, 0, &value), 0);
    EXPECT_TRUE(scopesim::requestLog().empty()) << "mode 4 sends nothing";
}

TEST_F(Rig, EepromAddressGoesLowByteFirst)
{
    ASSERT_EQ(open(), 0);
    scopesim::clearRequestLog();
    uint8_t out[16];
    EXPECT_EQ(bv.readEeprom(unit, 0x0123, out), 0);
    auto t = transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_THAT(t[0].data, ElementsAre(3, 0xA0, 0x23, 0x01));
    EXPECT_EQ(t[1].selector, 5);
    EXPECT_EQ(t[1].data.size(), 18u);
}

TEST_F(Rig, WithoutTheBlockControlEepromGivesOneAfterThePreparation)
{
    ASSERT_TRUE(scopesim::setControlAbsent(kScope, 5, true));
    ASSERT_EQ(open(), 0);
    ASSERT_NE(unit, nullptr);
    scopesim::clearRequestLog();
    uint8_t block[16] = {};
    EXPECT_EQ(bv.readEeprom(unit, 0, block), 1);
    EXPECT_TRUE(transfers().empty());
    EXPECT_EQ(bv.writeEeprom(unit, 0, block), 1);
    auto t = transfers();
    ASSERT_EQ(t.size(), 8u);
    std::vector<int> selectors;
    for (auto& r : t)
        selectors.push_back(r.selector);
    EXPECT_THAT(selectors, ElementsAre(1, 3, 1, 3, 1, 3, 1, 3));
    EXPECT_EQ(t[1].data[1], 0x00) << "the bridge's own registers";
    EXPECT_EQ(t[4].data[2], 0x06);
}

TEST_F(Rig, SelectorOneMissingOnTheUnitsOwnNodeOnlyDisablesEightBitAddresses)
{
    ASSERT_TRUE(scopesim::setControlAbsent(kScope, 1, true));
    ASSERT_EQ(open(), 0) << "the unit sits at node 4, so selector 1 is not required";
    uint16_t v = 0xAAAA;
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A8D8, 0xDC, 0, &v), 1);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A16D16, 0x7A, 0, &v), 0);
}

TEST_F(Rig, WildcardAndExactSearchReportTheIdsTheyExamined)
{
    EXPECT_EQ(bv.initialize(&filter, &unit, -1, 0x1234, &foundPid, &foundVid), 0);
    EXPECT_EQ(foundVid, 0x05E3) << "pid -1 makes it the default search";
    bv.release(&filter, &unit);
    foundPid = foundVid = 0;
    EXPECT_EQ(bv.initialize(&filter, &unit, 0x0001, 0x05E3, &foundPid, &foundVid), BV_E_FAIL);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(foundPid, 0x0510) << "the last device examined";
    EXPECT_EQ(foundVid, 0x05E3);
}

TEST_F(Rig, NullOutPointersAndReleaseOfEmptyPairs)
{
    EXPECT_EQ(bv.initialize(nullptr, &unit, -1, -1, nullptr, nullptr), BV_E_INVALIDARG);
    EXPECT_EQ(bv.initialize(&filter, nullptr, -1, -1, nullptr, nullptr), BV_E_INVALIDARG);
    EXPECT_NE(filter, nullptr);
    bv.release(&filter, &unit);
    EXPECT_EQ(filter, nullptr);
    BVUnit* stale = reinterpret_cast<BVUnit*>(0x20);
    bv.release(&filter, &stale);
    EXPECT_EQ(stale, reinterpret_cast<BVUnit*>(0x20)) << "no holder: the unit is left alone";
    uint16_t v;
    EXPECT_EQ(bv.readReg(nullptr, 0, 0x7A, 0, &v), BV_E_INVALIDARG);
}

TEST_F(Rig, StalledDeviceTimesOutAfterOneSecondAndAnswersAgainLater)
{
    ASSERT_EQ(open(), 0);
    ASSERT_TRUE(scopesim::stall(kScope, 2500));
    uint16_t v = 0x1111;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A16D16, 0x7A, 0, &v), BV_E_FAIL);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(4000));
    EXPECT_EQ(v, 0);
    scopesim::wait(2500);
    EXPECT_EQ(bv.readReg(unit, BV_MODE_A16D16, 0x7A, 0, &v), 0)
        << "a failed transfer leaves the unit usable";
    EXPECT_NE(v, 0xFFFF);
}

TEST_F(Rig, UnpluggedScopeIsNotFound)
{
    ASSERT_TRUE(scopesim::plug(kScope, false));
    EXPECT_EQ(open(), BV_E_FAIL);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(foundVid, 0x2A3C) << "only the webcam was examined";
}

} // namespace
