#include "support/frame_harness.h"

#include "app/background_window.h"
#include "app/power_off.h"
#include "app/skin_bitmap.h"

#include <wx/menu.h>

namespace fs = std::filesystem;

using FrameLayout = FrameFixture;

TEST_F(FrameLayout, FirstStartWritesTheDataFiles)
{
    // strings.txt of the program names the data folder.
    const std::string data = home / toUtf8(g_AppName);
    EXPECT_TRUE(fs::is_directory(data + "/DCIM"));
    EXPECT_EQ(readFile(data + "/config.txt"), "PATH " + data + "/DCIM\n");
    const std::string log = readFile(data + "/log.txt");
    EXPECT_EQ(log.substr(0, log.find('\n') + 1), "Frame createGUIControls() Open logFile OK\n");
    EXPECT_EQ(frame->GetTitle(), g_Title);
}

TEST_F(FrameLayout, DesignSizePlacesEveryChild)
{
    EXPECT_EQ(frame->GetClientSize(), wxSize(1152, 684));
    EXPECT_EQ(frame->canvas().GetSize(), wxSize(1152, 684));
    EXPECT_EQ(rectOf(frame->background()), wxRect(0, 0, 1152, 684));
    EXPECT_EQ(rectOf(screen), wxRect(291, 74, 640, 480));
    EXPECT_EQ(rectOf(frame->fullScreenButton()), wxRect(874, 600, 64, 64));
    EXPECT_EQ(rectOf(frame->statusLabel()), wxRect(292, 30, 300, 28));
    EXPECT_EQ(rectOf(frame->noticeLabel()), wxRect(584, 40, 300, 28));
    EXPECT_EQ(rectOf(frame->powerOff()->button()), wxRect(44, 593, 70, 72));
    ASSERT_EQ(g_States.size(), 4u);
    EXPECT_EQ(rectOf(g_States[1]->tabButton()), wxRect(84, 20, 50, 108));
    EXPECT_EQ(rectOf(g_States[2]->tabButton()), wxRect(84, 133, 50, 108));
    EXPECT_EQ(rectOf(g_States[3]->tabButton()), wxRect(84, 246, 50, 108));
    auto* strip = dynamic_cast<COrvexBrowsePanel*>(frame->browsePanel());
    ASSERT_NE(strip, nullptr);
    // The strip is 182 wide at the design size, a little below its own 184: scaled.
    EXPECT_EQ(rectOf(strip->slot(0)), wxRect(970, 153, 148, 112));
    EXPECT_TRUE(screen->IsShown());
    EXPECT_TRUE(frame->fullScreenButton()->IsShown());
    EXPECT_FALSE(frame->exitButton()->IsShown());
}

TEST_F(FrameLayout, ResizeRelayoutsAfterTheDragStops)
{
    const int before = frame->relayoutCount();
    // A size event every tick keeps postponing the relayout.
    for (int i = 0; i < 5; ++i) {
        frame->SetClientSize(900 + 10 * i, 560);
        pumpEvents(20);
        tick();
        EXPECT_EQ(frame->relayoutCount(), before) << i;
    }
    pumpEvents(20);
    tick();
    pumpEvents(5);
    tick();
    EXPECT_EQ(frame->relayoutCount(), before + 1);
    tick(5);
    EXPECT_EQ(frame->relayoutCount(), before + 1);
}

TEST_F(FrameLayout, SmallerWindowScalesEverything)
{
    resizeClient(800, 500);
    // 800 x 500: every horizontal value times 800/1152, every vertical one times 500/684.
    const SkinGeometry& g = frame->geometry();
    EXPECT_TRUE(g.scaled);
    EXPECT_EQ(frame->canvas().GetSize(), wxSize(800, 500));
    EXPECT_EQ(rectOf(frame->background()), wxRect(0, 0, 800, 500));
    EXPECT_EQ(g[11], (SkinRect{0, 0, 94, 269}));
    EXPECT_EQ(rectOf(screen), wxRect(201, 53, 444, 354));
    EXPECT_EQ(rectOf(frame->statusLabel()), wxRect(201, 21, 209, 20));
    EXPECT_EQ(rectOf(frame->noticeLabel()), wxRect(405, 28, 209, 20));
    EXPECT_EQ(rectOf(frame->fullScreenButton()), wxRect(607, 439, 44, 46));
    EXPECT_EQ(rectOf(frame->powerOff()->button()), wxRect(30, 433, 48, 52));
    EXPECT_EQ(rectOf(g_States[2]->tabButton()), wxRect(58, 97, 34, 78));

    resizeClient(1152, 684);
    EXPECT_EQ(rectOf(screen), wxRect(291, 74, 640, 480));
}

