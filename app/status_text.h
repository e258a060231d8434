// The status label's text and colour: the shown tab's own words (the camera's time, the open
// file's name), drawn by the frame's heartbeat.
#pragma once

#include <wx/colour.h>
#include <wx/string.h>

extern wxString g_StatusText;
extern wxColour g_StatusColour;
