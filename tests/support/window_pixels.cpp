#include "support/window_pixels.h"

#include <wx/window.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>

namespace windowpixels
{

wxImage shown(const wxWindow* w)
{
    const wxPoint at = w->GetScreenPosition();
    const wxSize size = w->GetSize();
    // The root window gives what is on the screen, children and all.
    GdkPixbuf* pixbuf =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), at.x, at.y, size.x, size.y);
    if (!pixbuf)
        return {};
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const guchar* from = gdk_pixbuf_get_pixels(pixbuf);
    wxImage out(width, height, false);
    unsigned char* to = out.GetData();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, to += 3)
            std::copy_n(from + y * stride + x * channels, 3, to);
    g_object_unref(pixbuf);
    return out;
}

double shareNear(const wxImage& image, int r, int g, int b, int tol)
{
    if (!image.IsOk())
        return 0.0;
    const int pixels = image.GetWidth() * image.GetHeight();
    const unsigned char* p = image.GetData();
    int n = 0;
    for (int i = 0; i < pixels; ++i, p += 3)
        n += std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol;
    return double(n) / pixels;
}

bool allBlack(const wxImage& image)
{
    if (!image.IsOk())
        return false;
    const unsigned char* p = image.GetData();
    return std::all_of(p, p + 3 * image.GetWidth() * image.GetHeight(),
                       [](unsigned char c) { return c == 0; });
}

} // namespace windowpixels
