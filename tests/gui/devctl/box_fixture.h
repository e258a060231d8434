// A top-level window to carry the box's controls, a virtual clock, a log file to read back
// and a tab state that counts what the box asks of it.
#pragma once

#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/skin_bitmap.h"
#include "devctl/orvex_io_control_box.h"
#include "pipeline/capture_state.h"
#include "platform/clock.h"
#include "support/gui_helpers.h"

#include <gtest/gtest.h>

#include <wx/frame.h>

#include <opencv2/videoio.hpp>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace devctltest
{

// Counts the capture triggers and keeps the freeze as the real snapshot does: a press
// freezes (unless a recording runs), the next call releases.
class ProbeState : public COrvexState
{
public:
    explicit ProbeState(wxWindow* parent) : COrvexState(parent, StatePreview) {}
    void snapshotPress() override
    {
        sourceAtPress.push_back(g_ButtonSource);
        if (g_Freeze)
            g_Freeze = false;
        else if (!recordingRuns())
            g_Freeze = true;
    }
    void toggleRecord() override { ++records; }

    std::vector<int> sourceAtPress;
    int records = 0;
};

inline void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                         const wxString& msg)
{
    ADD_FAILURE() << "wx assertion " << cond << " in " << func << " at " << file << ":" << line
                  << " " << msg;
}

class BoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previousAssert = wxSetAssertHandler(failOnAssert);
        auto c = std::make_unique<platform::VirtualClock>();
        clock = c.get();
        m_previousClock = platform::setClock(std::move(c));
        g_ProgramDir = ORVEX_BINARY_DIR;
        m_log = std::tmpfile();
        g_LogFile = m_log;
        g_ButtonSource = 0;
        g_Freeze = false;
        g_SettleTime = 0;
        g_Rotation = 0;
        g_FullScreen = false;
        g_VideoWriter.reset();
        frame = new wxFrame(nullptr, wxID_ANY, "box", wxPoint(20, 20), wxSize(800, 300));
        frame->Show();
        probe = new ProbeState(frame);
        g_CurrentState = probe;
    }
    void TearDown() override
    {
        destroyBox();
        g_CurrentState = nullptr;
        frame->Destroy();
        pumpEvents(20);
        g_VideoWriter.reset();
        g_LogFile = nullptr;
        std::fclose(m_log);
        platform::setClock(std::move(m_previousClock));
        wxSetAssertHandler(m_previousAssert);
    }

    COrvexIOControlBox* makeBox()
    {
        destroyBox();
        box = new COrvexIOControlBox(frame, wxPoint(136, 16), wxSize(240, 108));
        return box;
    }
    void destroyBox()
    {
        delete box;
        box = nullptr;
    }

    std::string logText()
    {
        std::fflush(m_log);
        std::rewind(m_log);
        std::string text;
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, m_log)) > 0)
            text.append(buf, n);
        std::fseek(m_log, 0, SEEK_END);
        return text;
    }
    // Log lines that start with prefix.
    std::vector<std::string> logLines(const std::string& prefix)
    {
        std::vector<std::string> out;
        std::istringstream in(logText());
        for (std::string line; std::getline(in, line);)
            if (line.rfind(prefix, 0) == 0)
                out.push_back(line);
        return out;
    }
    void clearLog()
    {
        std::fflush(m_log);
        m_log = std::freopen(nullptr, "w+", m_log);
        g_LogFile = m_log;
    }

    bool shown(COrvexIOControlBox::Control c) const { return box->control(c)->IsShown(); }
    bool allShown(bool want) const
    {
        for (int c = 0; c < COrvexIOControlBox::kControls; ++c)
            if (box->control(static_cast<COrvexIOControlBox::Control>(c))->IsShown() != want)
                return false;
        return true;
    }
    // The picture an icon shows now.
    const wxBitmap& iconPicture(COrvexIOControlBox::Control c) const
    {
        return static_cast<SkinBitmap*>(box->control(c))->shown();
    }
    bool showsClick(COrvexIOControlBox::Control c) const
    {
        return sameBitmap(iconPicture(c), box->picture(2 * c + 1));
    }
    bool showsRelease(COrvexIOControlBox::Control c) const
    {
        return sameBitmap(iconPicture(c), box->picture(2 * c));
    }
    // Green segments of the level bar as shown, counted along its middle row.
    int litSegments() const
    {
        const wxBitmap& bmp =
            static_cast<SkinBitmap*>(box->control(COrvexIOControlBox::LevelBar))->shown();
        if (!bmp.IsOk())
            return -1;
        wxImage img = bmp.ConvertToImage();
        int segments = 0;
        bool inside = false;
        for (int x = 0; x < img.GetWidth(); ++x) {
            const bool green = img.GetGreen(x, img.GetHeight() / 2) > 200 &&
                               img.GetRed(x, img.GetHeight() / 2) < 50;
            if (green && !inside)
                ++segments;
            inside = green;
        }
        return segments;
    }

    platform::VirtualClock* clock = nullptr;
    wxFrame* frame = nullptr;
    ProbeState* probe = nullptr;
    COrvexIOControlBox* box = nullptr;

private:
    FILE* m_log = nullptr;
    std::unique_ptr<platform::Clock> m_previousClock;
    wxAssertHandler_t m_previousAssert = nullptr;
};

} // namespace devctltest
