// The scope's unit with the real library on the simulated scope, without a window: what reaches
// the devices behind the bridge for each poll, camera button, command and call, and what the
// unit makes of it, also while the unit stalls.
#include "app/data_files.h"
#include "devctl/orvex_io_control_box.h"
#include "devctl/scope_unit.h"
#include "support/log_capture.h"
#include "support/rig_session.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "unit/devctl/scope_bus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{

using scopesim::Button;
using namespace scopebus;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kLibrary = ORVEX_BINARY_DIR "/libBravik.so";

class UnitOnRig : public ::testing::Test
{
protected:
    void TearDown() override
    {
        unit.reset();
        rig.reset();
    }
    // The unit's calls end within this on any machine while it answers: tests of an answering
    // unit look at its traffic right after each call. Tests of a stalled unit give the
    // box's own wait.
    static constexpr std::chrono::milliseconds kAnswerWait{10000};
    void startRig(const std::string& scenario = {})
    {
        rig = std::make_unique<RigSession>(scenario);
    }
    // The edges count into presses, releases and records.
    void makeUnit(std::chrono::milliseconds answerWait = kAnswerWait,
                  const std::string& library = kLibrary)
    {
        ScopeUnit::ButtonEdges e;
        e.snapshotPress = [this] { edges.push_back("snapshot down"); };
        e.snapshotRelease = [this] { edges.push_back("snapshot up"); };
        e.recordPress = [this] { edges.push_back("record"); };
        unit = std::make_unique<ScopeUnit>(library, answerWait, std::move(e));
        unit->onOpened([this] { ++opened; });
        unit->open();
    }
    void openUnit(std::chrono::milliseconds answerWait = kAnswerWait)
    {
        if (!rig)
            startRig();
        makeUnit(answerWait);
        ASSERT_NE(unit->unit(), nullptr);
        bus();
    }
    bool present() { return unit->poll(true).present; }
    // The level the camera's own buttons would leave, seen by one poll.
    void levelAtCamera(int level)
    {
        unit->writeRegister(BV_MODE_A8D8, 0xDC, 0x00, static_cast<uint16_t>(level));
        unit->poll(true);
        bus();
    }
    void advance(uint32_t ms) { rig->clock->advance(ms); }
    // What the log got since the last call.
    std::string newLog() { return m_log.newText(); }

    std::unique_ptr<RigSession> rig;
    std::unique_ptr<ScopeUnit> unit;
    std::vector<std::string> edges;
    int opened = 0;

private:
    LogCapture m_log;
};

TEST_F(UnitOnRig, OpeningTakesTheControllersLevelAndWritesItBack)
{
    startRig();
    scopesim::clearRequestLog();
    makeUnit();
    ASSERT_NE(unit->unit(), nullptr);
    EXPECT_THAT(bus(), ElementsAre(rd(0xDC, 0x00, 8), wr(0xDC, 0x00, 8)));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(unit->ledLevel(), 8);
    EXPECT_FALSE(unit->wantsTicks());
}

TEST_F(UnitOnRig, ButtonEdgesAndWhatAPollReads)
{
    openUnit();
    press(Button::Snapshot, 300);
    EXPECT_TRUE(present());
    EXPECT_THAT(edges, ElementsAre("snapshot down"));
    advance(100);
    EXPECT_TRUE(present()); // still held: nothing new
    advance(250);
    EXPECT_TRUE(present());
    EXPECT_THAT(edges, ElementsAre("snapshot down", "snapshot up"));

    edges.clear();
    press(Button::Record);
    unit->poll(true);
    unit->poll(true);
    EXPECT_THAT(edges, ElementsAre("record"));
    advance(150);
    unit->poll(true);
    bus();

    // Without the buttons the look ends at the tube, and a held button goes unseen.
    press(Button::Record);
    EXPECT_TRUE(unit->poll(false).present);
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10)));
    EXPECT_THAT(edges, ElementsAre("record"));
}

