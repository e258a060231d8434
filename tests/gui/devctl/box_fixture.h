// A top-level window for the box's controls, virtual time (the rig's too), a log to read
// back and a tab state that counts what the box asks of it; every process-wide value is put
// back after.
#pragma once

#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/skin_bitmap.h"
#include "devctl/orvex_io_control_box.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "support/gui_helpers.h"
#include "support/log_capture.h"
#include "support/rig_session.h"
#include "support/viewer_globals.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <wx/frame.h>

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace devctltest
{

using Box = COrvexIOControlBox;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Keeps the freeze as the real snapshot does: a press freezes unless a recording runs, the
// next call releases.
class ProbeState : public COrvexState
{
public:
    explicit ProbeState(wxWindow* parent) : COrvexState(parent, StatePreview) {}
    void snapshotPress() override
    {
        sourceAtPress.push_back(g_ButtonSource);
        g_Freeze = !g_Freeze && !recordingRuns();
    }
    void toggleRecord() override { ++records; }
    std::vector<int> sourceAtPress;
    int records = 0;
};

class BoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previousAssert = wxSetAssertHandler([](const wxString& file, int line, const wxString&,
                                                 const wxString& cond, const wxString& msg) {
            ADD_FAILURE() << "wx assertion " << cond << " at " << file << ":" << line << " " << msg;
        });
        g_ProgramDir = ORVEX_BINARY_DIR;
        g_ButtonSource = kNoButton;
        g_SettleTime = g_Rotation = 0;
        g_Freeze = g_FullScreen = false;
        frame = new wxFrame(nullptr, wxID_ANY, "box", wxPoint(20, 20), wxSize(800, 300));
        frame->Show();
        g_CurrentState = probe = new ProbeState(frame);
    }
    void TearDown() override
    {
        destroyBox();
        g_CurrentState = nullptr;
        frame->Destroy();
        pumpEvents(20);
        wxSetAssertHandler(m_previousAssert);
    }
    // The unit's calls end within this on any machine while it answers: tests of an answering
    // unit look at its traffic right after each call. Tests of a stalled unit give the
    // window's own wait.
    static constexpr std::chrono::milliseconds kAnswerWait{10000};
    void makeBox(std::chrono::milliseconds answerWait = kAnswerWait)
    {
        box = new Box(frame, wxPoint(136, 16), wxSize(240, 108), answerWait);
    }
    void destroyBox()
    {
        delete box;
        box = nullptr;
    }
    // What the log got since the last call.
    std::string newLog() { return m_log.newText(); }
    bool allShown(bool want) const
    {
        for (int c = 0; c < Box::kControls; ++c)
            if (box->control(Box::Control(c))->IsShown() != want)
                return false;
        return true;
    }
    const wxBitmap& shownPicture(Box::Control c) const
    {
        return static_cast<SkinBitmap*>(box->control(c))->shown();
    }
    bool showsClick(Box::Control c) const
    {
        return sameBitmap(shownPicture(c), box->picture(2 * c + 1)) &&
               !sameBitmap(shownPicture(c), box->picture(2 * c));
    }
    // Green runs along the level bar's middle row.
    int litSegments() const
    {
        wxImage img = shownPicture(Box::LevelBar).ConvertToImage();
        int segments = 0;
        for (int x = 0, y = img.GetHeight() / 2; x < img.GetWidth(); ++x)
            if (img.GetGreen(x, y) > 200 && (x == 0 || img.GetGreen(x - 1, y) < 50))
                ++segments;
        return segments;
    }

private:
    ViewerGlobals m_globals;
    RigTime m_time;
    LogCapture m_log;

protected:
    platform::VirtualClock* const clock = m_time.clock;
    wxFrame* frame = nullptr;
    ProbeState* probe = nullptr;
    Box* box = nullptr;

private:
    wxAssertHandler_t m_previousAssert = nullptr;
};

} // namespace devctltest
