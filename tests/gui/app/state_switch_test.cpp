#include "support/frame_harness.h"

#include "app/skin_bitmap.h"

#include <opencv2/imgcodecs.hpp>

using StateSwitch = FrameFixture;

namespace
{
void clickOn(wxWindow* w)
{
    COrvexState* before = g_CurrentState;
    ASSERT_TRUE(clickOnWindow(w));
    pumpUntil([&] { return g_CurrentState != before; }, 400);
    pumpEvents(20);
}
} // namespace

TEST_F(StateSwitch, PreviewIsCurrentAfterStart)
{
    ASSERT_EQ(g_States.size(), 4u);
    EXPECT_EQ(g_States[0]->id(), StatePlaceholder);
    EXPECT_EQ(g_CurrentState, g_States[1]);
    EXPECT_TRUE(g_States[1]->active());
    EXPECT_EQ(g_States[1]->previous(), g_States[0]);
}

TEST_F(StateSwitch, TabsSwitchByMouseAndShowTheirPictures)
{
    clickOn(g_States[3]->tabButton());
    EXPECT_EQ(g_CurrentState->id(), StateSetup);
    EXPECT_EQ(g_States[3]->previous(), g_States[1]);
    // The setup tab has no picture and no full-screen mode.
    EXPECT_FALSE(screen->IsShown());
    EXPECT_FALSE(frame->fullScreenButton()->IsShown());
    EXPECT_TRUE(g_StatusText.empty());
    const wxSize size = g_States[1]->tabButton()->GetSize();
    EXPECT_TRUE(sameBitmap(g_States[3]->tabButton()->shown(),
                           loadSkinPicture("tab3_focus.bmp", size.x, size.y)));
    EXPECT_TRUE(sameBitmap(g_States[1]->tabButton()->shown(),
                           loadSkinPicture("tab1_up.bmp", size.x, size.y)));
    EXPECT_FALSE(sameBitmap(loadSkinPicture("tab1_up.bmp"), loadSkinPicture("tab1_focus.bmp")));

    clickOn(g_States[1]->tabButton());
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_TRUE(screen->IsShown());
    EXPECT_TRUE(frame->fullScreenButton()->IsShown());
    EXPECT_TRUE(sameBitmap(g_States[1]->tabButton()->shown(),
                           loadSkinPicture("tab1_focus.bmp", size.x, size.y)));
}

TEST_F(StateSwitch, RefusedWhileSettlingOrRecordingOrForTheSameTab)
{
    switchState(StatePreview);
    EXPECT_EQ(g_States[1]->previous(), g_States[0]) << "the same tab is no switch";

    g_SettleTime = 200;
    switchState(StateSetup);
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    g_SettleTime = 0;

    g_VideoWriter = std::make_unique<cv::VideoWriter>();
    clickOn(g_States[3]->tabButton());
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    g_VideoWriter.reset();
    clickOn(g_States[3]->tabButton());
    EXPECT_EQ(g_CurrentState->id(), StateSetup);
}

TEST_F(StateSwitch, BrowseNeedsACapture)
{
    switchState(StateBrowse);
    EXPECT_EQ(g_CurrentState->id(), StatePreview) << "empty storage folder";

    // A capture appears and the strip is rescanned.
    cv::Mat m(48, 64, CV_8UC3, cv::Scalar(10, 200, 30));
    const std::string photo = toUtf8(g_StoragePath) + "/2026-03-07 09_05_33.jpg";
    ASSERT_TRUE(cv::imwrite(photo, m));
    frame->browsePanel()->scanFolder(FilterAll);
    EXPECT_EQ(frame->browsePanel()->fileCount(), 1u);
    clickOn(g_States[2]->tabButton());
    EXPECT_EQ(g_CurrentState->id(), StateBrowse);
    // Escape goes back to the live picture; there Escape does nothing.
    frame->dispatchKey(27, false);
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    frame->dispatchKey(27, false);
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
}

TEST_F(StateSwitch, BaseOperationsKeepTheirGuards)
{
    COrvexState* s = g_States[0];
    s->setMirror(true);
    EXPECT_TRUE(g_Mirror);
    s->setRotation(2);
    EXPECT_EQ(g_Rotation, 2);
    g_SettleTime = 100;
    s->setMirror(false);
    s->setRotation(3);
    EXPECT_TRUE(g_Mirror);
    EXPECT_EQ(g_Rotation, 2);
    g_SettleTime = 0;
    EXPECT_EQ(s->grabFrame(), nullptr);
    EXPECT_TRUE(s->statusText().empty());
    EXPECT_EQ(s->statusColour(), wxColour(0, 0, 0));
    EXPECT_TRUE(s->canEnter());
}
