#include "pipeline/orvex_screen.h"

#include "app/capture_notice.h"
#include "app/data_files.h"
#include "app/orvex_state.h"
#include "app/skin_geometry.h"
#include "pipeline/capture_state.h"
#include "pipeline/frame_fit.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"
#include "pipeline/snapshot_file.h"
#include "pipeline/time_stamp.h"
#include "platform/clock.h"

#include <wx/dcclient.h>

#include <opencv2/imgproc.hpp>

namespace
{
// The pass shows what came of its snapshot and lets the tab's snapshot button go, either way.
void saveAndShowSnapshot(const cv::Mat& file)
{
    showCaptureResult(saveSnapshot(file));
    if (g_CurrentState)
        g_CurrentState->snapshotRelease();
}
} // namespace

wxSize g_LastDrawSize(0, 0);
volatile uint64_t g_FramesPainted = 0;
volatile uint64_t g_FrameAgeMsTotal = 0;

COrvexScreen::COrvexScreen(wxWindow* parent, const wxSize& size, const wxPoint& pos)
    : COrvexScreenBase(parent, pos, size)
{
    SetBackgroundColour(*wxBLACK);
    m_exitButton =
        new SkinBitmap(this, wxID_ANY, wxBitmap(32, 32), wxDefaultPosition, wxSize(32, 32));
    m_exitButton->Hide();
    // An expose repaints the last picture where it was painted, on black.
    Bind(wxEVT_PAINT, &COrvexScreen::onPaint, this);
}

COrvexScreen::~COrvexScreen()
{
    if (m_exitButton)
        m_exitButton->Destroy();
}

void COrvexScreen::layoutFullScreen()
{
    const wxSize s = GetSize();
    SkinRect r = exitButtonRect(s.x, s.y);
    wxBitmap picture = loadSkinPicture("non_fullscreen_release.bmp", r.w, r.h);
    m_exitImage = picture.IsOk() ? picture.ConvertToImage() : wxImage();
    if (picture.IsOk())
        m_exitButton->show(picture);
    m_exitButton->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
}

void COrvexScreen::showExitButton(bool show)
{
    m_exitButton->Show(show);
}

void COrvexScreen::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    m_painter.repaint(dc);
}

void COrvexScreen::drawFrame()
{
    COrvexState* state = g_CurrentState;
    if (!state)
        return;
    cv::Mat* frame = state->grabFrame();
    if (!frame || frame->empty() || frame->type() != CV_8UC3) {
        // The camera is gone: close the recording so what was written stays playable.
        if (recordingRuns()) {
            state->toggleRecord();
            showCaptureResult(finishRecording());
        }
        if (frame)
            state->releaseFrame();
        return;
    }

    const bool stamp = state->id() == StatePreview &&
                       (g_SnapPending || g_SnapInRecord || recordingRuns()) && g_TimeStamp != 0;
    const bool saveNow = g_SnapPending && !g_Freeze;
    const PictureSettings settings{g_Mirror, g_ZoomFactor, g_Rotation};
    const std::string stampLine = stamp ? stampText(g_CaptureTime, g_TimeStamp) : std::string();

    // The painted picture comes from the untouched frame with the transforms folded into its
    // one resampling, and the stamp drawn at the painted scale; the whole frame, which the
    // files keep, is transformed after the paint. Either way the screen shows the same picture.
    const cv::Size fileSize = state->fileFrameSize(*frame);
    const wxSize screen = GetClientSize();
    const FitResult fit =
        fitFrame(frame->cols, frame->rows, screen.x, screen.y, g_Rotation, g_FullScreen);
    if (fit.width > 0 && fit.height > 0) {
        m_picture =
            m_composer.compose(*frame, !settings.transformed(), fit.width, fit.height, settings);
        if (stamp) {
            cv::Mat rgb(fit.height, fit.width, CV_8UC3, m_picture.GetData());
            drawTimeStampOnPicture(rgb, stampLine, fileSize);
        }
        if (g_FullScreen && m_exitImage.IsOk()) {
            const wxPoint at = m_exitButton->GetPosition() - wxPoint(fit.x, fit.y);
            m_picture.Paste(m_exitImage, at.x, at.y);
        }
        const wxSize size(fit.width, fit.height);
        m_offset = wxPoint(fit.x, fit.y);
        m_painter.paint(*this, m_picture, fit.x, fit.y, g_LastDrawSize != size);
        g_LastDrawSize = size;
        g_FramesPainted = g_FramesPainted + 1;
        g_FrameAgeMsTotal =
            g_FrameAgeMsTotal + (platform::clock().tickCount() - state->frameTakenAt());
    }

    // The frame itself only when a file keeps it (snapshot, recording), at the file's size:
    // scaled into a buffer of the pass's own where the camera gives another size.
    cv::Mat* file = frame;
    if (saveNow || g_SnapInRecord || recordingRuns()) {
        if (fileSize != frame->size()) {
            cv::resize(*frame, m_fileFrame, fileSize, 0, 0, cv::INTER_LINEAR);
            file = &m_fileFrame;
        }
        m_composer.transformFrame(*file, settings);
        if (stamp)
            drawTimeStamp(*file, stampLine);
        if (saveNow) {
            stillSnapshotTaken();
            saveAndShowSnapshot(*file);
        }
    }

    if (recordingRuns() && !writeRecordingFrame(*file)) {
        state->toggleRecord();
        showCaptureResult(finishRecording()); // a state that does not record cannot leave it open
    }
    if (g_SnapInRecord) {
        frameSnapshotTaken();
        saveAndShowSnapshot(*file);
    }
    state->releaseFrame();
}
