// The box with the real library on the simulated scope: what reaches the devices behind the
// bridge for each poll, camera button, click and call, and what the box makes of it.
#include "box_fixture.h"

#include "support/temp_dir.h"

#include <scopesim/rig.h>

#include <algorithm>

using namespace devctltest;
using scopesim::Button;
using ::testing::HasSubstr;

namespace
{

const std::string kScope = "USB Inspection Camera";

struct Access {
    bool write;
    int device, address, value;
    bool operator==(const Access&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Access& a)
{
    return os << (a.write ? "write " : "read ") << std::hex << a.device << "/" << a.address << "="
              << a.value;
}
Access rd(int device, int address, int value)
{
    return {false, device, address, value};
}
Access wr(int device, int address, int value)
{
    return {true, device, address, value};
}

class OnRig : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        scopesim::setTimeSource([] { return platform::clock().tickCount(); },
                                [](uint32_t ms) { platform::clock().sleep(ms); });
        ASSERT_TRUE(scopesim::startDefault());
    }
    void TearDown() override
    {
        BoxTest::TearDown();
        scopesim::stop();
        scopesim::setTimeSource({}, {});
    }
    void openBox(std::chrono::milliseconds answerWait = kAnswerWait)
    {
        makeBox(answerWait);
        ASSERT_NE(box->unit(), nullptr);
        box->layout(0, 0, 652, 108);
        bus();
    }
    // Bus transfers since the last look; only the writes when asked.
    std::vector<Access> bus(bool writesOnly = false)
    {
        std::vector<Access> out;
        for (auto& a : scopesim::busLog())
            if (a.write || !writesOnly)
                out.push_back({a.write, a.device, a.address, a.value});
        scopesim::clearRequestLog();
        return out;
    }
    scopesim::ScopeState scope() { return scopesim::scopeState(kScope).value(); }
    void press(Button b, uint32_t holdMs = 100)
    {
        ASSERT_TRUE(scopesim::pressButton(kScope, b, holdMs));
    }
    // The level the camera's own buttons would leave, seen by one poll.
    void levelAtCamera(int level)
    {
        box->writeRegister(BV_MODE_A8D8, 0xDC, 0x00, static_cast<uint16_t>(level));
        box->poll();
        bus();
    }
};

TEST_F(OnRig, OpeningTakesTheControllersLevelAndWritesItBack)
{
    scopesim::clearRequestLog();
    makeBox();
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_THAT(bus(), ElementsAre(rd(0xDC, 0x00, 8), wr(0xDC, 0x00, 8)));
    EXPECT_TRUE(allShown(true));
    box->layout(0, 0, 652, 108);
    EXPECT_EQ(litSegments(), 8);
}

TEST_F(OnRig, SnapshotButtonPressAndRelease)
{
    openBox();
    press(Button::Snapshot, 300);
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(g_ButtonSource, 2);
    clock->advance(100);
    EXPECT_TRUE(box->poll()); // still held: nothing new
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2));
    EXPECT_TRUE(g_Freeze);
    clock->advance(250);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2));
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_FALSE(g_Freeze);

    // While recording the press does nothing and the release snaps once.
    g_VideoWriter = std::make_unique<cv::VideoWriter>();
    press(Button::Snapshot, 100);
    box->poll();
    EXPECT_EQ(g_ButtonSource, 0);
    clock->advance(150);
    box->poll();
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2, 0));
    EXPECT_EQ(probe->records, 0);
}

TEST_F(OnRig, RecordButtonOnlyWhileNoSnapshotTriggerIsHeld)
{
    openBox();
    press(Button::Record);
    box->poll();
    box->poll();
    EXPECT_EQ(probe->records, 1);
    clock->advance(150);
    box->poll();
    bus();

    g_ButtonSource = 1; // the on-screen snapshot button: the poll ends before the status
    press(Button::Record);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10)));
    g_ButtonSource = 2; // the camera's own snapshot: seen, refused
    box->poll();
    EXPECT_EQ(probe->records, 1);
}

TEST_F(OnRig, LedButtonsOnTheCamera)
{
    openBox();
    levelAtCamera(4);
    press(Button::LedUp); // the controller steps itself to 5: status 0x35
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x46, 0)));
    EXPECT_TRUE(box->poll()); // it answers 6: the command is settled
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x00, 0x36)));
    EXPECT_EQ(scope().ledLevel, 6);

    clock->advance(150);
    box->poll();
    press(Button::LedDown);
    box->poll();
    EXPECT_EQ(box->ledLevel(), 4);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x44, 0)));
    EXPECT_EQ(litSegments(), 4);
}

