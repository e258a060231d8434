#include "browse/orvex_progress_bar.h"

#include "browse/player_math.h"

#include <wx/dcmemory.h>

#include <algorithm>

COrvexProgressBar::COrvexProgressBar(const wxSize& size, wxWindow* parent, const wxPoint& pos)
    : SkinBitmap(parent, ID_PROGRESS_BAR, blackBitmap(size.x, size.y), pos, size),
      width(size.x)
{
    SetBackgroundColour(*wxBLACK);
}

void COrvexProgressBar::drawProgress(int px)
{
    const wxSize s = GetSize();
    // Playback asks on every pass; the fill moves a pixel only every few frames.
    if (m_paintedOnce && px == m_painted && s == m_paintedSize)
        return;
    m_paintedOnce = true;
    m_paintedSize = s;
    wxBitmap picture(std::max(s.x, 1), std::max(s.y, 1));
    {
        wxMemoryDC dc(picture);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        if (px > 0) {
            dc.SetBrush(*wxGREEN_BRUSH);
            dc.DrawRectangle(0, 0, px, s.y);
        }
        dc.SelectObject(wxNullBitmap);
    }
    m_painted = px;
    show(picture);
}

int COrvexProgressBar::seekFromX(int x)
{
    drawProgress(x);
    position = frameAtX(x, total, width);
    return position;
}

void COrvexProgressBar::setPosition(int frame)
{
    position = frame;
    drawProgress(fillWidth(frame, total, width));
}

void COrvexProgressBar::resizeProgress()
{
    if (total == 0)
        return;
    width = GetSize().x;
    drawProgress(fillWidth(position, total, width));
}
