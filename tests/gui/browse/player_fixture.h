// A player strip on a real window, a storage folder and a virtual clock, with numbered
// videos made by the recorder and by ffmpeg.
#pragma once

#include "app/data_files.h"
#include "app/picture_settings.h"
#include "app/skin_bitmap.h"
#include "browse/orvex_progress_bar.h"
#include "browse/orvex_video_control_box.h"
#include "browse/player_math.h"
#include "support/dates.h"
#include "support/gui_helpers.h"
#include "support/temp_dir.h"
#include "unit/browse/recorded_video.h"

#include <gtest/gtest.h>

#include <wx/frame.h>

class PlayerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto c = std::make_unique<platform::VirtualClock>();
        clock = c.get();
        clock->setLocalTime(march7());
        m_oldClock = platform::setClock(std::move(c));
        m_oldStorage = g_StoragePath;
        g_StoragePath = wxString::FromUTF8(storage.str());
        g_ProgramDir = ORVEX_BINARY_DIR;
        window = new wxFrame(nullptr, wxID_ANY, "player", wxPoint(0, 0), wxSize(1000, 700));
        canvas = new wxWindow(window, wxID_ANY, wxPoint(0, 0), wxSize(1000, 700));
        box = new COrvexVideoControlBox(canvas, wxPoint(100, 500), wxSize(652, 108));
        box->visible = true;
        box->layoutPlayer(wxBitmap(652, 108), 100, 500);
        window->Show();
        ASSERT_TRUE(pumpUntil([&] { return box->progressBar()->IsShownOnScreen(); }));
        pumpEvents(30);
    }
    void TearDown() override
    {
        g_FullScreen = false;
        window->Destroy();
        pumpEvents(30);
        g_StoragePath = m_oldStorage;
        platform::setClock(std::move(m_oldClock));
    }

    int shown() const { return numbered::read(box->frameCopy()); }
    // The frame the next drawing pass would paint.
    int pass()
    {
        cv::Mat* f = box->nextFrame();
        return f ? numbered::read(*f) : -2;
    }
    // A left-button event on one of the player's controls, at x, y inside it.
    void mouse(wxWindow* w, wxEventType type, int x = 1, int y = 1, bool leftHeld = false)
    {
        wxMouseEvent e(type);
        e.SetEventObject(w);
        e.SetId(w->GetId());
        e.SetPosition(wxPoint(x, y));
        e.m_leftDown = leftHeld;
        w->GetEventHandler()->ProcessEvent(e);
    }
    COrvexProgressBar* bar() const { return box->progressBar(); }
    std::string mov(int count, int fps = 25, cv::Size size = cv::Size(320, 240))
    {
        const std::string p = storage / ("numbered" + std::to_string(count) + ".mov");
        return numbered::h264Mov(p, size, count, fps) ? p : std::string();
    }
    std::string recorded(int count, cv::Size size = cv::Size(320, 240))
    {
        return recordNumbered(*clock, size, count);
    }

    TempDir storage;
    platform::VirtualClock* clock = nullptr;
    wxFrame* window = nullptr;
    wxWindow* canvas = nullptr;
    COrvexVideoControlBox* box = nullptr;

private:
    std::unique_ptr<platform::Clock> m_oldClock;
    wxString m_oldStorage;
};
