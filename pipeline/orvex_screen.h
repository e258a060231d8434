// The window the picture is painted in, and the one drawing pass every frame goes through.
#pragma once

#include "app/screen_base.h"

#include <wx/image.h>

class COrvexScreen : public COrvexScreenBase {
public:
    COrvexScreen(wxWindow* parent, const wxSize& size, const wxPoint& pos);
    ~COrvexScreen() override;

    void drawFrame() override;
    void layoutFullScreen() override;
    void showExitButton(bool show) override;

    SkinBitmap* exitFullScreenButton() const { return m_exitButton; }
    // The picture painted by the last pass (tests compare it).
    const wxImage& lastPicture() const { return m_lastPicture; }

private:
    wxImage m_exitImage;
    SkinBitmap* m_exitButton = nullptr;
    wxImage m_lastPicture;
};

extern wxSize g_LastDrawSize;
