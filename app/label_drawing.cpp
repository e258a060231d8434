#include "app/label_drawing.h"

#include <wx/dcmemory.h>

namespace {
wxFont labelFont(wxDC& dc)
{
    wxFont font = dc.GetFont();
    if (!font.IsOk())
        font = *wxNORMAL_FONT;
    font.SetFaceName("arial");
    return font;
}
}  // namespace

int drawFittedText(wxBitmap& bitmap, const wxString& text, int startSize, const wxColour& colour)
{
    if (!bitmap.IsOk())
        return 0;
    wxMemoryDC dc(bitmap);
    wxFont font = labelFont(dc);
    int size = startSize;
    wxCoord w = 0, h = 0;
    for (; size >= 1; --size) {
        font.SetPointSize(size);
        dc.SetFont(font);
        dc.GetTextExtent(text, &w, &h);
        if ((w < bitmap.GetWidth() && h < bitmap.GetHeight()) || size == 1)
            break;
    }
    dc.SetTextForeground(colour);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.DrawText(text, 0, 0);
    dc.SelectObject(wxNullBitmap);
    return size;
}

int drawZoomText(wxBitmap& bitmap, const wxString& text)
{
    wxMemoryDC dc(bitmap);
    wxFont font = labelFont(dc);
    int size = 10;
    wxCoord w = 0, h = 0;
    for (;;) {
        font.SetPointSize(size);
        dc.SetFont(font);
        dc.GetTextExtent(text, &w, &h);
        if ((w < bitmap.GetWidth() && h < bitmap.GetHeight()) || size <= 1)
            break;
        --size;
    }
    dc.SetTextForeground(wxColour(240, 240, 240));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.DrawText(text, bitmap.GetWidth() - w, (bitmap.GetHeight() - h) / 2);
    dc.SelectObject(wxNullBitmap);
    return size;
}
