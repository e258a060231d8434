#include "support/frame_harness.h"

#include "app/background_window.h"

#include <wx/bmpbuttn.h>
#include <wx/treectrl.h>

#include <algorithm>
#include <cstdlib>

namespace
{

class FrameKeys : public FrameWithProbePanel
{
protected:
    void SetUp() override
    {
        FrameWithProbePanel::SetUp();
        // Keys go where the pointer and the focus are: over the frame, focus on its background.
        frame->Raise();
        if (!xinput::available())
            GTEST_SKIP() << "no XTEST on this display";
        const wxPoint c = screenCentre(frame->background());
        xinput::moveTo(c.x, c.y);
        pumpEvents(50);
        frame->takeFocus();
        pumpEvents(50);
    }
    size_t noted() const { return probePreview->calls.size() + panel->calls.size(); }
    // Presses a key and waits until it has been handled (or, for a key that does
    // nothing, long enough for it to have arrived).
    void press(const char* keys)
    {
        const size_t before = noted();
        const bool full = g_FullScreen;
        const COrvexState* current = g_CurrentState;
        ASSERT_TRUE(xinput::key(keys));
        pumpUntil(
            [&] { return noted() != before || g_FullScreen != full || g_CurrentState != current; },
            400);
        pumpEvents(10);
    }
    std::vector<std::string> take()
    {
        std::vector<std::string> all = probePreview->calls;
        all.insert(all.end(), panel->calls.begin(), panel->calls.end());
        probePreview->calls.clear();
        panel->calls.clear();
        return all;
    }
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(FrameKeys, RealKeyPressesReachTheCurrentState)
{
    press("Return");
    press("ctrl+p");
    press("ctrl+r");
    press("ctrl+s");
    press("Escape");
    press("space");
    EXPECT_EQ(take(), (Calls{"enter", "ctrlP", "ctrlR", "ctrlS", "escape", "space"}));

    press("Left");
    press("Up");
    press("Right");
    press("Down");
    press("F1");
    press("F2");
    press("F3");
    EXPECT_EQ(take(), (Calls{"left", "wheel-1", "right", "wheel1", "F1", "F2", "F3"}));
}

TEST_F(FrameKeys, BrowseKeysGoToTheStripInAnyTab)
{
    press("1");
    press("4");
    press("5");
    press("alt+a");
    press("alt+p");
    press("alt+v");
    press("a");
    press("p");
    press("Prior");
    press("Next");
    EXPECT_EQ(take(), (Calls{"select0", "select3", "scan2", "scan3", "scan4", "prev", "next"}));

    press("Delete");
    EXPECT_EQ(take(), Calls{});
    panel->viewing = true;
    press("Delete");
    EXPECT_EQ(take(), Calls{"delete2"});
}

TEST_F(FrameKeys, KeypadEnterAndDigitsActAsTheirMainKeys)
{
    press("KP_Enter");
    press("KP_1");
    press("KP_4");
    EXPECT_EQ(take(), (Calls{"enter", "select0", "select3"}));
}

TEST_F(FrameKeys, F11TogglesFullScreenExceptInSetup)
{
    press("F11");
    EXPECT_TRUE(g_FullScreen);
    press("F11");
    EXPECT_FALSE(g_FullScreen);

    switchState(StateSetup);
    ASSERT_EQ(g_CurrentState->id(), StateSetup);
    press("F11");
    EXPECT_FALSE(g_FullScreen);
    press("Escape");
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
}

TEST_F(FrameKeys, WheelAnywhereOverTheFrameStepsTheState)
{
    // GTK hands the wheel to the window under the pointer; each must reach the frame.
    auto wheelOver = [](wxWindow* w, int rotation) {
        wxMouseEvent e(wxEVT_MOUSEWHEEL);
        e.SetEventObject(w);
        e.m_wheelRotation = rotation;
        e.m_wheelDelta = 120;
        e.m_wheelAxis = wxMOUSE_WHEEL_VERTICAL;
        w->GetEventHandler()->ProcessEvent(e);
    };
    wheelOver(screen, 120);
    wheelOver(frame->statusLabel(), -240);
    wheelOver(g_States[2]->tabButton(), 60); // less than a notch
    EXPECT_EQ(take(), (Calls{"wheel-1", "wheel2", "wheel0"}));
    // Over a tree (the setup folder tree) the wheel scrolls the tree instead.
    auto* tree = new wxTreeCtrl(frame->statusLabel()->GetParent(), wxID_ANY);
    wheelOver(tree, 120);
    tree->Destroy();
    EXPECT_EQ(take(), Calls{});
}

// GTK gives a clicked bitmap button the focus; the frame takes it back, or Space would
// press the button again besides going by the frame's table.
TEST_F(FrameKeys, AClickedBitmapButtonGivesTheFocusBack)
{
    auto* button = new wxBitmapButton(frame->background(), wxID_ANY, blackBitmap(48, 48),
                                      wxPoint(300, 300), wxSize(48, 48));
    bool used = false;
    button->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { used = true; });
    ASSERT_TRUE(clickOnWindow(button));
    pumpUntil([&] { return used; }, 1000);
    pumpEvents(50);
    EXPECT_TRUE(used) << "the click reached the button";
    EXPECT_EQ(wxWindow::FindFocus(), frame->background());
    take();
    used = false;
    press("space");
    pumpEvents(50);
    EXPECT_EQ(take(), Calls{"space"});
    EXPECT_FALSE(used) << "Space pressed the button again";
    button->Destroy();
}

TEST_F(FrameKeys, FullScreenButtonsToggleByMouse)
{
    ASSERT_TRUE(clickOnWindow(frame->fullScreenButton()));
    pumpUntil([] { return g_FullScreen; }, 1000);
    EXPECT_TRUE(g_FullScreen);
    ASSERT_TRUE(clickOnWindow(frame->exitButton()));
    pumpUntil([] { return !g_FullScreen; }, 1000);
    EXPECT_FALSE(g_FullScreen);
}

namespace
{

TEST_F(FrameKeys, EscapeLeavesFullScreenBeforeAnythingElse)
{
    press("F11");
    ASSERT_TRUE(g_FullScreen);
    take();
    press("Escape");
    EXPECT_FALSE(g_FullScreen);
    const Calls calls = take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "escape"), 0)
        << "the key ends full screen and is not passed on";
    press("Escape");
    EXPECT_EQ(take(), Calls{"escape"});
}

} // namespace
