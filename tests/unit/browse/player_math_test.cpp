#include "browse/player_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(StreamFacts, NonsenseReadsAsUnknown)
{
    for (double bad : {0.0, -1.0, -250.0, std::nan(""), std::numeric_limits<double>::infinity(),
                       9.2e18, 1e30, 0.5}) {
        EXPECT_EQ(plausibleFrameCount(bad), 0) << bad;
        EXPECT_EQ(plausibleFrameRate(bad), 0) << bad;
    }
    EXPECT_EQ(plausibleFrameRate(90000.0), 0);
    EXPECT_EQ(plausibleFrameCount(250.9), 250);
    EXPECT_EQ(plausibleFrameRate(29.97), 29);
    EXPECT_EQ(plausibleFrameRate(15.0), 15);
}

TEST(TimeLabel, FieldsTwoWideFromPositionAndRate)
{
    EXPECT_EQ(timeText(0), " 0 :  0 :  0");
    EXPECT_EQ(timeText(shownSeconds(1500, 25, -1)), " 0 :  1 :  0");
    EXPECT_EQ(timeText(3723), " 1 :  2 :  3");
    EXPECT_EQ(shownSeconds(1499, 25, -1), 59);
    EXPECT_EQ(shownSeconds(0, 25, 5000), 0);
}

TEST(TimeLabel, UnknownRateFallsBackToTheContainerClock)
{
    EXPECT_EQ(shownSeconds(400, 0, 61500.0), 61);
    EXPECT_EQ(shownSeconds(400, 0, -1.0), 0);
    EXPECT_EQ(shownSeconds(400, 0, std::nan("")), 0);
    EXPECT_EQ(shownSeconds(400, 0, 1e300), 0);
}

TEST(ProgressBar, FillFollowsTheFrameAndNeverDividesByZero)
{
    EXPECT_EQ(fillWidth(50, 100, 564), 282);
    EXPECT_EQ(fillWidth(100, 100, 564), 564);
    EXPECT_EQ(fillWidth(0, 100, 564), 0);
    EXPECT_EQ(fillWidth(50, 0, 564), 0);
    EXPECT_EQ(fillWidth(-3, 100, 564), 0);
    EXPECT_EQ(fillWidth(120, 100, 564), 564);
    // Long recordings: the product must not overflow.
    EXPECT_EQ(fillWidth(80000000, 86400000, 2000), 1851);
}

TEST(ProgressBar, PositionsOnTheBarMapToFrames)
{
    EXPECT_EQ(frameAtX(282, 100, 564), 50);
    EXPECT_EQ(frameAtX(564, 100, 564), 99);
    EXPECT_EQ(frameAtX(5000, 100, 564), 99);
    EXPECT_EQ(frameAtX(563, 100, 564), 99);
    EXPECT_EQ(frameAtX(0, 100, 564), 0);
    EXPECT_EQ(frameAtX(-40, 100, 564), 0);
    EXPECT_EQ(frameAtX(300, 0, 564), 0);
    EXPECT_EQ(frameAtX(300, 100, 0), 99);
    EXPECT_EQ(frameAtX(563, 86400000, 564), 86246808);
}

TEST(PlayerStrip, ReferenceSizePlacesEveryControl)
{
    const PlayerGeometry g = playerGeometry(652, 108, 284, 560);
    EXPECT_EQ(g.label, (SkinRect{292, 568, 72, 20}));
    EXPECT_EQ(g.bar, (SkinRect{284 + 88, 568, 564, 16}));
    EXPECT_EQ(g.bar.x + g.bar.w, 284 + 652);
    EXPECT_EQ(g.buttons[0], (SkinRect{292, 600, 64, 64}));
    EXPECT_EQ(g.buttons[1], (SkinRect{364, 600, 64, 64}));
    EXPECT_EQ(g.buttons[2], (SkinRect{436, 600, 64, 64}));
    // A larger strip does not enlarge anything.
    EXPECT_EQ(playerGeometry(900, 200, 0, 0).bar, (SkinRect{88, 8, 564, 16}));
}

TEST(PlayerStrip, SmallerStripScalesEachQuantity)
{
    const PlayerGeometry g = playerGeometry(326, 54, 10, 20);
    EXPECT_EQ(g.label, (SkinRect{14, 24, 36, 10}));
    EXPECT_EQ(g.labelRight, 40);
    EXPECT_EQ(g.labelBottom, 14);
    EXPECT_EQ(g.bar, (SkinRect{10 + 40 + 4, 24, 326 - 40 - 4, 8}));
    EXPECT_EQ(g.buttons[0], (SkinRect{14, 20 + 14 + 6, 32, 32}));
    EXPECT_EQ(g.buttons[1].x, 14 + 32 + 4);
    EXPECT_EQ(g.buttons[2].x, 14 + 2 * (32 + 4));
}

TEST(TimeStamps, APictureNamesItsFrameByItsOwnStampOrNotAtAll)
{
    EXPECT_EQ(stampedFrame(7066.666667, 15.0, 319), 106);
    EXPECT_EQ(stampedFrame(4240.0, 25.0, 106), 106);
    EXPECT_EQ(stampedFrame(1001.0, 30000.0 / 1001.0, 5), 30);
    EXPECT_EQ(stampedFrame(0.0, 25.0, 0), 0);
    // A missing stamp reads as 0: past the first frame that names nothing.
    EXPECT_EQ(stampedFrame(0.0, 25.0, 319), -1);
    EXPECT_EQ(stampedFrame(-40.0, 25.0, 3), -1);
    EXPECT_EQ(stampedFrame(4240.0, 0.0, 106), -1);
    EXPECT_EQ(stampedFrame(std::nan(""), 25.0, 1), -1);
    EXPECT_EQ(stampedFrame(1e300, 25.0, 1), -1);
}
