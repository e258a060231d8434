#include "support/frame_harness.h"

#include "app/skin_bitmap.h"

using FrameTimer = FrameFixture;

TEST_F(FrameTimer, StateGetsEveryTickAndScreenAtMostEvery60ms)
{
    const int timerBefore = probePreview->timerCalls;
    const int drawsBefore = screen->draws;
    tick(60);
    EXPECT_EQ(probePreview->timerCalls - timerBefore, 60);
    EXPECT_EQ(screen->draws - drawsBefore, 10);
}

TEST_F(FrameTimer, SettleTimeHoldsTheDrawingBack)
{
    tick(10);
    g_SettleTime = 500;
    const int before = screen->draws;
    // 500 ms in steps of 32: still positive after 15 ticks, below 1 on the 16th.
    tick(15);
    EXPECT_EQ(screen->draws, before);
    EXPECT_GT(g_SettleTime, 0);
    tick();
    EXPECT_LT(g_SettleTime, 1);
    EXPECT_EQ(screen->draws, before + 1);
    // State ticks never stop.
    EXPECT_GT(probePreview->timerCalls, 16);
}

TEST_F(FrameTimer, NoticeStaysAbout97TicksThenClearsOnASixteenthTick)
{
    SkinBitmap* label = frame->noticeLabel();
    const wxBitmap plain = label->shown();
    g_LastFileName = "2026-03-07 09_05_33.jpg";
    g_InfoTime = 3000;
    tick();
    EXPECT_FALSE(sameBitmap(label->shown(), plain)) << "the notice is drawn at once";
    int ticks = 1;
    while (g_InfoTime > 0) {
        tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 97);
    // Cleared only when the sixteenth tick comes round.
    while (frame->tickCounter() % 16 != 0) {
        EXPECT_FALSE(g_LastFileName.empty());
        tick();
    }
    tick();
    EXPECT_TRUE(g_LastFileName.empty());
    EXPECT_TRUE(sameBitmap(label->shown(), plain));
}

TEST_F(FrameTimer, StatusRedrawnEverySixteenthTick)
{
    SkinBitmap* label = frame->statusLabel();
    while (frame->tickCounter() % 16 != 1)
        tick();
    const wxBitmap before = label->shown();
    // The live view's status is the time of day: a new minute changes the text at once...
    clock->advance(60 * 1000);
    for (int i = 0; i < 15; ++i) {
        tick();
        EXPECT_TRUE(sameBitmap(label->shown(), before)) << i;
    }
    // ...and the label follows on the sixteenth tick.
    tick();
    const wxBitmap drawn = label->shown();
    EXPECT_FALSE(sameBitmap(drawn, before));

    // The setup tab has no status: the plain label comes back at the next round.
    switchState(StateSetup);
    tick(16);
    EXPECT_TRUE(g_StatusText.empty());
    EXPECT_FALSE(sameBitmap(label->shown(), drawn));
}

TEST_F(FrameTimer, FullScreenStopsTheLabelsButNotTheDrawing)
{
    frame->toggleFullScreen();
    const int counter = frame->tickCounter();
    const int draws = screen->draws;
    g_InfoTime = 3000;
    tick(12);
    EXPECT_EQ(frame->tickCounter(), counter);
    EXPECT_EQ(g_InfoTime, 3000);
    EXPECT_EQ(screen->draws, draws + 2);
}
