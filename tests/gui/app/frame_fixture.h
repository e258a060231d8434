// A main frame on the X server with a fresh user (temporary HOME) and a virtual clock;
// its timer is stopped so that each test drives the ticks itself.
#pragma once

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/shell_parts.h"
#include "browse/orvex_browse_image.h"
#include "browse/orvex_browse_panel.h"
#include "capture/orvex_preview_state.h"
#include "pipeline/orvex_screen.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "support/gui_helpers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include <string>
#include <vector>

// The preview with every call of the frame's key table and wheel noted.
class ProbePreview : public COrvexPreviewState {
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
class ProbePanel : public COrvexBrowsePanelBase {
public:
    explicit ProbePanel(wxWindow* parent) : COrvexBrowsePanelBase(parent) {}
    std::vector<std::string> calls;
    bool viewing = false;
    size_t files = 0;
    void layoutPanel(int x, int y, int w, int h) override
    {
        laidOut = wxRect(x, y, w, h);
    }
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

class ProbeScreen : public COrvexScreen {
public:
    using COrvexScreen::COrvexScreen;
    int draws = 0;
    void drawFrame() override
    {
        ++draws;
        COrvexScreen::drawFrame();
    }
};

class FrameFixture : public ::testing::Test {
protected:
    // probePanel: the frame gets a ProbePanel instead of the real strip.
    explicit FrameFixture(bool probePanel = false) : m_probePanel(probePanel) {}

    void SetUp() override
    {
        const char* h = std::getenv("HOME");
        m_oldHome = h ? h : "";
        ::setenv("HOME", home.str().c_str(), 1);
        auto c = std::make_unique<platform::VirtualClock>();
        clock = c.get();
        m_oldClock = platform::setClock(std::move(c));

        installViewerParts();
        ShellParts& p = shellParts();
        p.screen = [this](wxWindow* parent, const wxPoint& pos, const wxSize& size) -> COrvexScreenBase* {
            return screen = new ProbeScreen(parent, size, pos);
        };
        p.preview = [this](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
            return preview = new ProbePreview(parent, origin);
        };
        adjustParts(p);
        if (m_probePanel)
            p.browsePanel = [this](wxWindow* parent, const wxPoint&, const wxSize&) -> COrvexBrowsePanelBase* {
                return panel = new ProbePanel(parent);
            };

        frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
        frame->timer().Stop();
        frame->Show();
        const SkinSize expected = initialClientSize(computeSkinGeometry(1152, 684), platform::primaryScreenWidth());
        ASSERT_TRUE(pumpUntil([&] { return frame->GetClientSize() == wxSize(expected.w, expected.h); }));
        tick(3);
        pumpEvents(50);
    }

    void TearDown() override
    {
        g_SettleTime = 0;
        g_InfoTime = 0;
        g_VideoWriter.reset();
        if (g_MainFrame) {
            if (g_FullScreen)
                g_MainFrame->toggleFullScreen();
            g_MainFrame->Close(true);
            pumpUntil([] { return g_MainFrame == nullptr; });
        }
        g_FullScreen = false;
        g_Mirror = false;
        g_Rotation = 0;
        g_StatusText.clear();
        g_LastFileName.clear();
        shellParts() = ShellParts{};
        platform::setClock(std::move(m_oldClock));
        ::setenv("HOME", m_oldHome.c_str(), 1);
    }

    // A fixture's own windows in place of the program's, before the frame is built.
    virtual void adjustParts(ShellParts&) {}

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

    TempDir home;
    platform::VirtualClock* clock = nullptr;
    COrvexFrame* frame = nullptr;
    ProbeScreen* screen = nullptr;
    ProbePreview* preview = nullptr;
    ProbePanel* panel = nullptr;

private:
    bool m_probePanel;
    std::string m_oldHome;
    std::unique_ptr<platform::Clock> m_oldClock;
};

class FrameWithProbePanel : public FrameFixture {
protected:
    FrameWithProbePanel() : FrameFixture(true) {}
};
