// The strip's controls: what is created, where the layout puts it at full and reduced size,
// how the level bar is painted and which picture each icon shows.
#include "box_fixture.h"
#include "fake_bravik_host.h"

#include <wx/bmpbuttn.h>

#include <gmock/gmock.h>

using namespace devctltest;
using Box = COrvexIOControlBox;

namespace
{

class Strip : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        fakebravik::host().reset();
        fakebravik::host().script(0xDC, 0x00, {0x00});
        g_ProgramDir = std::string(FAKE_BRAVIK_DIR) + "/full";
        makeBox();
        ASSERT_NE(box->unit(), nullptr);
    }
    wxRect rect(Box::Control c) const { return rectOf(box->control(c)); }
    const wxBitmap& bar() const
    {
        return static_cast<SkinBitmap*>(box->control(Box::LevelBar))->shown();
    }
    void setLevel(int level)
    {
        box->stepLed(-box->ledMax());
        box->stepLed(level);
    }
    // Colour of the bar's pixel at x on the middle row.
    wxColour barPixel(int x) const
    {
        wxImage img = bar().ConvertToImage();
        const int y = img.GetHeight() / 2;
        return wxColour(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
    }
};

TEST_F(Strip, SixControlsWithTheirIdsRoutedToTheBox)
{
    const int ids[5] = {ID_LED_DOWN, ID_LED_UP, ID_BOOST, ID_ROTATE, ID_LED_SWITCH};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(box->control(static_cast<Box::Control>(c))->GetId(), ids[c]);
    EXPECT_LT(box->control(Box::LevelBar)->GetId(), 0);
    EXPECT_NE(dynamic_cast<wxBitmapButton*>(box->control(Box::LedDown)), nullptr);
    EXPECT_NE(dynamic_cast<wxBitmapButton*>(box->control(Box::LedUp)), nullptr);
    for (int c = 0; c < Box::kControls; ++c) {
        wxWindow* w = box->control(static_cast<Box::Control>(c));
        EXPECT_EQ(w->GetParent(), frame);
        EXPECT_EQ(w->GetBackgroundStyle(), wxBG_STYLE_PAINT);
    }
    EXPECT_FALSE(box->IsShown());
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(box->picture(i).IsOk()) << i;
}

TEST_F(Strip, FullSizeLayout)
{
    box->layout(10, 20, 652, 108);
    EXPECT_EQ(rect(Box::LevelBar), wxRect(18, 28, 374, 24));
    const int xs[5] = {18, 90, 178, 250, 322};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(rect(static_cast<Box::Control>(c)), wxRect(xs[c], 60, 64, 64)) << c;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(box->picture(i).GetSize(), wxSize(64, 64)) << i;

    // More room than the reference never enlarges anything.
    box->layout(10, 20, 1000, 300);
    EXPECT_EQ(rect(Box::LevelBar), wxRect(18, 28, 374, 24));
    EXPECT_EQ(rect(Box::LedSwitch), wxRect(322, 60, 64, 64));
}

TEST_F(Strip, HalfSizeLayout)
{
    box->layout(0, 0, 326, 54);
    EXPECT_EQ(rect(Box::LevelBar), wxRect(4, 4, 13 * 15 - 1, 12));
    const int xs[5] = {4, 40, 84, 120, 156};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(rect(static_cast<Box::Control>(c)), wxRect(xs[c], 20, 32, 32)) << c;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(box->picture(i).GetSize(), wxSize(32, 32)) << i;
    // Only one direction short is enough to scale both.
    box->layout(0, 0, 652, 54);
    EXPECT_EQ(rect(Box::LevelBar), wxRect(8, 4, 374, 12));
    EXPECT_EQ(rect(Box::LedDown), wxRect(8, 20, 64, 32));
}

TEST_F(Strip, AStripTooSmallForPicturesStillLaysOut)
{
    box->stepLed(+3);
    box->layout(0, 0, 5, 5);
    box->layout(0, 0, 0, 0);
    box->stepLed(+1);
    box->layout(0, 0, 652, 108);
    EXPECT_EQ(rect(Box::LevelBar).GetSize(), wxSize(374, 24));
    EXPECT_EQ(litSegments(), 4);
}

