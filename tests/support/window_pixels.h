// What a window shows on the X server, read back as another client would see it.
#pragma once

#include <wx/image.h>

class wxWindow;

namespace windowpixels
{
// The window's area of the screen at device resolution (twice its size at GDK_SCALE=2);
// an empty image when it cannot be read.
wxImage shown(const wxWindow* w);
// Share of the image's pixels within tol of the colour (RGB) in every channel; 0 for an empty
// image.
double shareNear(const wxImage& image, int r, int g, int b, int tol = 40);
// True when every pixel of the image is black (false for an empty image).
bool allBlack(const wxImage& image);
} // namespace windowpixels
