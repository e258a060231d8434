// The window the picture is painted in, and the one drawing pass every frame goes through.
#pragma once

#include "app/screen_base.h"
#include "pipeline/picture_composer.h"
#include "pipeline/screen_painter.h"

#include <wx/image.h>

#include <cstdint>

class COrvexScreen : public COrvexScreenBase
{
public:
    COrvexScreen(wxWindow* parent, const wxSize& size, const wxPoint& pos);
    ~COrvexScreen() override;

    void drawFrame() override;
    void layoutFullScreen() override;
    void showExitButton(bool show) override;

    SkinBitmap* exitFullScreenButton() const { return m_exitButton; }
    // The picture painted by the last pass and where it went (tests compare them).
    const wxImage& lastPicture() const { return m_picture; }
    wxPoint lastOffset() const { return m_offset; }
    // The picture on the window as the painter holds it for exposes.
    wxImage shownPicture() const { return m_painter.shown(); }

private:
    void onPaint(wxPaintEvent& event);

    wxImage m_exitImage;
    SkinBitmap* m_exitButton = nullptr;
    wxImage m_picture;
    ScreenPainter m_painter;
    wxPoint m_offset{0, 0};
    PictureComposer m_composer;
    cv::Mat m_fileFrame; // the file's frame when it has another size than the camera's
};

extern wxSize g_LastDrawSize;
// Pictures painted by display passes since the start (benchmarks read it from outside the
// process to divide its CPU time by the frames shown).
extern volatile uint64_t g_FramesPainted;
// Milliseconds from the camera taking each painted frame to its paint, summed: the mean age
// at paint is its growth over that of g_FramesPainted.
extern volatile uint64_t g_FrameAgeMsTotal;
