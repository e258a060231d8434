// One thumbnail slot of the strip: a photo, the first frame of a video, or nothing.
#pragma once

#include "app/skin_bitmap.h"
#include "browse/media_catalogue.h"

#include <wx/image.h>

class COrvexBrowseImage : public SkinBitmap {
public:
    COrvexBrowseImage(const wxSize& size, wxWindow* parent, wxWindowID id, const wxPoint& pos);

    void clearSlot();
    void renderPhoto();
    void redraw();

    SlotKind kind = SlotEmpty;
    wxImage photo;
    bool showIcon = false;
    bool selected = false;
    const int border = 4;

private:
    wxBitmap m_thumbnail;
};
