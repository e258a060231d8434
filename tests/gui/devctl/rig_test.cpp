// The box with the real library on the simulated scope: what reaches the bus devices behind
// the bridge for each poll, button, click and key, and what the box makes of the camera.
#include "box_fixture.h"

#include "support/temp_dir.h"

#include <scopesim/rig.h>

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace devctltest;
using Box = COrvexIOControlBox;

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
    // Bus transfers since the last call.
    std::vector<Access> bus()
    {
        std::vector<Access> out;
        for (auto& a : scopesim::busLog())
            out.push_back({a.write, a.device, a.address, a.value});
        scopesim::clearRequestLog();
        return out;
    }
    std::vector<Access> busWrites()
    {
        std::vector<Access> out;
        for (auto& a : bus())
            if (a.write)
                out.push_back(a);
        return out;
    }
    scopesim::ScopeState scope() { return scopesim::scopeState(kScope).value(); }
    void press(scopesim::Button b, uint32_t holdMs = 100)
    {
        ASSERT_TRUE(scopesim::pressButton(kScope, b, holdMs));
    }
    // Sets the controller's level as the camera's own buttons would leave it.
    void levelAtCamera(int level)
    {
        box->writeRegister(BV_MODE_A8D8, 0xDC, 0x00, static_cast<uint16_t>(level));
        box->poll();
        bus();
    }
    COrvexIOControlBox* openBox()
    {
        makeBox();
        EXPECT_NE(box->unit(), nullptr);
        box->layout(0, 0, 652, 108);
        bus();
        return box;
    }
};

TEST_F(OnRig, OpeningReadsTheLevelAndWritesItBack)
{
    scopesim::clearRequestLog();
    makeBox();
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_THAT(bus(), ElementsAre(rd(0xDC, 0x00, 8), wr(0xDC, 0x00, 8)));
    EXPECT_EQ(box->ledLevel(), 8);
    EXPECT_TRUE(allShown(true));
    box->layout(0, 0, 652, 108);
    EXPECT_EQ(litSegments(), 8);
}

TEST_F(OnRig, SnapshotButtonPressAndRelease)
{
    openBox();
    press(scopesim::Button::Snapshot, 300);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2));
    EXPECT_EQ(g_ButtonSource, 2);
    EXPECT_TRUE(g_Freeze);
    clock->advance(100);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2));
    clock->advance(250);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(2, 2));
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(probe->records, 0);
}

TEST_F(OnRig, SnapshotButtonWhileRecordingSnapsOnceAtRelease)
{
    openBox();
    g_VideoWriter = std::make_unique<cv::VideoWriter>();
    press(scopesim::Button::Snapshot, 100);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, IsEmpty());
    EXPECT_EQ(g_ButtonSource, 0);
    clock->advance(150);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, ElementsAre(0));
    EXPECT_FALSE(g_Freeze);
}

TEST_F(OnRig, SnapshotButtonIgnoredWhileThePictureIsFrozen)
{
    openBox();
    g_Freeze = true;
    press(scopesim::Button::Snapshot, 100);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(probe->sourceAtPress, IsEmpty());
    EXPECT_EQ(g_ButtonSource, 0);
}

TEST_F(OnRig, RecordButtonTogglesOnlyWhenNoSnapshotTriggerIsHeld)
{
    openBox();
    press(scopesim::Button::Record, 100);
    EXPECT_TRUE(box->poll());
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(probe->records, 1);
    clock->advance(150);
    EXPECT_TRUE(box->poll());

    // The on-screen snapshot button holds the trigger: the poll stops before the status.
    bus();
    g_ButtonSource = 1;
    press(scopesim::Button::Record, 100);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10)));
    EXPECT_EQ(probe->records, 1);
    // The camera's own snapshot holds it: the record press is seen but refused.
    clock->advance(150);
    g_ButtonSource = 2;
    box->poll();
    press(scopesim::Button::Record, 100);
    box->poll();
    EXPECT_EQ(probe->records, 1);
}