TEST_F(UnitOnRig, LedButtonsOnTheCamera)
{
    openUnit();
    levelAtCamera(4);
    press(Button::LedUp); // the controller steps itself to 5: status 0x35
    ScopeUnit::PollStatus s = unit->poll(true);
    EXPECT_TRUE(s.levelChanged);
    EXPECT_EQ(unit->ledLevel(), 6);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x46, 0)));
    s = unit->poll(true); // it answers 6: the command is settled
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x00, 0x36)));
    EXPECT_TRUE(s.iconsChanged) << "the switch is shown off";
    EXPECT_EQ(scopeNow().ledLevel, 6);
    EXPECT_FALSE(unit->poll(true).levelChanged);

    advance(150);
    unit->poll(true);
    press(Button::LedDown);
    EXPECT_TRUE(unit->poll(true).levelChanged);
    EXPECT_EQ(unit->ledLevel(), 4);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x44, 0)));
}

TEST_F(UnitOnRig, SwitchBoostAndLevelWriteTheirRegisters)
{
    openUnit();
    levelAtCamera(7);
    unit->toggleLedSwitch();
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x67, 0)));
    EXPECT_TRUE(scopeNow().ledSwitch);
    unit->toggleLedSwitch();
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x47, 0)));

    unit->toggleBoost();
    EXPECT_THAT(bus(true), ElementsAre(wr(0x7A, 0xA070, 0x017A)));
    EXPECT_TRUE(scopeNow().boost);
    unit->toggleBoost();
    EXPECT_THAT(bus(true), ElementsAre(wr(0x7A, 0xA070, 0x002A)));
    EXPECT_FALSE(scopeNow().boost);

    // Clamped at both ends, sent all the same.
    levelAtCamera(15);
    unit->stepLed(+1);
    EXPECT_EQ(unit->ledLevel(), 15);
    levelAtCamera(0);
    unit->stepLed(-1);
    EXPECT_EQ(unit->ledLevel(), 0);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x40, 0)));
}

TEST_F(UnitOnRig, TubeOutAndBackIn)
{
    openUnit();
    unit->toggleBoost();
    unit->toggleLedSwitch();
    bus();
    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_TRUE(unit->poll(true).levelChanged);
    EXPECT_FALSE(present());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF), rd(0x7A, 0x0000, 0xFFFF)));
    EXPECT_EQ(unit->ledLevel(), 0);
    EXPECT_TRUE(unit->tubeAbsent());

    ASSERT_TRUE(scopesim::setTube(kScope, true));
    const ScopeUnit::PollStatus s = unit->poll(true);
    EXPECT_TRUE(s.present);
    EXPECT_TRUE(s.iconsChanged);
    EXPECT_TRUE(s.levelChanged);
    EXPECT_FALSE(unit->ledSwitch());
    EXPECT_FALSE(unit->boost());
    EXPECT_EQ(unit->ledLevel(), scopeNow().ledLevel); // the controller's level, adopted again
}

TEST_F(UnitOnRig, ColourBarsTellTheScopeFromTheWebcam)
{
    openUnit();
    const auto inputs = scopesim::videoInputs();
    ASSERT_EQ(inputs.size(), 2u);
    const uint64_t before = rig->clock->elapsed();
    ASSERT_TRUE(unit->checkKelmo(false));
    EXPECT_EQ(rig->clock->elapsed() - before, 30u);
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10), wr(0x7A, 0x8400, 0x16)));
    EXPECT_EQ(newLog(), "IOControlBox checkKelmo() wData=0x5a10\n");
    cv::Mat webcam, scopeFrame;
    ASSERT_TRUE(scopesim::setFrameSize(inputs[0].id, 640, 480));
    ASSERT_TRUE(scopesim::grabFrame(inputs[0].id, webcam));
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(webcam));
    EXPECT_TRUE(COrvexIOControlBox::isKelmo(scopeFrame.data));

    EXPECT_TRUE(unit->checkKelmo(true));
    EXPECT_THAT(bus(), ElementsAre(wr(0x7A, 0x8400, 0x02)));
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(COrvexIOControlBox::isKelmo(scopeFrame));

    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_FALSE(unit->checkKelmo(false));
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF)));
    EXPECT_FALSE(scopeNow().testPicture);
}

