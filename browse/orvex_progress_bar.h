// The player's progress bar: a green fill up to the current frame on black; a click or a
// drag on it asks for a frame.
#pragma once

#include "app/skin_bitmap.h"
#include "app/window_ids.h"

#include <algorithm>

class COrvexProgressBar : public SkinBitmap
{
public:
    COrvexProgressBar(const wxSize& size, wxWindow* parent, const wxPoint& pos);

    // Paints the fill from the left edge up to px.
    void drawProgress(int px);
    // Paints up to x and returns the frame x stands for.
    int seekFromX(int x);
    void setPosition(int frame);
    // Follows a new control width.
    void resizeProgress();

    int position = 0;
    int total = 0;
    int width = 0;
    // Right edge of the fill painted last (tests read it).
    int painted() const { return std::max(m_painted, 0); }

private:
    int m_painted = 0;
    wxSize m_paintedSize;
    bool m_paintedOnce = false;
};
