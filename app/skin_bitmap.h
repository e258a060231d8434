// A window that shows one bitmap and receives its own mouse events (GTK's native image
// widget has no window of its own, so clicks would never reach it). Every skinned button,
// label and tile of the program is one of these.
#pragma once

#include <wx/generic/statbmpg.h>

class SkinBitmap : public wxGenericStaticBitmap {
public:
    SkinBitmap(wxWindow* parent, wxWindowID id, const wxBitmap& bitmap,
               const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);
    // Shows the bitmap and keeps the window at its current size.
    void show(const wxBitmap& bitmap);
    // The bitmap shown last (tests look at it).
    const wxBitmap& shown() const { return m_shown; }

private:
    wxBitmap m_shown;
};

// Loads a picture from the program's res folder; an empty bitmap when it cannot be loaded.
wxBitmap loadSkinPicture(const char* name);
// The same, rescaled (normal quality) to w x h; an empty bitmap for a missing picture or a
// size below 1.
wxBitmap loadSkinPicture(const char* name, int w, int h);
// A copy of its own of a bitmap (drawing on it leaves the original alone).
wxBitmap copyBitmap(const wxBitmap& bmp);
// A black bitmap, sizes below 1 taken as 1 (a new bitmap's pixels are whatever the memory
// held until drawn).
wxBitmap blackBitmap(int w, int h);
// Rescales a bitmap (normal quality); sizes below 1 give an empty bitmap.
wxBitmap rescaled(const wxBitmap& bmp, int w, int h);
