// The notice label's text: a file just saved (yellow) or why one was not (red), shown for
// the usual display time by the frame's heartbeat.
#pragma once

#include <wx/colour.h>
#include <wx/string.h>

extern wxColour g_NoticeColour;

// A file name (or other good news) in the normal colour.
void showNotice(const wxString& text);
// A short reason something was not done, in red.
void showFailureNotice(const wxString& text);
// Takes the notice away at once (a new snapshot or recording starts).
void clearNotice();
// True while the notice shows a failure.
bool noticeIsFailure();
