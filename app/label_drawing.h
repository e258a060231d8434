// Text drawn into skin bitmaps: the status and notice labels and the zoom label.
#pragma once

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/string.h>

// Draws text at (0, 0) with the first point size, from startSize down to 1, whose text
// fits inside the bitmap. Returns the point size used.
int drawFittedText(wxBitmap& bitmap, const wxString& text, int startSize, const wxColour& colour);
// The zoom label: size 10 shrinking to fit, right-aligned, centred vertically.
int drawZoomText(wxBitmap& bitmap, const wxString& text);