TEST_F(UnitOnRig, UnplugClosesReplugOpensQuitLeavesTheReportedLevel)
{
    openUnit();
    ASSERT_TRUE(scopesim::plug(kScope, false));
    unit->close();
    EXPECT_FALSE(present());
    unit->open(); // another device's arrival while the scope is away
    EXPECT_EQ(unit->unit(), nullptr);
    EXPECT_FALSE(unit->wantsTicks()) << "a scope that is not there is not retried";
    EXPECT_THAT(bus(), IsEmpty());

    ASSERT_TRUE(scopesim::plug(kScope, true));
    unit->open();
    ASSERT_NE(unit->unit(), nullptr);
    EXPECT_EQ(opened, 2);
    levelAtCamera(3);
    unit->stepLed(+1); // commanded, not yet reported
    bus();
    unit.reset();
    EXPECT_THAT(bus(), ElementsAre(wr(0xDC, 0x00, 3)));
    EXPECT_EQ(scopeNow().ledLevel, 3);
}

TEST_F(UnitOnRig, NoLibraryLeavesTheScopeAlone)
{
    startRig();
    TempDir empty;
    scopesim::clearRequestLog();
    makeUnit(kAnswerWait, empty.str() + "/libBravik.so");
    EXPECT_FALSE(unit->libraryLoaded());
    EXPECT_FALSE(present());
    unit->toggleBoost();
    EXPECT_FALSE(unit->checkKelmo(false));
    unit.reset();
    EXPECT_THAT(scopesim::requestLog(), IsEmpty());
    EXPECT_EQ(newLog(), "IOControlBox checkKelmo() m_pEEPXU=NULL\n");
}

// A unit that stops answering is asked once, not once per look or command; the calls return
// meanwhile, and the latest command reaches the camera when it answers again.
TEST_F(UnitOnRig, StalledUnitIsAskedOnceAndGetsTheLatestCommandLater)
{
    openUnit(BoxChannel::kWait);
    levelAtCamera(3);
    newLog();
    ASSERT_TRUE(scopesim::stall(kScope, 3600000));
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(present()) << "the last answer holds";
        unit->stepLed(+1);
    }
    EXPECT_EQ(unit->ledLevel(), 15);
    // Bravik gives up on the request after its own time-out; the next look sees it.
    ASSERT_TRUE(e2e::waitFor([&] { return present() && unit->unitSilent(); }, 10000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox poll() the extension unit does not answer"));
    EXPECT_TRUE(present());

    ASSERT_TRUE(scopesim::stall(kScope, 0));
    ASSERT_TRUE(e2e::waitFor([&] { return present(), !unit->unitSilent(); }, 10000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox the extension unit answers again"));
    ASSERT_TRUE(e2e::waitFor([&] { return present(), scopeNow().ledLevel == 15; }, 3000));
    const auto writes = bus(true);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), wr(0xDC, 0x4F, 0)), 1);
    for (const Access& a : writes)
        EXPECT_FALSE(a.device == 0xDC && (a.address & 0xF0) == 0x40 && a.address != 0x4F) << a;
}

// A scope whose unit does not answer at plug-in is not taken as opened, says so in the log,
// and is opened again on the ticks about once a second until it answers; then the camera
// search is asked to run again, once.
TEST_F(UnitOnRig, UnitStalledAtPlugInIsRetriedUntilItAnswers)
{
    startRig("scope \"" + kScope + "\" tube in stalled 60000\n");
    int answered = 0;
    makeUnit(BoxChannel::kWait);
    unit->onUnitAnswers([&] { ++answered; });
    EXPECT_FALSE(present());
    EXPECT_TRUE(unit->wantsTicks());
    ASSERT_TRUE(e2e::waitFor([&] { return unit->tick(), unit->unitSilent(); }, 20000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox open() the extension unit does not answer"));
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(answered, 0);

    advance(60000); // the stall ends
    ASSERT_TRUE(e2e::waitFor([&] { return unit->tick(), answered > 0; }, 20000));
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(opened, 1);
    ASSERT_NE(unit->unit(), nullptr);
    EXPECT_FALSE(unit->wantsTicks());
    EXPECT_EQ(unit->ledLevel(), 8);
    EXPECT_TRUE(present());
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox the extension unit answers again"));
}

// Quitting while the unit stalls does not wait for the driver's time-out.
TEST_F(UnitOnRig, QuitWhileTheUnitStallsLeavesItsRequestsBehind)
{
    openUnit(BoxChannel::kWait);
    ASSERT_TRUE(scopesim::stall(kScope, 3600000));
    unit->poll(true);
    newLog();
    unit.reset();
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox quit: the extension unit does not answer"));
    ASSERT_TRUE(scopesim::stall(kScope, 0)); // lets the left-behind request end
}

} // namespace