TEST_F(OnRig, SwitchBoostAndLevelWriteTheirRegisters)
{
    openBox();
    levelAtCamera(7);
    box->toggleLedSwitch();
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x67, 0)));
    EXPECT_TRUE(scope().ledSwitch);
    EXPECT_TRUE(showsClick(Box::LedSwitch));
    box->toggleLedSwitch();
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x47, 0)));
    EXPECT_FALSE(showsClick(Box::LedSwitch));

    box->toggleBoost();
    EXPECT_THAT(bus(true), ElementsAre(wr(0x7A, 0xA070, 0x017A)));
    EXPECT_TRUE(scope().boost);
    EXPECT_TRUE(showsClick(Box::Boost));
    box->toggleBoost();
    EXPECT_THAT(bus(true), ElementsAre(wr(0x7A, 0xA070, 0x002A)));
    EXPECT_FALSE(scope().boost);

    // Clamped at both ends, sent all the same.
    levelAtCamera(15);
    box->stepLed(+1);
    EXPECT_EQ(box->ledLevel(), 15);
    levelAtCamera(0);
    box->stepLed(-1);
    EXPECT_EQ(box->ledLevel(), 0);
    EXPECT_THAT(bus(true), ElementsAre(wr(0xDC, 0x40, 0)));
}

TEST_F(OnRig, ColourBarsTellTheScopeFromTheWebcam)
{
    openBox();
    const auto inputs = scopesim::videoInputs();
    ASSERT_EQ(inputs.size(), 2u);
    const uint64_t before = clock->elapsed();
    ASSERT_TRUE(box->checkKelmo(false));
    EXPECT_EQ(clock->elapsed() - before, 30u);
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10), wr(0x7A, 0x8400, 0x16)));
    EXPECT_EQ(newLog(), "IOControlBox checkKelmo() wData=0x5a10\n");
    cv::Mat webcam, scopeFrame;
    ASSERT_TRUE(scopesim::setFrameSize(inputs[0].id, 640, 480));
    ASSERT_TRUE(scopesim::grabFrame(inputs[0].id, webcam));
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(Box::isKelmo(webcam));
    EXPECT_TRUE(Box::isKelmo(scopeFrame.data));

    EXPECT_TRUE(box->checkKelmo(true));
    EXPECT_THAT(bus(), ElementsAre(wr(0x7A, 0x8400, 0x02)));
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(Box::isKelmo(scopeFrame));

    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_FALSE(box->checkKelmo(false));
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF)));
    EXPECT_FALSE(scope().testPicture);
}

TEST_F(OnRig, TubeOutAndBackIn)
{
    openBox();
    box->toggleBoost();
    box->toggleLedSwitch();
    bus();
    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_FALSE(box->poll());
    EXPECT_FALSE(box->poll());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF), rd(0x7A, 0x0000, 0xFFFF)));
    EXPECT_EQ(box->ledLevel(), 0);
    EXPECT_EQ(litSegments(), 0);

    ASSERT_TRUE(scopesim::setTube(kScope, true));
    EXPECT_TRUE(box->poll());
    EXPECT_FALSE(box->ledSwitch());
    EXPECT_FALSE(box->boost());
    EXPECT_FALSE(showsClick(Box::Boost));
    EXPECT_FALSE(showsClick(Box::LedSwitch));
    EXPECT_EQ(litSegments(), scope().ledLevel); // the controller's level, adopted again
}

TEST_F(OnRig, UnplugClosesReplugOpensQuitLeavesTheReportedLevel)
{
    openBox();
    ASSERT_TRUE(scopesim::plug(kScope, false));
    box->close();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->open(); // another device's arrival while the scope is away
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_THAT(bus(), IsEmpty());

    ASSERT_TRUE(scopesim::plug(kScope, true));
    box->open();
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_TRUE(allShown(true));
    levelAtCamera(3);
    box->stepLed(+1); // commanded, not yet reported
    bus();
    destroyBox();
    EXPECT_THAT(bus(), ElementsAre(wr(0xDC, 0x00, 3)));
    EXPECT_EQ(scope().ledLevel, 3);
}

TEST_F(OnRig, NoLibraryBesideTheProgramLeavesTheScopeAlone)
{
    TempDir empty;
    g_ProgramDir = empty.str();
    scopesim::clearRequestLog();
    makeBox();
    box->showControls();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->toggleBoost();
    EXPECT_FALSE(box->checkKelmo(false));
    destroyBox();
    EXPECT_THAT(scopesim::requestLog(), IsEmpty());
}