TEST_F(Strip, LevelBarSegmentsOf24WithOnePixelGaps)
{
    box->layout(0, 0, 652, 108);
    setLevel(5);
    ASSERT_EQ(bar().GetSize(), wxSize(374, 24));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(barPixel(i * 25), *wxGREEN) << i;
        EXPECT_EQ(barPixel(i * 25 + 23), *wxGREEN) << i;
        EXPECT_EQ(barPixel(i * 25 + 24), *wxBLACK) << i;
    }
    EXPECT_EQ(barPixel(125), *wxBLACK);
    EXPECT_EQ(barPixel(373), *wxBLACK);
    // Full height: the outline's edges may be blended, but they are green.
    wxImage img = bar().ConvertToImage();
    for (int y : {0, 23}) {
        EXPECT_GT(img.GetGreen(0, y), 200) << y;
        EXPECT_LT(img.GetRed(0, y), 40) << y;
    }

    setLevel(15);
    EXPECT_EQ(litSegments(), 15);
    EXPECT_EQ(barPixel(373), *wxGREEN);
    setLevel(0);
    EXPECT_EQ(litSegments(), 0);
}

TEST_F(Strip, FullScreenLeavesTheBarAlone)
{
    box->layout(0, 0, 652, 108);
    setLevel(3);
    const wxBitmap before = bar();
    g_FullScreen = true;
    box->stepLed(+4);
    EXPECT_EQ(box->ledLevel(), 7);
    EXPECT_TRUE(sameBitmap(bar(), before));
    g_FullScreen = false;
    box->drawLevelBar();
    EXPECT_EQ(litSegments(), 7);
}

TEST_F(Strip, IconsShowClickWhileTheirStateIsOn)
{
    box->layout(0, 0, 326, 54);
    for (Box::Control c : {Box::Boost, Box::Rotate, Box::LedSwitch})
        EXPECT_TRUE(showsRelease(c)) << c;
    box->toggleBoost();
    box->toggleLedSwitch();
    box->stepRotation();
    for (Box::Control c : {Box::Boost, Box::Rotate, Box::LedSwitch})
        EXPECT_TRUE(showsClick(c)) << c;
    // A relayout keeps the looks, in the new size.
    box->layout(0, 0, 652, 108);
    for (Box::Control c : {Box::Boost, Box::Rotate, Box::LedSwitch}) {
        EXPECT_TRUE(showsClick(c)) << c;
        EXPECT_EQ(iconPicture(c).GetSize(), wxSize(64, 64));
    }
    box->toggleBoost();
    box->toggleLedSwitch();
    EXPECT_TRUE(showsRelease(Box::Boost));
    EXPECT_TRUE(showsRelease(Box::LedSwitch));
    auto* up = static_cast<wxBitmapButton*>(box->control(Box::LedUp));
    EXPECT_TRUE(sameBitmap(up->GetBitmapLabel(), box->picture(2 * Box::LedUp)));
    EXPECT_TRUE(sameBitmap(up->GetBitmapPressed(), box->picture(2 * Box::LedUp + 1)));
}

TEST_F(Strip, RotationStepsAndWaitsForTheSettleTime)
{
    for (int expected : {1, 2, 3, 0}) {
        box->stepRotation();
        EXPECT_EQ(box->rotation(), expected);
        EXPECT_EQ(g_Rotation, expected);
        EXPECT_EQ(showsClick(Box::Rotate), expected > 0);
    }
    g_SettleTime = 200;
    box->stepRotation();
    EXPECT_EQ(box->rotation(), 1);
    EXPECT_EQ(g_Rotation, 0);
    box->showControls();
    EXPECT_EQ(g_Rotation, 0);
    g_SettleTime = 0;
    box->showControls();
    EXPECT_EQ(g_Rotation, 1);

    // Closing puts the rotation back, but not into a settling picture.
    g_SettleTime = 100;
    box->close();
    EXPECT_EQ(box->rotation(), 0);
    EXPECT_EQ(g_Rotation, 1);
    EXPECT_TRUE(showsRelease(Box::Rotate));
    g_SettleTime = 0;
    box->stepRotation();
    box->close();
    EXPECT_EQ(g_Rotation, 0);
}

TEST_F(Strip, ShowAndHideFollowTheUnit)
{
    box->hideControls();
    EXPECT_TRUE(allShown(false));
    box->showControls();
    EXPECT_TRUE(allShown(true));
    box->close();
    EXPECT_TRUE(allShown(false));
    box->showControls();
    EXPECT_TRUE(allShown(false));
}

} // namespace
