// Puts the pass's picture on the screen window through cairo, the toolkit's own drawing layer.
// The picture's surface is kept from one pass to the next and made like the window's own, so
// on a local X server it lies in memory the server reads directly: a new bitmap each pass cost
// an allocation, a conversion of every pixel inside the toolkit and the picture's trip through
// the X connection.
#pragma once

#include <wx/gdicmn.h>
#include <wx/image.h>

class wxDC;
class wxWindow;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

class ScreenPainter
{
public:
    ScreenPainter() = default;
    ~ScreenPainter();
    ScreenPainter(const ScreenPainter&) = delete;
    ScreenPainter& operator=(const ScreenPainter&) = delete;

    // Paints the RGB picture on window at (x, y); clearFirst blackens the window before.
    void paint(wxWindow& window, const wxImage& picture, int x, int y, bool clearFirst);
    // Paints the last picture again on black through dc (an expose of the window).
    void repaint(wxDC& dc) const;
    // The picture as the surface holds it (empty before the first paint).
    wxImage shown() const;

private:
    bool fill(cairo_t* window, const wxImage& picture);

    cairo_surface_t* m_surface = nullptr;
    wxPoint m_at{0, 0};
};
