#include "pipeline/capture_state.h"

#include "support/viewer_globals.h"
#include "support/virtual_time.h"

#include <gtest/gtest.h>

namespace
{

class CaptureTriggers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_Freeze = g_SnapPending = g_SnapInRecord = false;
        g_ButtonSource = kNoButton;
        g_SettleTime = 0;
    }
    // What the preview tab does on a press.
    static void tabPress(bool recording)
    {
        if (!releaseStill())
            snapshotDue(recording);
    }

    ViewerGlobals globals; // the triggers as they were come back after
    VirtualTime time;
    platform::VirtualClock* clock = time.clock;
};

TEST_F(CaptureTriggers, WhoHoldsTheTriggerAndWhatItsReleaseLetsGo)
{
    // The on-screen button holds a still picture until it goes up.
    ASSERT_TRUE(pressSnapshot(kScreenButton, false));
    tabPress(false);
    EXPECT_TRUE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kScreenButton);
    EXPECT_FALSE(recordTriggerFree()) << "a held snapshot keeps the record trigger";
    EXPECT_FALSE(pressSnapshot(kCameraButton, false)) << "the picture already stands still";
    releaseSnapshot(kScreenButton);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kNoButton);
    EXPECT_TRUE(recordTriggerFree());

    // The camera's button: the on-screen one cannot take the trigger from it, nor let its
    // picture go; the camera's release press is the tab's second press.
    ASSERT_TRUE(pressSnapshot(kCameraButton, false));
    tabPress(false);
    EXPECT_FALSE(pressSnapshot(kScreenButton, false));
    releaseSnapshot(kScreenButton);
    EXPECT_TRUE(g_Freeze);
    EXPECT_FALSE(recordTriggerFree());
    tabPress(false);
    releaseSnapshot(kCameraButton);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kNoButton);

    // A camera gone while its button is down takes its picture along; not a screen's.
    ASSERT_TRUE(pressSnapshot(kCameraButton, false));
    tabPress(false);
    cameraButtonLost();
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kNoButton);
    ASSERT_TRUE(pressSnapshot(kScreenButton, false));
    tabPress(false);
    cameraButtonLost();
    EXPECT_TRUE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kNoButton);
    releaseStill();

    // During a recording the camera's press does nothing; the key presses and releases at once,
    // even over the camera's hold, and leaves the snapshot due.
    EXPECT_FALSE(pressSnapshot(kCameraButton, true));
    EXPECT_EQ(g_ButtonSource, kNoButton);
    EXPECT_FALSE(pressSnapshot(kNoButton, false));
    ASSERT_TRUE(pressSnapshot(kCameraButton, false));
    ButtonSource during = kNoButton;
    tapSnapshot([&] {
        during = g_ButtonSource;
        tabPress(false);
    });
    EXPECT_EQ(during, kScreenButton);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, kNoButton);
    EXPECT_TRUE(g_SnapPending);
}

TEST_F(CaptureTriggers, StillAndMovingSnapshotsAndTheSettle)
{
    clock->setLocalTime({2026, 3, 7, 9, 5, 33});
    // A still one holds the picture, settles the drawing and is stamped with the press time.
    tabPress(false);
    EXPECT_TRUE(g_Freeze && g_SnapPending);
    EXPECT_FALSE(g_SnapInRecord);
    EXPECT_EQ(g_CaptureTime.second, 33);
    EXPECT_EQ(g_SettleTime, kSnapshotSettle);
    int ticks = 0;
    for (; g_SettleTime > 0 && ticks < 100; ++ticks)
        settleTick();
    EXPECT_EQ(ticks, (kSnapshotSettle + kSettleTick - 1) / kSettleTick);
    settleTick();
    EXPECT_EQ(g_SettleTime, kSnapshotSettle - ticks * kSettleTick) << "stops at its end";
    // The second press releases and is no new snapshot; the pass then takes the file.
    tabPress(false);
    EXPECT_FALSE(g_Freeze);
    EXPECT_TRUE(g_SnapPending);
    stillSnapshotTaken();
    EXPECT_FALSE(g_SnapPending);

    // While the picture moves: neither freeze nor settle nor a new stamp time.
    g_SettleTime = 0;
    clock->setLocalTime({2026, 3, 7, 9, 6, 1});
    tabPress(true);
    EXPECT_TRUE(g_SnapInRecord);
    EXPECT_FALSE(g_Freeze || g_SnapPending);
    EXPECT_EQ(g_SettleTime, 0);
    EXPECT_EQ(g_CaptureTime.second, 33);
    frameSnapshotTaken();
    EXPECT_FALSE(g_SnapInRecord);
    snapshotDue(true);
    dropFrameSnapshot();
    EXPECT_FALSE(g_SnapInRecord);
}

} // namespace
