#include "pipeline/screen_painter.h"

#include <wx/dc.h>
#include <wx/dcclient.h>
#include <wx/graphics.h>
#include <wx/window.h>

#include <cairo.h>

#include <opencv2/imgproc.hpp>

namespace
{
cairo_t* nativeContext(wxDC& dc)
{
    wxGraphicsContext* gc = dc.GetGraphicsContext();
    return gc ? static_cast<cairo_t*>(gc->GetNativeContext()) : nullptr;
}
} // namespace

ScreenPainter::~ScreenPainter()
{
    if (m_surface)
        cairo_surface_destroy(m_surface);
}

bool ScreenPainter::fill(cairo_t* window, const wxImage& picture)
{
    const int w = picture.GetWidth(), h = picture.GetHeight();
    if (!m_surface || cairo_image_surface_get_width(m_surface) != w ||
        cairo_image_surface_get_height(m_surface) != h) {
        if (m_surface)
            cairo_surface_destroy(m_surface);
        m_surface =
            cairo_surface_create_similar_image(cairo_get_target(window), CAIRO_FORMAT_RGB24, w, h);
    }
    if (cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(m_surface);
        m_surface = nullptr;
        return false;
    }
    // Waits until the server has read the previous picture out of shared memory.
    cairo_surface_flush(m_surface);
    // RGB24 keeps each pixel in a native-endian 32-bit word: bytes B, G, R, unused here.
    const cv::Mat from(h, w, CV_8UC3, picture.GetData());
    cv::Mat to(h, w, CV_8UC4, cairo_image_surface_get_data(m_surface),
               static_cast<size_t>(cairo_image_surface_get_stride(m_surface)));
    cv::cvtColor(from, to, cv::COLOR_RGB2BGRA);
    cairo_surface_mark_dirty(m_surface);
    return true;
}

void ScreenPainter::paint(wxWindow& window, const wxImage& picture, int x, int y, bool clearFirst)
{
    if (!picture.IsOk())
        return;
    wxClientDC dc(&window);
    cairo_t* cr = nativeContext(dc);
    if (!cr || !fill(cr, picture))
        return;
    m_at = wxPoint(x, y);
    if (clearFirst) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    cairo_set_source_surface(cr, m_surface, x, y);
    cairo_rectangle(cr, x, y, picture.GetWidth(), picture.GetHeight());
    cairo_fill(cr);
}

void ScreenPainter::repaint(wxDC& dc) const
{
    cairo_t* cr = nativeContext(dc);
    if (!cr)
        return;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (m_surface) {
        cairo_set_source_surface(cr, m_surface, m_at.x, m_at.y);
        cairo_paint(cr);
    }
}

wxImage ScreenPainter::shown() const
{
    if (!m_surface)
        return wxImage();
    cairo_surface_flush(m_surface);
    const int w = cairo_image_surface_get_width(m_surface),
              h = cairo_image_surface_get_height(m_surface);
    wxImage out(w, h, false);
    const cv::Mat from(h, w, CV_8UC4, cairo_image_surface_get_data(m_surface),
                       static_cast<size_t>(cairo_image_surface_get_stride(m_surface)));
    cv::Mat to(h, w, CV_8UC3, out.GetData());
    cv::cvtColor(from, to, cv::COLOR_BGRA2RGB);
    return out;
}
