#include "pipeline/orvex_screen.h"

#include "app/data_files.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/skin_geometry.h"
#include "pipeline/frame_fit.h"

#include <wx/dcclient.h>

#include <opencv2/imgproc.hpp>

wxSize g_LastDrawSize(0, 0);

COrvexScreen::COrvexScreen(wxWindow* parent, const wxSize& size, const wxPoint& pos)
    : COrvexScreenBase(parent, pos, size)
{
    SetBackgroundColour(*wxBLACK);
    m_exitButton = new SkinBitmap(this, wxID_ANY, wxBitmap(32, 32), wxDefaultPosition, wxSize(32, 32));
    m_exitButton->Hide();
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

void COrvexScreen::drawFrame()
{
    COrvexState* state = g_CurrentState;
    if (!state)
        return;
    cv::Mat* frame = state->grabFrame();
    if (!frame || frame->empty()) {
        if (recordingRuns())
            state->toggleRecord();
        return;
    }

    const wxSize screen = GetClientSize();
    FitResult fit = fitFrame(frame->cols, frame->rows, screen.x, screen.y, g_Rotation, g_FullScreen);
    if (fit.width < 1 || fit.height < 1) {
        state->releaseFrame();
        return;
    }
    cv::Mat rgb;
    cv::cvtColor(*frame, rgb, cv::COLOR_BGR2RGB);
    wxImage picture(rgb.cols, rgb.rows, rgb.data, true);
    picture = picture.Scale(fit.width, fit.height, wxIMAGE_QUALITY_NORMAL);
    if (g_FullScreen && m_exitImage.IsOk()) {
        const wxPoint at = m_exitButton->GetPosition() - wxPoint(fit.x, fit.y);
        picture.Paste(m_exitImage, at.x, at.y);
    }

    wxClientDC dc(this);
    if (g_LastDrawSize != wxSize(fit.width, fit.height)) {
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
    }
    g_LastDrawSize = wxSize(fit.width, fit.height);
    dc.DrawBitmap(wxBitmap(picture), fit.x, fit.y, false);
    m_lastPicture = picture;

    state->releaseFrame();
}
