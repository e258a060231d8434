// The strip on a screen at twice the scale (GDK_SCALE=2): empty slots are black on every tab.
#include "strip_fixture.h"

#include "support/window_pixels.h"

namespace
{

using HiDpiStrip = StripFixture;

// Share of slot 0's pixels on the screen near the colour (RGB).
double slotZeroShare(const COrvexBrowsePanel* strip, int r, int g, int b)
{
    return windowpixels::shareNear(windowpixels::shown(strip->slot(0)), r, g, b);
}

} // namespace

TEST_F(HiDpiStrip, EmptySlotsAreBlackOnEveryTab)
{
    ASSERT_EQ(frame->GetContentScaleFactor(), 2.0);
    photo("1.jpg", cv::Scalar(0, 0, 255));
    strip->scanFolder(FilterAll);
    const wxSize client = frame->GetClientSize();
    for (int tab : {StatePreview, StateBrowse, StateSetup}) {
        if (tab == StateBrowse)
            enterBrowse(0);
        else
            switchState(tab);
        ASSERT_EQ(g_CurrentState->id(), tab);
        // White first, then a layout (new bitmaps for every slot) brings the red photo back:
        // once it is on the screen, so are the empty slots' new pictures.
        wxImage white(strip->slot(0)->GetSize());
        white.SetRGB(wxRect(white.GetSize()), 255, 255, 255);
        strip->slot(0)->show(wxBitmap(white));
        ASSERT_TRUE(pumpUntil([&] { return slotZeroShare(strip, 255, 255, 255) > 0.8; })) << tab;
        resizeClient(client.x - 10 * tab, client.y - 10 * tab);
        ASSERT_TRUE(pumpUntil([&] { return slotZeroShare(strip, 255, 0, 0) > 0.3; })) << tab;
        for (int k = 1; k < 4; ++k) {
            EXPECT_EQ(strip->slot(k)->kind, SlotEmpty);
            const wxImage shown = windowpixels::shown(strip->slot(k));
            EXPECT_EQ(shown.GetSize(), strip->slot(k)->GetSize() * 2) << tab << " " << k;
            EXPECT_TRUE(windowpixels::allBlack(shown)) << tab << " " << k;
        }
    }
}
