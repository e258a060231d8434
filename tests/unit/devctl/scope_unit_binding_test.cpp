// The unit's use of the library, seen from a stand-in: the order of its calls from start to
// quit, exact status sequences, failed reads, and installs that are absent or damaged.
#include "app/data_files.h"
#include "devctl/scope_unit.h"
#include "fake_bravik_host.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class UnitBinding : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake() = fakebravik::Host();
        script(0x7A, 0x0000, {0x5A10});
    }
    void TearDown() override { unit.reset(); }
    static fakebravik::Host& fake() { return fakebravik::host(); }
    static std::string variant(const char* name)
    {
        return std::string(FAKE_BRAVIK_DIR) + "/" + name + "/libBravik.so";
    }
    static void script(int device, int address, std::initializer_list<uint16_t> values)
    {
        fake().reads[{device, address}] = values;
    }
    // The stand-in answers at once: a long wait keeps every call's traffic in view right
    // after it.
    void makeUnit(const std::string& library = variant("full"))
    {
        unit = std::make_unique<ScopeUnit>(library, std::chrono::milliseconds(10000));
        unit->onOpened([this] { ++opened; });
        unit->open();
    }
    // Calls since the last look, optionally only those starting with prefix.
    std::vector<std::string> calls(const std::string& prefix = "")
    {
        std::vector<std::string> out;
        for (size_t i = m_seen; i < fake().calls.size(); ++i)
            if (fake().calls[i].rfind(prefix, 0) == 0)
                out.push_back(fake().calls[i]);
        m_seen = fake().calls.size();
        return out;
    }
    // What the log got since the last call.
    std::string newLog() { return m_log.newText(); }

    std::unique_ptr<ScopeUnit> unit;
    int opened = 0;

private:
    LogCapture m_log;
    size_t m_seen = 0;
};

TEST_F(UnitBinding, StartAndQuitCallTheLibraryInOrder)
{
    script(0xDC, 0x00, {0x07, 0x03});
    makeUnit();
    EXPECT_THAT(calls(), ElementsAre("InitializeCOM(2)", "UVCRelease(null,null)",
                                     "UVCInitialize(0x510,0x5e3)", "ReadReg(3,0xdc,0x0)",
                                     "WriteReg(3,0xdc,0x0,0x7)"));
    ASSERT_NE(unit->unit(), nullptr);
    EXPECT_EQ(unit->ledLevel(), 7);
    EXPECT_EQ(opened, 1);
    EXPECT_NE(unit->api().writeEeprom, nullptr);

    EXPECT_TRUE(unit->poll(true).present); // the controller now reports 3: that is what quit leaves
    calls();
    unit.reset();
    EXPECT_THAT(calls(), ElementsAre("WriteReg(3,0xdc,0x0,0x3)", "UVCRelease(holder,unit)",
                                     "UninitializeCOM", "unload"));
    for (auto& c : fake().calls)
        EXPECT_THAT(c, ::testing::Not(HasSubstr("EEPCont")));
}

TEST_F(UnitBinding, WithoutCameraNothingIsReadAndTheHolderIsStillReleased)
{
    fake().hasCamera = false;
    makeUnit();
    EXPECT_EQ(opened, 0);
    EXPECT_FALSE(unit->poll(true).present);
    unit->stepLed(+1);
    unit->toggleBoost();
    EXPECT_EQ(unit->ledLevel(), 1);
    EXPECT_TRUE(unit->boost());
    EXPECT_FALSE(unit->checkKelmo(false));
    // A device found whose unit failed with the library's time-out is taken for a stalled
    // one: it is opened again about once a second.
    EXPECT_EQ(newLog(), "IOControlBox open() the extension unit does not answer\n"
                        "IOControlBox checkKelmo() m_pEEPXU=NULL\n");
    EXPECT_TRUE(unit->unitSilent());
    EXPECT_TRUE(unit->wantsTicks());
    EXPECT_THAT(calls("ReadReg"), IsEmpty());
    unit.reset();
    EXPECT_THAT(calls(), ElementsAre("UVCRelease(holder,null)", "UninitializeCOM", "unload"));
}

