// The whole program on the simulated rig: a fresh user, the real tabs, the rig and the
// viewer on one virtual clock, the frame's timer driven tick by tick by the test.
#pragma once

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/hot_plug.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/shell_parts.h"
#include "app/skin_bitmap.h"
#include "capture/em2800_prop.h"
#include "capture/orvex_preview_state.h"
#include "devctl/orvex_io_control_box.h"
#include "pipeline/capture_state.h"
#include "support/gui_helpers.h"
#include "support/log_capture.h"
#include "support/rig_session.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <wx/scrolbar.h>

#include <fstream>
#include <memory>
#include <string>

class PreviewFixture : public ::testing::Test {
protected:
    // The rig's scenario text for this test; empty for the default rig.
    virtual std::string scenario() const { return {}; }

    void SetUp() override
    {
        const char* h = std::getenv("HOME");
        m_oldHome = h ? h : "";
        ::setenv("HOME", home.str().c_str(), 1);
        rig = std::make_unique<RigSession>(scenario());
        installViewerParts();
        frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
        frame->timer().Stop();
        frame->Show();
        ASSERT_TRUE(pumpUntil([&] { return frame->GetClientSize() == wxSize(1152, 684); }));
        pumpEvents(30);
        preview = dynamic_cast<COrvexPreviewState*>(g_States.at(1));
        ASSERT_NE(preview, nullptr);
    }

    void TearDown() override
    {
        g_SettleTime = 0;
        g_Freeze = false;
        g_ButtonSource = 0;
        g_SnapPending = g_SnapInRecord = false;
        if (g_MainFrame) {
            if (g_FullScreen)
                g_MainFrame->toggleFullScreen();
            g_MainFrame->Close(true);
            pumpUntil([] { return g_MainFrame == nullptr; });
        }
        g_VideoWriter.reset();
        g_FullScreen = false;
        g_Mirror = false;
        g_Rotation = 0;
        g_ZoomFactor = 1.0f;
        g_UsbState = 0;
        g_StatusText.clear();
        g_LastFileName.clear();
        g_InfoTime = 0;
        DestroyEM2800Prop();
        shellParts() = ShellParts{};
        rig.reset();
        ::setenv("HOME", m_oldHome.c_str(), 1);
    }

    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            rig->clock->advance(10);
            frame->frameTick();
        }
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
    void finishSearch()
    {
        EXPECT_TRUE(pumpUntil([&] { return !preview->ioBox()->opening(); }, 30000));
        // Far above the longest search (each camera may take a second for its frame).
        for (int i = 0; i < 3000 && preview->searching(); ++i)
            tick();
        EXPECT_FALSE(preview->searching()) << log();
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

    // What a frame wait of the search gives, its waits measured on the clock.
    cv::Mat awaitFrame(SteppedTask wait, const cv::Mat& out)
    {
        for (int i = 0; i < 300 && wait.running(); ++i) {
            rig->clock->advance(10);
            wait.resume();
        }
        EXPECT_FALSE(wait.running());
        return out;
    }

    std::string log() const { return readFile(home / (toUtf8(g_AppName) + "/log.txt")); }
    bool logHas(const std::string& line) const { return log().find(line + "\n") != std::string::npos; }
    size_t logCount(const std::string& line) const
    {
        const std::string l = log();
        size_t n = 0;
        for (size_t p = l.find(line + "\n"); p != std::string::npos; p = l.find(line + "\n", p + 1))
            ++n;
        return n;
    }

    TempDir home;
    std::unique_ptr<RigSession> rig;
    COrvexFrame* frame = nullptr;
    COrvexPreviewState* preview = nullptr;

private:
    std::string m_oldHome;
};
