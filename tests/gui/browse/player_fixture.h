// A player strip on a real window beside a storage folder and a virtual clock, with
// numbered videos made by the recorder and by ffmpeg.
#pragma once

#include "app/data_files.h"
#include "app/skin_bitmap.h"
#include "browse/orvex_progress_bar.h"
#include "browse/orvex_video_control_box.h"
#include "browse/player_math.h"
#include "pipeline/picture_settings.h"
#include "support/gui_helpers.h"
#include "unit/browse/recorded_video.h"
#include "unit/pipeline/capture_fixture.h"

#include <gtest/gtest.h>

#include <wx/frame.h>

class PlayerFixture : public CaptureFixture
{
protected:
    void SetUp() override
    {
        CaptureFixture::SetUp();
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
        window->Destroy();
        pumpEvents(30);
        CaptureFixture::TearDown();
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

    wxFrame* window = nullptr;
    wxWindow* canvas = nullptr;
    COrvexVideoControlBox* box = nullptr;
};
