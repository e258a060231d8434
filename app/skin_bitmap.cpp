#include "app/skin_bitmap.h"

#include "app/data_files.h"

#include <wx/image.h>
#include <wx/log.h>

SkinBitmap::SkinBitmap(wxWindow* parent, wxWindowID id, const wxBitmap& bitmap, const wxPoint& pos,
                       const wxSize& size)
    : wxGenericStaticBitmap(parent, id, bitmap.IsOk() ? bitmap : wxBitmap(), pos,
                            size == wxDefaultSize && !bitmap.IsOk() ? wxSize(1, 1) : size),
      m_shown(bitmap)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetScaleMode(Scale_None);
}

void SkinBitmap::show(const wxBitmap& bitmap)
{
    m_shown = bitmap;
    wxSize keep = GetSize();
    SetBitmap(bitmap.IsOk() ? bitmap : wxBitmap());
    SetSize(keep);
    Refresh(false);
}

wxBitmap loadSkinPicture(const char* name)
{
    wxString path = resourcePath(name);
    if (!wxFileExists(path))
        return wxBitmap();
    wxLogNull quiet;  // a broken picture gives an empty one, never a message
    wxImage img;
    if (!img.LoadFile(path, wxBITMAP_TYPE_ANY) || !img.IsOk())
        return wxBitmap();
    return wxBitmap(img);
}

wxBitmap rescaled(const wxBitmap& bmp, int w, int h)
{
    if (!bmp.IsOk() || w < 1 || h < 1)
        return wxBitmap();
    if (bmp.GetWidth() == w && bmp.GetHeight() == h)
        return bmp;
    return wxBitmap(bmp.ConvertToImage().Scale(w, h, wxIMAGE_QUALITY_NORMAL));
}

wxBitmap loadSkinPicture(const char* name, int w, int h)
{
    return rescaled(loadSkinPicture(name), w, h);
}

wxBitmap copyBitmap(const wxBitmap& bmp)
{
    if (!bmp.IsOk())
        return bmp;
    return bmp.GetSubBitmap(wxRect(0, 0, bmp.GetWidth(), bmp.GetHeight()));
}
