#include "setup/setup_layout.h"

#include <gtest/gtest.h>

#include <set>

TEST(SetupSample, DesignPanelGivesTheDesignColumnAndAFourByThreeSample)
{
    const SetupSample s = setupSample(624, 464);
    // q = (624 - 20 - 240) / 4 = 91; the free height 404 holds 3q.
    EXPECT_EQ(s.sample, (SetupRect{240, 40, 364, 273}));
    EXPECT_EQ(s.radioX, 40);
    EXPECT_EQ(s.radioY, 20);
    EXPECT_EQ(s.radioW, 192);
    EXPECT_EQ(s.radioH, 444);
    EXPECT_EQ(s.radioStep, 40);
}

TEST(SetupSample, HalfSizePanelScalesEveryMargin)
{
    const SetupSample s = setupSample(312, 232);
    EXPECT_EQ(s.sample, (SetupRect{120, 20, 180, 135}));
    EXPECT_EQ(s.radioX, 20);
    EXPECT_EQ(s.radioY, 10);
    EXPECT_EQ(s.radioW, 92);
    EXPECT_EQ(s.radioH, 222);
    EXPECT_EQ(s.radioStep, 40);
}

TEST(SetupSample, LowPanelLimitsTheSampleByItsHeightAndTightensTheRadios)
{
    // Wide and low: q = (624 - 20 - 240) / 4 = 91 but the free height is only
    // 150 - 6 - 12 = 132, so f = 44.
    const SetupSample s = setupSample(624, 150);
    EXPECT_EQ(s.sample, (SetupRect{240, 12, 176, 132}));
    EXPECT_EQ(s.radioH, 144);
    EXPECT_EQ(s.radioStep, 144 * 40 / 160);
}

TEST(SetupIcons, DesignAndScaledColumn)
{
    const SetupIcons d = setupIcons(148, 652, 10, 100);
    EXPECT_EQ(d.folder, (SetupRect{14, 104, 108, 108}));
    EXPECT_EQ(d.stamp, (SetupRect{14, 104 + 108 + 5, 108, 108}));
    const SetupIcons h = setupIcons(74, 326, 0, 0);
    EXPECT_EQ(h.folder, (SetupRect{2, 2, 54, 54}));
    EXPECT_EQ(h.stamp, (SetupRect{2, 2 + 54 + 2, 54, 54}));
}

TEST(SetupButtons, ConfirmAndCancelAroundTheCentreAddAtTheLeft)
{
    const SetupButtons d = setupButtons(100, 600, 652, 108);
    EXPECT_EQ(d.confirm, (SetupRect{100 + 326 - 80 - 16, 614, 80, 80}));
    EXPECT_EQ(d.cancel, (SetupRect{100 + 326 + 16, 614, 80, 80}));
    EXPECT_EQ(d.add, (SetupRect{116, 614, 80, 80}));
    // Half size: the buttons and the left margin shrink, the gap at the centre stays 16.
    const SetupButtons h = setupButtons(0, 0, 326, 54);
    EXPECT_EQ(h.confirm, (SetupRect{163 - 40 - 16, 7, 40, 40}));
    EXPECT_EQ(h.cancel, (SetupRect{163 + 16, 7, 40, 40}));
    EXPECT_EQ(h.add, (SetupRect{8, 7, 40, 40}));
}

TEST(SetupPage, MarginsScaleOnlyBelowTheDesignArea)
{
    EXPECT_EQ(setupPage(5, 6, 652, 492), (SetupRect{19, 20, 624, 464}));
    EXPECT_EQ(setupPage(5, 6, 900, 700), (SetupRect{19, 20, 872, 672}));
    EXPECT_EQ(setupPage(0, 0, 326, 246), (SetupRect{7, 7, 312, 232}));
}

TEST(FirstFreeFolderName, CountsOnPastTakenNames)
{
    EXPECT_EQ(firstFreeFolderName([](const std::string&) { return false; }), "DCIM");
    std::set<std::string> taken{"DCIM", "DCIM (2)"};
    EXPECT_EQ(firstFreeFolderName([&](const std::string& n) { return taken.count(n) > 0; }),
              "DCIM (3)");
    // A gap is not filled while the names before it are taken in order.
    taken = {"DCIM (2)"};
    EXPECT_EQ(firstFreeFolderName([&](const std::string& n) { return taken.count(n) > 0; }),
              "DCIM");
}
