// What the frame asks of the picture window: the drawing pass, its full-screen layout and
// its exit-full-screen button.
#pragma once

#include "app/skin_bitmap.h"

class COrvexScreenBase : public SkinBitmap {
public:
    COrvexScreenBase(wxWindow* parent, const wxPoint& pos, const wxSize& size);
    virtual void drawFrame() = 0;
    virtual void layoutFullScreen() = 0;
    virtual void showExitButton(bool show) = 0;
};