TEST_F(OnRig, ClicksOnTheControls)
{
    openBox();
    box->layout(40, 60, 652, 108);
    levelAtCamera(5);
    ASSERT_TRUE(pumpUntil([&] { return box->control(Box::LedSwitch)->IsShownOnScreen(); }));
    pumpEvents(100);

    auto click = [&](Box::Control c, const std::function<bool()>& done) {
        ASSERT_TRUE(clickOnWindow(box->control(c)));
        EXPECT_TRUE(pumpUntil(done)) << c;
    };
    click(Box::LedUp, [&] { return scope().ledLevel == 6; });
    click(Box::LedDown, [&] { return scope().ledLevel == 5; });
    click(Box::Boost, [&] { return scope().boost; });
    click(Box::Rotate, [&] { return g_Rotation == 1; });
    click(Box::LedSwitch, [&] { return scope().ledSwitch; });
    bus();
    ASSERT_TRUE(clickOnWindow(box->control(Box::LevelBar))); // no button
    pumpEvents(100);
    EXPECT_THAT(bus(true), IsEmpty());
    EXPECT_EQ(box->rotation(), 1);
}

// A unit that stops answering is asked once, not once per look or click; the window's calls
// return meanwhile, and the latest command reaches the camera when it answers again.
TEST_F(OnRig, StalledUnitIsAskedOnceAndGetsTheLatestCommandLater)
{
    openBox(BoxChannel::kWait);
    levelAtCamera(3);
    newLog();
    ASSERT_TRUE(scopesim::stall(kScope, 3600000));
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(box->poll()) << "the last answer holds";
        box->stepLed(+1);
    }
    EXPECT_EQ(box->ledLevel(), 15);
    EXPECT_EQ(litSegments(), 15);
    // Bravik gives up on the request after its own time-out; the next look sees it.
    ASSERT_TRUE(pumpUntil([&] { return box->poll() && box->unitSilent(); }, 10000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox poll() the extension unit does not answer"));
    EXPECT_TRUE(box->poll());

    ASSERT_TRUE(scopesim::stall(kScope, 0));
    ASSERT_TRUE(pumpUntil([&] { return box->poll(), !box->unitSilent(); }, 10000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox the extension unit answers again"));
    ASSERT_TRUE(pumpUntil([&] { return box->poll(), scope().ledLevel == 15; }, 3000));
    const auto writes = bus(true);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), wr(0xDC, 0x4F, 0)), 1);
    for (const Access& a : writes)
        EXPECT_FALSE(a.device == 0xDC && (a.address & 0xF0) == 0x40 && a.address != 0x4F) << a;
}

// A scope whose unit does not answer at plug-in shows no controls, says so in the log, and is
// opened again about once a second until it answers; then the box asks for a new look.
TEST_F(OnRig, UnitStalledAtPlugInIsRetriedUntilItAnswers)
{
    scopesim::stop();
    ASSERT_TRUE(scopesim::startText("scope \"" + kScope + "\" tube in stalled 60000\n", "<test>"));
    int answered = 0;
    newLog();
    makeBox(BoxChannel::kWait);
    box->onUnitAnswers([&] { ++answered; });
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    ASSERT_TRUE(pumpUntil([&] { return box->unitSilent(); }, 20000));
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox open() the extension unit does not answer"));
    EXPECT_TRUE(allShown(false));
    EXPECT_EQ(answered, 0);

    clock->advance(60000); // the stall ends
    ASSERT_TRUE(pumpUntil([&] { return answered > 0; }, 20000));
    EXPECT_EQ(answered, 1);
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_TRUE(allShown(true));
    EXPECT_EQ(box->ledLevel(), 8);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox the extension unit answers again"));
}

// Quitting while the unit stalls does not wait for the driver's time-out.
TEST_F(OnRig, QuitWhileTheUnitStallsLeavesItsRequestsBehind)
{
    openBox(BoxChannel::kWait);
    ASSERT_TRUE(scopesim::stall(kScope, 3600000));
    box->poll();
    newLog();
    destroyBox();
    EXPECT_THAT(newLog(), HasSubstr("IOControlBox quit: the extension unit does not answer"));
    ASSERT_TRUE(scopesim::stall(kScope, 0)); // lets the left-behind request end
}

} // namespace
