#include "app/skin_bitmap.h"

#include "app/data_files.h"
#include "platform/bounded_file.h"

#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <algorithm>
#include <set>
#include <string>

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

namespace
{

// The shipped pictures are a few hundred kilobytes at most.
constexpr size_t kMaxSkinPictureSize = 32 * 1024 * 1024;

// One line per picture and run: a missing skin shows as blank areas, and the log says why.
void logMissingPicture(const char* name, const std::string& why)
{
    static std::set<std::string> logged;
    if (!logged.insert(name).second)
        return;
    logLine("Frame loadSkinPicture() %s: %s\n", files::printable(name).c_str(),
            files::printable(why).c_str());
}

} // namespace

wxBitmap loadSkinPicture(const char* name)
{
    std::string bytes, why;
    if (!files::readBoundedFile(toUtf8(resourcePath(name)), kMaxSkinPictureSize, bytes, &why)) {
        logMissingPicture(name, why);
        return wxBitmap();
    }
    wxLogNull quiet; // a broken picture gives an empty one and a log line, never a message box
    wxMemoryInputStream in(bytes.data(), bytes.size());
    wxImage img;
    if (!img.LoadFile(in, wxBITMAP_TYPE_ANY) || !img.IsOk()) {
        logMissingPicture(name, "cannot be decoded");
        return wxBitmap();
    }
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

wxBitmap blackBitmap(int w, int h)
{
    return wxBitmap(wxImage(std::max(w, 1), std::max(h, 1), true));
}
