#include "browse/orvex_browse_image.h"

#include <wx/dcmemory.h>

COrvexBrowseImage::COrvexBrowseImage(const wxSize& size, wxWindow* parent, wxWindowID id,
                                     const wxPoint& pos)
    : SkinBitmap(parent, id, wxBitmap(std::max(size.x, 1), std::max(size.y, 1)), pos, size)
{
    SetBackgroundColour(*wxBLACK);
    m_thumbnail = wxBitmap(std::max(size.x - border, 1), std::max(size.y - border, 1));
}

void COrvexBrowseImage::clearSlot()
{
    kind = SlotEmpty;
    showIcon = false;
    selected = false;
    const wxSize s = GetSize();
    show(wxBitmap(std::max(s.x, 1), std::max(s.y, 1)));
}

void COrvexBrowseImage::renderPhoto()
{
    const wxSize s = GetSize();
    const int w = s.x - border, h = s.y - border;
    if (!photo.IsOk() || w < 1 || h < 1)
        return;
    m_thumbnail = wxBitmap(photo.Scale(w, h, wxIMAGE_QUALITY_NORMAL));
    redraw();
}

void COrvexBrowseImage::redraw()
{
    const wxSize s = GetSize();
    wxBitmap full(std::max(s.x, 1), std::max(s.y, 1));
    {
        wxMemoryDC dc(full);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        if (m_thumbnail.IsOk())
            dc.DrawBitmap(m_thumbnail, border / 2, border / 2, false);
        if (selected) {
            dc.SetPen(wxPen(*wxYELLOW, 8));
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawRectangle(0, 0, s.x, s.y);
        }
        dc.SelectObject(wxNullBitmap);
    }
    show(full);
}