TEST_F(UnitBinding, StatusFourThenThirtyFiveThenThirtyFive)
{
    script(0xDC, 0x00, {0x00, 0x04, 0x35, 0x35, 0x35, 0x36});
    makeUnit();
    calls();
    EXPECT_TRUE(unit->poll(true).levelChanged);
    EXPECT_EQ(unit->ledLevel(), 4);
    EXPECT_TRUE(unit->poll(true).present); // 5 adopted, then LED up: 6 and its command
    EXPECT_EQ(unit->ledLevel(), 6);
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x46,0x0)"));
    EXPECT_FALSE(unit->poll(true).levelChanged);
    EXPECT_EQ(unit->ledLevel(), 6);
    EXPECT_THAT(calls("WriteReg"), IsEmpty());

    // A pending command is answered by the next change of level: status written back,
    // switch shown off.
    unit->toggleLedSwitch();
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x66,0x0)"));
    unit->poll(true);
    EXPECT_TRUE(unit->poll(true).iconsChanged);
    EXPECT_THAT(calls("WriteReg"), ElementsAre("WriteReg(3,0xdc,0x0,0x36)"));
    EXPECT_FALSE(unit->levelPending());
    EXPECT_FALSE(unit->ledSwitch());
}

// A failed read is a unit that did not answer, not a zero: the last answer holds (the level
// is not dropped, no button is seen, the colour bars are not asked for) until it answers.
TEST_F(UnitBinding, FailedReadsKeepTheLastAnswer)
{
    script(0xDC, 0x00, {0x09});
    makeUnit();
    fake().reads.clear();
    calls();
    EXPECT_TRUE(unit->poll(true).present);
    EXPECT_EQ(unit->ledLevel(), 9);
    EXPECT_TRUE(unit->unitSilent());
    EXPECT_FALSE(unit->checkKelmo(false));
    EXPECT_EQ(newLog(), "IOControlBox poll() the extension unit does not answer\n"
                        "IOControlBox checkKelmo() the extension unit does not answer\n");
    EXPECT_THAT(calls("WriteReg"), IsEmpty());
    EXPECT_THAT(calls("ReadReg"), IsEmpty()) << "nothing more is asked during the back-off";
}

TEST_F(UnitBinding, AbsentOrDamagedLibraries)
{
    TempDir empty, junk;
    junk.write("libBravik.so", "not a shared object");
    for (const TempDir* dir : {&empty, &junk}) {
        makeUnit(dir->str() + "/libBravik.so");
        EXPECT_FALSE(unit->libraryLoaded());
        EXPECT_FALSE(unit->poll(true).present);
        unit.reset();
    }
    EXPECT_THAT(fake().calls, IsEmpty());
    EXPECT_EQ(newLog(), "IOControlBox load() " + junk.str() + "/libBravik.so not loadable\n");

    script(0xDC, 0x00, {0x04});
    makeUnit(variant("no_write"));
    EXPECT_EQ(newLog(), "IOControlBox load() BV_UvcWriteReg missing\n");
    ASSERT_NE(unit->unit(), nullptr);
    unit->stepLed(+1);
    unit->toggleBoost();
    EXPECT_TRUE(unit->checkKelmo(false));
    EXPECT_TRUE(unit->poll(true).present);
    EXPECT_EQ(unit->ledLevel(), 5); // shown, though never sent
    calls();
    unit.reset();
    EXPECT_THAT(calls(), ElementsAre("UVCRelease(holder,unit)", "UninitializeCOM", "unload"));

    // A unit that could never be released is never made.
    makeUnit(variant("no_release"));
    unit->open();
    EXPECT_EQ(unit->unit(), nullptr);
    unit.reset();
    EXPECT_THAT(calls(), ElementsAre("InitializeCOM(2)", "UninitializeCOM", "unload"));
}

} // namespace