TEST_F(FrameLayout, StartOnANarrowScreenScalesTheClientArea)
{
    // The primary screen here is wider than the skin; the rule itself is checked by the
    // geometry, the window must honour whatever it was given.
    SkinGeometry design = computeSkinGeometry(1152, 684);
    SkinSize s = initialClientSize(design, 1024);
    resizeClient(s.w, s.h);
    EXPECT_EQ(frame->GetClientSize(), wxSize(819, 486));
    EXPECT_EQ(rectOf(screen), wxRect(206, 51, 456, 344));
}

TEST_F(FrameLayout, FullScreenCoversTheClientAreaAndBack)
{
    frame->toggleFullScreen();
    pumpEvents(30);
    EXPECT_TRUE(g_FullScreen);
    EXPECT_EQ(rectOf(screen), wxRect(0, 0, 1152, 684));
    EXPECT_FALSE(frame->powerOff()->button()->IsShown());
    EXPECT_FALSE(frame->fullScreenButton()->IsShown());
    EXPECT_TRUE(frame->exitButton()->IsShown());
    EXPECT_EQ(rectOf(frame->exitButton()), wxRect(1112, 644, 32, 32));
    EXPECT_FALSE(g_States[1]->tabButton()->IsShown());
    auto* strip = dynamic_cast<COrvexBrowsePanel*>(frame->browsePanel());
    EXPECT_FALSE(strip->slot(0)->IsShown());
    EXPECT_TRUE(screen->exitFullScreenButton()->IsShown());

    frame->toggleFullScreen();
    pumpEvents(30);
    EXPECT_FALSE(g_FullScreen);
    EXPECT_EQ(rectOf(screen), wxRect(291, 74, 640, 480));
    EXPECT_TRUE(frame->powerOff()->button()->IsShown());
    EXPECT_TRUE(frame->fullScreenButton()->IsShown());
    EXPECT_FALSE(frame->exitButton()->IsShown());
    EXPECT_TRUE(g_States[1]->tabButton()->IsShown());
    EXPECT_TRUE(strip->slot(0)->IsShown());
}

TEST_F(FrameLayout, QuarterTurnRelaysTheScreenOnTheNextDrawingTick)
{
    g_Rotation = 1;
    screen->SetSize(10, 10, 20, 20);
    tick();
    EXPECT_EQ(rectOf(screen), wxRect(291, 74, 640, 480));
}

TEST_F(FrameLayout, AboutNamesTheRealToolkitAndPlatform)
{
    wxAboutDialogInfo info = frame->aboutInfo();
    EXPECT_EQ(info.GetName(), g_Title);
    EXPECT_EQ(info.GetVersion(), ", Version 2.25");
    const wxString d = info.GetDescription();
    EXPECT_TRUE(d.StartsWith("wxWidgets 3.2")) << d;
    EXPECT_TRUE(d.EndsWith("-Linux-Unicode build. OpenCV " CV_VERSION "-Linux.")) << d;

    std::unique_ptr<wxMenu> menu(frame->background()->makeContextMenu());
    wxMenuItem* item = menu->FindItem(ID_ABOUT);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetItemLabelText(), "About " + g_Title);
    EXPECT_TRUE(menu->FindItemByPosition(0)->IsSeparator());
}

TEST_F(FrameLayout, PowerOffClosesTheProgramLikeTheCloseBox)
{
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetEventObject(frame->powerOff()->button());
    frame->powerOff()->button()->GetEventHandler()->ProcessEvent(down);
    EXPECT_TRUE(pumpUntil([] { return g_MainFrame == nullptr; }));
    EXPECT_TRUE(g_States.empty());
    EXPECT_EQ(g_LogFile, nullptr);
}
