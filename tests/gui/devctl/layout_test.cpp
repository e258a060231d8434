// The strip's controls: what is created, that they follow the layout, how the level bar is
// painted and which picture each icon shows.
#include "box_fixture.h"
#include "unit/devctl/fake_bravik_host.h"

#include "app/window_ids.h"
#include "devctl/box_layout.h"

#include <wx/bmpbuttn.h>

using namespace devctltest;

namespace
{

class Strip : public BoxTest
{
protected:
    void SetUp() override
    {
        BoxTest::SetUp();
        fakebravik::host() = fakebravik::Host();
        fakebravik::host().reads[{0xDC, 0x00}] = {0x00};
        g_ProgramDir = std::string(FAKE_BRAVIK_DIR) + "/full";
        makeBox();
        ASSERT_NE(box->unit(), nullptr);
    }
    wxRect rect(Box::Control c) const { return rectOf(box->control(c)); }
    static wxRect toRect(const BoxRect& r) { return wxRect(r.x, r.y, r.w, r.h); }
    wxColour barPixel(int x, int y = 12) const
    {
        wxImage img = shownPicture(Box::LevelBar).ConvertToImage();
        return wxColour(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
    }
};

TEST_F(Strip, SixControlsOnTheParentWithTheirIds)
{
    const int ids[5] = {ID_BOX_LED_DOWN, ID_BOX_LED_UP, ID_BOX_BOOST, ID_BOX_ROTATE,
                        ID_BOX_LED_SWITCH};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(box->control(Box::Control(c))->GetId(), ids[c]);
    EXPECT_LT(box->control(Box::LevelBar)->GetId(), 0);
    EXPECT_NE(dynamic_cast<wxBitmapButton*>(box->control(Box::LedUp)), nullptr);
    for (int c = 0; c < Box::kControls; ++c) {
        EXPECT_EQ(box->control(Box::Control(c))->GetParent(), frame);
        EXPECT_EQ(box->control(Box::Control(c))->GetBackgroundStyle(), wxBG_STYLE_PAINT);
    }
    EXPECT_FALSE(box->IsShown());
}

// The arithmetic is layoutBox's; here the controls and their pictures follow it.
TEST_F(Strip, ControlsAndPicturesFollowTheLayout)
{
    for (wxSize strip : {wxSize(652, 108), wxSize(326, 54)}) {
        box->layout(10, 20, strip.x, strip.y);
        const BoxLayout l = layoutBox(10, 20, strip.x, strip.y, box->ledMax());
        EXPECT_EQ(rect(Box::LevelBar), toRect(l.levelBar));
        for (int c = Box::LedDown; c <= Box::LedSwitch; ++c)
            EXPECT_EQ(rect(Box::Control(c)), toRect(l.row[size_t(c)])) << c;
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(box->picture(i).GetSize(), wxSize(l.row[0].w, l.row[0].h)) << i;
    }

    box->stepLed(+4);
    box->layout(0, 0, 5, 5);
    box->layout(0, 0, 0, 0);
    box->layout(0, 0, 652, 108);
    EXPECT_EQ(litSegments(), 4);
}

TEST_F(Strip, LevelBarSegmentsOf24WithOnePixelGaps)
{
    box->layout(0, 0, 652, 108);
    box->stepLed(+5);
    ASSERT_EQ(shownPicture(Box::LevelBar).GetSize(), wxSize(374, 24));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(barPixel(i * 25), *wxGREEN) << i;
        EXPECT_EQ(barPixel(i * 25 + 23), *wxGREEN) << i;
        EXPECT_EQ(barPixel(i * 25 + 24), *wxBLACK) << i;
    }
    EXPECT_EQ(barPixel(125), *wxBLACK);
    for (int y : {0, 23}) // full height; the outline's edge may be blended
        EXPECT_GT(barPixel(0, y).Green(), 200) << y;
    box->stepLed(+20);
    EXPECT_EQ(litSegments(), 15);
    EXPECT_EQ(barPixel(373), *wxGREEN);

    // Full screen hides the strip: the bar is not repainted until it is back.
    const wxBitmap before = shownPicture(Box::LevelBar);
    g_FullScreen = true;
    box->stepLed(-9);
    EXPECT_TRUE(sameBitmap(shownPicture(Box::LevelBar), before));
    g_FullScreen = false;
    box->drawLevelBar();
    EXPECT_EQ(litSegments(), 6);
}

TEST_F(Strip, IconsShowClickWhileTheirStateIsOnAcrossLayouts)
{
    box->layout(0, 0, 326, 54);
    for (Box::Control c : {Box::Boost, Box::Rotate, Box::LedSwitch})
        EXPECT_FALSE(showsClick(c)) << c;
    box->toggleBoost();
    box->toggleLedSwitch();
    box->stepRotation();
    box->layout(0, 0, 652, 108);
    for (Box::Control c : {Box::Boost, Box::Rotate, Box::LedSwitch}) {
        EXPECT_TRUE(showsClick(c)) << c;
        EXPECT_EQ(shownPicture(c).GetSize(), wxSize(64, 64));
    }
    auto* up = static_cast<wxBitmapButton*>(box->control(Box::LedUp));
    EXPECT_TRUE(sameBitmap(up->GetBitmapLabel(), box->picture(2 * Box::LedUp)));
    EXPECT_TRUE(sameBitmap(up->GetBitmapPressed(), box->picture(2 * Box::LedUp + 1)));
}

TEST_F(Strip, RotationStepsAndWaitsForTheSettleTime)
{
    for (int expected : {1, 2, 3, 0}) {
        box->stepRotation();
        EXPECT_EQ(g_Rotation, expected);
        EXPECT_EQ(showsClick(Box::Rotate), expected > 0);
    }
    g_SettleTime = 200;
    box->stepRotation();
    box->showControls();
    EXPECT_EQ(g_Rotation, 0);
    g_SettleTime = 0;
    box->showControls();
    EXPECT_EQ(g_Rotation, 1);

    g_SettleTime = 100;
    box->close();
    EXPECT_EQ(box->rotation(), 0);
    EXPECT_EQ(g_Rotation, 1);
    EXPECT_FALSE(showsClick(Box::Rotate));
    EXPECT_TRUE(allShown(false));
    g_SettleTime = 0;
    box->stepRotation();
    box->close();
    EXPECT_EQ(g_Rotation, 0);
}

} // namespace