TEST_F(OnRig, LedButtonsOnTheCameraStepTheLevel)
{
    openBox();
    levelAtCamera(4);
    press(scopesim::Button::LedUp, 100); // the controller steps to 5 itself
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 6);
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x46, 0)));
    EXPECT_EQ(scope().ledLevel, 6);
    EXPECT_TRUE(box->poll()); // the controller now answers 6: the command is settled
    EXPECT_FALSE(box->levelPending());
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x00, 0x36)));
    EXPECT_EQ(box->ledLevel(), 6);

    clock->advance(150);
    box->poll();
    press(scopesim::Button::LedDown, 100);
    EXPECT_TRUE(box->poll());
    EXPECT_EQ(box->ledLevel(), 4);
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x44, 0)));
    EXPECT_EQ(litSegments(), 4);
}

TEST_F(OnRig, LedSwitchAtLevelSeven)
{
    openBox();
    levelAtCamera(7);
    box->toggleLedSwitch();
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x67, 0)));
    EXPECT_TRUE(scope().ledSwitch);
    EXPECT_TRUE(showsClick(Box::LedSwitch));
    box->toggleLedSwitch();
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x47, 0)));
    EXPECT_FALSE(scope().ledSwitch);
    EXPECT_TRUE(showsRelease(Box::LedSwitch));
}

TEST_F(OnRig, BoostWritesItsTwoWords)
{
    openBox();
    box->toggleBoost();
    EXPECT_THAT(busWrites(), ElementsAre(wr(0x7A, 0xA070, 0x017A)));
    EXPECT_TRUE(scope().boost);
    EXPECT_TRUE(showsClick(Box::Boost));
    box->toggleBoost();
    EXPECT_THAT(busWrites(), ElementsAre(wr(0x7A, 0xA070, 0x002A)));
    EXPECT_FALSE(scope().boost);
    EXPECT_EQ(scopesim::busRegister(kScope, 0x7A, 0xA070), 0x002A);
}

TEST_F(OnRig, StepLedClampsButStillSends)
{
    openBox();
    levelAtCamera(15);
    box->stepLed(+1);
    EXPECT_EQ(box->ledLevel(), 15);
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x4F, 0)));
    levelAtCamera(0);
    box->stepLed(-1);
    EXPECT_EQ(box->ledLevel(), 0);
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x40, 0)));
    box->stepLed(+1);
    EXPECT_THAT(busWrites(), ElementsAre(wr(0xDC, 0x41, 0)));
    EXPECT_EQ(scope().ledLevel, 1);
}

TEST_F(OnRig, ColourBarsTellTheScopeFromTheWebcam)
{
    openBox();
    clearLog();
    const auto inputs = scopesim::videoInputs();
    ASSERT_EQ(inputs.size(), 2u);
    ASSERT_TRUE(box->checkKelmo(false));
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10), wr(0x7A, 0x8400, 0x16)));
    EXPECT_TRUE(scope().testPicture);
    EXPECT_EQ(logLines("IOControlBox checkKelmo()"),
              std::vector<std::string>{"IOControlBox checkKelmo() wData=0x5a10"});
    cv::Mat webcam, scopeFrame;
    ASSERT_TRUE(scopesim::setFrameSize(inputs[0].id, 640, 480));
    ASSERT_TRUE(scopesim::grabFrame(inputs[0].id, webcam));
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(Box::isKelmo(webcam));
    ASSERT_EQ(scopeFrame.size(), cv::Size(640, 480));
    EXPECT_TRUE(Box::isKelmo(scopeFrame.data));

    EXPECT_TRUE(box->checkKelmo(true));
    EXPECT_THAT(bus(), ElementsAre(wr(0x7A, 0x8400, 0x02)));
    EXPECT_FALSE(scope().testPicture);
    ASSERT_TRUE(scopesim::grabFrame(inputs[1].id, scopeFrame));
    EXPECT_FALSE(Box::isKelmo(scopeFrame));
}

