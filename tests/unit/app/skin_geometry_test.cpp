#include "app/skin_geometry.h"

#include <gtest/gtest.h>

TEST(SkinGeometry, DesignSize)
{
    SkinGeometry g = computeSkinGeometry(1152, 684);
    EXPECT_FALSE(g.scaled);
    // Columns 136 + 148 + 654 + 182 + 32 and the picture tile.
    EXPECT_EQ(g[11], (SkinRect{0, 0, 136, 368}));
    EXPECT_EQ(g[13], (SkinRect{0, 578, 136, 106}));
    EXPECT_EQ(g[12], (SkinRect{0, 368, 136, 210}));
    EXPECT_EQ(g[16], (SkinRect{1120, 0, 32, 16}));
    EXPECT_EQ(g[18], (SkinRect{1120, 668, 32, 16}));
    EXPECT_EQ(g[14], (SkinRect{1120, 16, 32, 652}));
    EXPECT_EQ(g[15], (SkinRect{136, 0, 984, 16}));
    EXPECT_EQ(g[17], (SkinRect{136, 668, 984, 16}));
    EXPECT_EQ(g[19], (SkinRect{136, 16, 148, 652}));
    EXPECT_EQ(g[20], (SkinRect{938, 16, 182, 652}));
    EXPECT_EQ(g[21], (SkinRect{284, 16, 654, 52}));
    EXPECT_EQ(g[22], (SkinRect{284, 560, 654, 108}));
    EXPECT_EQ(g[23], (SkinRect{284, 68, 654, 492}));

    EXPECT_EQ(screenRect(g), (SkinRect{291, 74, 640, 480}));
    EXPECT_EQ(fullScreenButtonRect(g), (SkinRect{874, 600, 64, 64}));
    EXPECT_EQ(statusLabelRect(g), (SkinRect{292, 30, 300, 28}));
    EXPECT_EQ(noticeLabelRect(g, 300), (SkinRect{584, 40, 300, 28}));
    EXPECT_EQ(exitButtonRect(1152, 684), (SkinRect{1112, 644, 32, 32}));
    EXPECT_EQ(powerOffRegion(136, 106), (SkinRect{44, 15, 70, 72}));
    EXPECT_EQ(tabButtonRect(136, 368, 133), (SkinRect{84, 133, 50, 108}));
    EXPECT_EQ(initialClientSize(g, 1600), (SkinSize{1152, 684}));
}

TEST(SkinGeometry, SmallScreenStartsScaled)
{
    SkinGeometry design = computeSkinGeometry(1152, 684);
    SkinSize client = initialClientSize(design, 1024);
    EXPECT_EQ(client, (SkinSize{819, 486}));

    SkinGeometry g = computeSkinGeometry(client.w, client.h);
    EXPECT_TRUE(g.scaled);
    EXPECT_EQ(g[11], (SkinRect{0, 0, 96, 261}));
    EXPECT_EQ(g[13], (SkinRect{0, 411, 96, 75}));
    EXPECT_EQ(g[16], (SkinRect{797, 0, 22, 11}));
    EXPECT_EQ(g[19].w, 105);
    EXPECT_EQ(g[20].w, 130);
    EXPECT_EQ(g[21], (SkinRect{201, 11, 466, 36}));
    EXPECT_EQ(g[22].h, 76);
    EXPECT_EQ(g[23], (SkinRect{201, 47, 466, 352}));

    EXPECT_EQ(screenRect(g), (SkinRect{206, 51, 456, 344}));
    EXPECT_EQ(statusLabelRect(g), (SkinRect{206, 20, 214, 19}));
    EXPECT_EQ(noticeLabelRect(g, 214), (SkinRect{415, 27, 214, 19}));
    EXPECT_EQ(fullScreenButtonRect(g), (SkinRect{622, 427, 45, 45}));
    EXPECT_EQ(powerOffRegion(96, 75), (SkinRect{31, 10, 49, 50}));
    EXPECT_EQ(tabButtonRect(96, 261, 20), (SkinRect{59, 14, 35, 76}));
}

TEST(SkinGeometry, LargerWindowGrowsStripsNotCorners)
{
    SkinGeometry g = computeSkinGeometry(1600, 1000);
    EXPECT_FALSE(g.scaled);
    EXPECT_EQ(g[11], (SkinRect{0, 0, 136, 368}));
    EXPECT_EQ(g[16], (SkinRect{1568, 0, 32, 16}));
    EXPECT_EQ(g[20].w, 288);
    EXPECT_EQ(g[23], (SkinRect{284, 68, 996, 808}));
    SkinRect s = screenRect(g);
    EXPECT_EQ(s, (SkinRect{294, 77, 976, 790}));
    EXPECT_EQ(s.w % 4, 0);
    EXPECT_EQ(statusLabelRect(g), (SkinRect{292, 30, 300, 28}));
    EXPECT_EQ(fullScreenButtonRect(g), (SkinRect{1216, 916, 64, 64}));
    // Nothing sticks out of the window.
    EXPECT_EQ(g[20].x + g[20].w + g[14].w, 1600);
    EXPECT_EQ(g[15].h + g[19].h + g[17].h, 1000);
}

TEST(SkinGeometry, NarrowButTallScalesEachDirectionOnItsOwn)
{
    SkinGeometry g = computeSkinGeometry(1000, 800);
    EXPECT_TRUE(g.scaled);
    EXPECT_EQ(g[11], (SkinRect{0, 0, 118, 430}));  // taller than its design height
    EXPECT_EQ(g[13].h, 123);
    EXPECT_EQ(g[21], (SkinRect{246, 18, 568, 60}));
    EXPECT_EQ(statusLabelRect(g), (SkinRect{252, 34, 261, 32}));
}

TEST(SkinGeometry, CornerTilesKeepTheirLoadedSize)
{
    CornerSizes corners;
    corners.t11 = {140, 380};
    SkinGeometry g = computeSkinGeometry(1152, 684, corners);
    EXPECT_EQ(g[11].w, 140);
    EXPECT_EQ(g[12].y, 380);
    EXPECT_EQ(g[19].x, 140);
}

TEST(SkinGeometry, TinyWindowsNeverGiveNegativeSizes)
{
    for (int w : {1, 40, 200})
        for (int h : {1, 30, 120}) {
            SkinGeometry g = computeSkinGeometry(w, h);
            for (int n = 11; n <= 23; ++n) {
                EXPECT_GE(g[n].w, 0) << n;
                EXPECT_GE(g[n].h, 0) << n;
            }
            EXPECT_GE(screenRect(g).w, 0);
        }
}

TEST(SkinGeometry, PowerOffAndTabButtonsShrinkWithTheirTiles)
{
    EXPECT_EQ(powerOffRegion(102, 80), (SkinRect{33, 11, 52, 54}));
    EXPECT_EQ(powerOffRegion(136, 105), (SkinRect{44, 14, 70, 71}));
    EXPECT_EQ(tabButtonRect(68, 184, 246), (SkinRect{42, 123, 25, 54}));
    EXPECT_EQ(exitButtonRect(1000, 562), (SkinRect{967, 530, 27, 26}));
}
