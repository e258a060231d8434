// The box with the real library on the simulated scope: what the camera's buttons do to the
// tab, what a poll's changes draw, clicks on the controls and the watch that retries a
// silent unit. The unit's own traffic is tested without a window.
#include "box_fixture.h"
#include "unit/devctl/scope_bus.h"

#include <scopesim/rig.h>

using namespace devctltest;
using namespace scopebus;
using scopesim::Button;

namespace
{

class OnRig : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        ASSERT_TRUE(scopesim::startDefault());
    }
    void TearDown() override
    {
        BoxTest::TearDown();
        scopesim::stop();
    }
    void openBox(std::chrono::milliseconds answerWait = kAnswerWait)
    {
        makeBox(answerWait);
        ASSERT_NE(box->unit(), nullptr);
        box->layout(0, 0, 652, 108);
        bus();
    }
    // The level the camera's own buttons would leave, seen by one poll.
    void levelAtCamera(int level)
    {
        box->writeRegister(BV_MODE_A8D8, 0xDC, 0x00, static_cast<uint16_t>(level));
        box->poll();
        bus();
    }
};

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

    // The on-screen snapshot button: the poll ends before the status.
    g_ButtonSource = kScreenButton;
    press(Button::Record);
    EXPECT_TRUE(box->poll());
    EXPECT_THAT(bus(), ElementsAre(rd(0x7A, 0x0000, 0x5A10)));
    g_ButtonSource = kCameraButton; // the camera's own snapshot: seen, refused
    box->poll();
    EXPECT_EQ(probe->records, 1);
}

// What a poll changes is drawn: the bar when the tube goes, the icons when it is back.
TEST_F(OnRig, TubeOutAndBackInIsDrawn)
{
    openBox();
    box->toggleBoost();
    box->toggleLedSwitch();
    ASSERT_TRUE(scopesim::setTube(kScope, false));
    EXPECT_FALSE(box->poll());
    EXPECT_EQ(litSegments(), 0);

    ASSERT_TRUE(scopesim::setTube(kScope, true));
    EXPECT_TRUE(box->poll());
    EXPECT_FALSE(showsClick(Box::Boost));
    EXPECT_FALSE(showsClick(Box::LedSwitch));
    EXPECT_EQ(litSegments(), scopeNow().ledLevel); // the controller's level, adopted again
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
    click(Box::LedUp, [&] { return scopeNow().ledLevel == 6; });
    click(Box::LedDown, [&] { return scopeNow().ledLevel == 5; });
    click(Box::Boost, [&] { return scopeNow().boost; });
    click(Box::Rotate, [&] { return g_Rotation == 1; });
    click(Box::LedSwitch, [&] { return scopeNow().ledSwitch; });
    bus();
    ASSERT_TRUE(clickOnWindow(box->control(Box::LevelBar))); // no button
    pumpEvents(100);
    EXPECT_THAT(bus(true), IsEmpty());
    EXPECT_EQ(box->rotation(), 1);
}

// The box's watch drives a unit that did not answer at plug-in: no controls until it
// answers, then the controls and one new camera search.
TEST_F(OnRig, UnitStalledAtPlugInIsRetriedByTheWatch)
{
    scopesim::stop();
    ASSERT_TRUE(scopesim::startText("scope \"" + kScope + "\" tube in stalled 60000\n", "<test>"));
    int answered = 0;
    makeBox(BoxChannel::kWait);
    box->onUnitAnswers([&] { ++answered; });
    ASSERT_TRUE(pumpUntil([&] { return box->unitSilent(); }, 20000));
    EXPECT_TRUE(allShown(false));

    clock->advance(60000); // the stall ends
    ASSERT_TRUE(pumpUntil([&] { return answered > 0; }, 20000));
    pumpEvents(300);
    EXPECT_EQ(answered, 1);
    EXPECT_TRUE(allShown(true));
}

} // namespace