TEST_F(OnRig, TubeOutDropsTheLevelAndTubeBackClearsSwitchAndBoost)
{
    openBox();
    box->toggleBoost();
    box->toggleLedSwitch();
    EXPECT_EQ(litSegments(), 8);
    bus();
    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_FALSE(box->checkKelmo(false));
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF)));

    EXPECT_FALSE(box->poll());
    EXPECT_FALSE(box->poll());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0xFFFF), rd(0x7A, 0x0000, 0xFFFF)));
    EXPECT_TRUE(box->tubeAbsent());
    EXPECT_EQ(box->ledLevel(), 0);
    EXPECT_EQ(box->deviceLevel(), 0);
    EXPECT_EQ(litSegments(), 0);
    EXPECT_TRUE(allShown(true));

    ASSERT_TRUE(scopesim::setTube(kScope, true));
    EXPECT_TRUE(box->poll());
    EXPECT_FALSE(box->tubeAbsent());
    EXPECT_FALSE(box->ledSwitch());
    EXPECT_FALSE(box->boost());
    EXPECT_TRUE(showsRelease(Box::Boost));
    EXPECT_TRUE(showsRelease(Box::LedSwitch));
    // The controller kept its level while the tube was out; the box adopts it.
    EXPECT_EQ(box->ledLevel(), scope().ledLevel);
    EXPECT_EQ(litSegments(), scope().ledLevel);
}

TEST_F(OnRig, UnplugClosesAndReplugOpensAgain)
{
    openBox();
    ASSERT_TRUE(scopesim::plug(kScope, false));
    box->close();
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->stepLed(+1);
    box->open(); // an unrelated arrival while the scope is away
    EXPECT_EQ(box->unit(), nullptr);
    EXPECT_THAT(bus(), IsEmpty());

    ASSERT_TRUE(scopesim::plug(kScope, true));
    box->open();
    ASSERT_NE(box->unit(), nullptr);
    EXPECT_TRUE(allShown(true));
    EXPECT_TRUE(box->poll());
}

TEST_F(OnRig, QuitLeavesTheControllerAtItsLastReportedLevel)
{
    openBox();
    levelAtCamera(3);
    box->stepLed(+1); // commanded 4, not yet reported back
    bus();
    destroyBox();
    EXPECT_THAT(bus(), ElementsAre(wr(0xDC, 0x00, 3)));
    EXPECT_EQ(scope().ledLevel, 3);
}

TEST_F(OnRig, ClicksOnTheControls)
{
    openBox();
    box->layout(40, 60, 652, 108);
    levelAtCamera(5);
    ASSERT_TRUE(pumpUntil([&] { return box->control(Box::LedSwitch)->IsShownOnScreen(); }));
    pumpEvents(100);

    ASSERT_TRUE(clickOnWindow(box->control(Box::LedUp)));
    ASSERT_TRUE(pumpUntil([&] { return box->ledLevel() == 6; }));
    EXPECT_EQ(scope().ledLevel, 6);
    ASSERT_TRUE(clickOnWindow(box->control(Box::LedDown)));
    ASSERT_TRUE(pumpUntil([&] { return box->ledLevel() == 5; }));
    EXPECT_EQ(scope().ledLevel, 5);

    ASSERT_TRUE(clickOnWindow(box->control(Box::Boost)));
    ASSERT_TRUE(pumpUntil([&] { return box->boost(); }));
    EXPECT_TRUE(scope().boost);
    ASSERT_TRUE(clickOnWindow(box->control(Box::Rotate)));
    ASSERT_TRUE(pumpUntil([&] { return box->rotation() == 1; }));
    EXPECT_EQ(g_Rotation, 1);
    ASSERT_TRUE(clickOnWindow(box->control(Box::LedSwitch)));
    ASSERT_TRUE(pumpUntil([&] { return box->ledSwitch(); }));
    EXPECT_TRUE(scope().ledSwitch);
    // The level bar is no button.
    bus();
    ASSERT_TRUE(clickOnWindow(box->control(Box::LevelBar)));
    pumpEvents(100);
    EXPECT_THAT(busWrites(), IsEmpty());
    EXPECT_TRUE(box->boost());
    EXPECT_EQ(box->rotation(), 1);
}

TEST_F(OnRig, NoLibraryBesideTheProgramLeavesTheScopeUntouched)
{
    TempDir empty;
    g_ProgramDir = empty.str();
    scopesim::clearRequestLog();
    makeBox();
    EXPECT_EQ(box->unit(), nullptr);
    box->showControls();
    EXPECT_TRUE(allShown(false));
    EXPECT_FALSE(box->poll());
    box->toggleBoost();
    EXPECT_FALSE(box->checkKelmo(false));
    destroyBox();
    EXPECT_THAT(scopesim::requestLog(), IsEmpty());
}

} // namespace
