// The main frame on the X server for one test: a fresh user (temporary HOME), virtual time,
// the frame's timer stopped so that the test drives the ticks itself, and every process-wide
// value put back afterwards. Options choose the rest: the simulated rig behind every device,
// noting windows in place of the program's own, ticks before the test.
#pragma once

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/hot_plug.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/shell_parts.h"
#include "app/skin_bitmap.h"
#include "browse/orvex_browse_image.h"
#include "browse/orvex_browse_panel.h"
#include "capture/orvex_preview_state.h"
#include "devctl/orvex_io_control_box.h"
#include "pipeline/capture_state.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/picture_settings.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "support/gui_helpers.h"
#include "support/log_capture.h"
#include "support/rig_session.h"
#include "support/temp_dir.h"
#include "support/viewer_globals.h"
#include "support/virtual_time.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <wx/scrolbar.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The preview with every call of the frame's key table and wheel noted.
class ProbePreview : public COrvexPreviewState
{
public:
    using COrvexPreviewState::COrvexPreviewState;
    std::vector<std::string> calls;
    void wheelStep(int d) override { calls.push_back("wheel" + std::to_string(d)); }
    void keyLeft() override { calls.push_back("left"); }
    void keyRight() override { calls.push_back("right"); }
    void keySpace() override { calls.push_back("space"); }
    void keyCtrlR() override { calls.push_back("ctrlR"); }
    void keyEnter() override { calls.push_back("enter"); }
    void keyCtrlP() override { calls.push_back("ctrlP"); }
    void keyCtrlS() override { calls.push_back("ctrlS"); }
    void keyEscape() override { calls.push_back("escape"); }
    void keyF1() override { calls.push_back("F1"); }
    void keyF2() override { calls.push_back("F2"); }
    void keyF3() override { calls.push_back("F3"); }
    void onTimer() override
    {
        ++timerCalls;
        COrvexPreviewState::onTimer();
    }
    int timerCalls = 0;
};

// A strip that notes what the frame asks of it.
class ProbePanel : public COrvexBrowsePanelBase
{
public:
    explicit ProbePanel(wxWindow* parent) : COrvexBrowsePanelBase(parent) {}
    std::vector<std::string> calls;
    bool viewing = false;
    size_t files = 0;
    void layoutPanel(int x, int y, int w, int h) override { laidOut = wxRect(x, y, w, h); }
    void hideControls() override { calls.push_back("hide"); }
    void showControls() override { calls.push_back("show"); }
    void pagePrev() override { calls.push_back("prev"); }
    void pageNext() override { calls.push_back("next"); }
    void scanFolder(int f) override { calls.push_back("scan" + std::to_string(f)); }
    void selectSlot(int s) override { calls.push_back("select" + std::to_string(s)); }
    void deleteFile(int s) override { calls.push_back("delete" + std::to_string(s)); }
    void addFile(const std::string& p) override { calls.push_back("add " + p); }
    bool isViewing() const override { return viewing; }
    int selectedSlot() const override { return 2; }
    size_t fileCount() const override { return files; }
    wxRect laidOut;
};

class ProbeScreen : public COrvexScreen
{
public:
    using COrvexScreen::COrvexScreen;
    int draws = 0;
    void drawFrame() override
    {
        ++draws;
        COrvexScreen::drawFrame();
    }
};

struct FrameOptions {
    // The simulated rig behind every device, on the frame's clock; its scenario is scenario().
    bool rig = false;
    // A ProbeScreen and a ProbePreview in place of the program's screen and live tab.
    bool probes = false;
    // A ProbePanel in place of the real strip.
    bool probePanel = false;
    // Timer ticks run once the frame has its size, before the test.
    int startTicks = 0;
};

class FrameHarness : public ::testing::Test
{
protected:
    explicit FrameHarness(FrameOptions options) : m_options(options) {}

    // The rig's scenario text for this test; empty for the default rig.
    virtual std::string scenario() const { return {}; }
    // A fixture's own windows in place of the program's, before the frame is built.
    virtual void adjustParts(ShellParts&) {}

