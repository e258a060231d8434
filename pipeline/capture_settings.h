// The two settings config.txt keeps for the captures: the folder they are written to and the
// date stamped on them. The shell reads and writes the file; the capture files only read these.
#pragma once

#include <wx/string.h>

extern wxString g_StoragePath;
extern int g_TimeStamp; // 0 none, 1 YYYY/MM/DD, 2 MM/DD/YYYY, 3 DD/MM/YYYY
