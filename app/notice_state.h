// The notice as the frame shows it: its text and how long it has left. Only the notice's own
// functions and the frame that draws it and counts it down use these; rooms go through
// app/notice.h.
#pragma once

#include <wx/string.h>

extern int g_InfoTime;          // notice display countdown
extern wxString g_LastFileName; // the notice text