    void SetUp() override
    {
        const char* h = std::getenv("HOME");
        m_oldHome = h ? h : "";
        ::setenv("HOME", home.str().c_str(), 1);
        if (m_options.rig) {
            rig = std::make_unique<RigSession>(scenario());
            clock = rig->clock;
        } else {
            clock = m_time.emplace().clock;
        }

        installViewerParts();
        ShellParts& p = shellParts();
        if (m_options.probes) {
            p.screen = [this](wxWindow* parent, const wxPoint& pos,
                              const wxSize& size) -> COrvexScreenBase* {
                return screen = new ProbeScreen(parent, size, pos);
            };
            p.preview = [this](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
                return probePreview = new ProbePreview(parent, origin);
            };
        }
        adjustParts(p);
        if (m_options.probePanel)
            p.browsePanel = [this](wxWindow* parent, const wxPoint&,
                                   const wxSize&) -> COrvexBrowsePanelBase* {
                return panel = new ProbePanel(parent);
            };

        frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
        frame->timer().Stop();
        frame->Show();
        const SkinSize expected =
            initialClientSize(computeSkinGeometry(1152, 684), platform::primaryScreenWidth());
        ASSERT_TRUE(
            pumpUntil([&] { return frame->GetClientSize() == wxSize(expected.w, expected.h); }));
        tick(m_options.startTicks);
        pumpEvents(50);
        preview = dynamic_cast<COrvexPreviewState*>(g_States.at(1));
        ASSERT_NE(preview, nullptr);
    }

    void TearDown() override
    {
        if (g_MainFrame) {
            if (g_FullScreen)
                g_MainFrame->toggleFullScreen();
            g_MainFrame->Close(true);
            pumpUntil([] { return g_MainFrame == nullptr; });
        }
        shellParts() = ShellParts{};
        rig.reset();
        m_time.reset();
        // A test skipped before SetUp never changed HOME.
        if (m_oldHome)
            ::setenv("HOME", m_oldHome->c_str(), 1);
    }

    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            clock->advance(10);
            frame->frameTick();
        }
    }

    // Resizes the client area as a window manager would, then lets the debounce run.
    void resizeClient(int w, int h)
    {
        frame->SetClientSize(w, h);
        pumpUntil([&] { return frame->GetClientSize() == wxSize(w, h); });
        pumpEvents(30);
        tick(3);
        pumpEvents(30);
    }

    // Lets the first layout and the first camera search happen.
    void startUp()
    {
        tick(4);
        finishSearch();
        pumpEvents(20);
    }

    // The camera search goes on over the timer's ticks: ticks until it has ended. The box's
    // opening of a scope runs on a thread of its own and is picked up by the box's watch (real
    // time); the search asks the box a second after it began, by when the opening has ended.
    // A unit that answered the search too late (the box waits 50 ms of real time, which a
    // loaded machine can pass) has the box's watch run the search again once it answers, as
    // the program does: that search is run to its end too.
    void finishSearch()
    {
        for (int round = 0; round < 5; ++round) {
            EXPECT_TRUE(pumpUntil([&] { return !preview->ioBox()->opening(); }, 30000));
            // Far above the longest search (each camera may take a second for its frame).
            for (int i = 0; i < 3000 && preview->searching(); ++i)
                tick();
            EXPECT_FALSE(preview->searching()) << log.text();
            if (!preview->ioBox()->lookMissed())
                return;
            EXPECT_TRUE(pumpUntil(
                [&] { return preview->searching() || !preview->ioBox()->lookMissed(); }, 30000));
            if (!preview->searching())
                return;
        }
    }

    // A search started now, run to its end.
    void searchAgain()
    {
        preview->refreshCamera();
        finishSearch();
    }

    // Device changes reach the frame through the event loop; the search they start ends.
    void settleEvents()
    {
        pumpEvents(60);
        finishSearch();
    }

    ViewerGlobals globals;
    TempDir home;
    std::unique_ptr<RigSession> rig;
    platform::VirtualClock* clock = nullptr;
    COrvexFrame* frame = nullptr;
    // The live tab: the program's own, or the probe.
    COrvexPreviewState* preview = nullptr;
    ProbeScreen* screen = nullptr;
    ProbePreview* probePreview = nullptr;
    ProbePanel* panel = nullptr;
    // The log the frame keeps in the user's data folder.
    LogCapture log{[this] { return home / (toUtf8(g_AppName) + "/log.txt"); }};

private:
    FrameOptions m_options;
    std::optional<VirtualTime> m_time;
    std::optional<std::string> m_oldHome;
};

// The frame with noting windows on virtual time, without the rig.
class FrameFixture : public FrameHarness
{
protected:
    explicit FrameFixture(bool probePanel = false)
        : FrameHarness({.probes = true, .probePanel = probePanel, .startTicks = 3})
    {
    }
};

class FrameWithProbePanel : public FrameFixture
{
protected:
    FrameWithProbePanel() : FrameFixture(true) {}
};

// The whole program on the simulated rig: the real tabs, the rig and the viewer on one clock.
class PreviewFixture : public FrameHarness
{
protected:
    PreviewFixture() : FrameHarness({.rig = true}) {}
};
