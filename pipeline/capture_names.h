// Names of the capture files: the local date and time, made unique within a second so a
// second capture never replaces the first.
#pragma once

#include "platform/clock.h"

#include <wx/string.h>

#include <string>

// "2026-03-07 09_05_33" + extension (".jpg", ".avi"); n > 1 gives the n-th capture of that
// second, named so that it sorts after the earlier ones: "_2" ... "_9", then "_9_10" ...
std::string captureName(const platform::LocalTime& t, const char* extension, int n = 1);

// "<storage folder>/<name>".
wxString storageFile(const wxString& name);

// The first name of that second that is not in the storage folder yet.
std::string freeCaptureName(const platform::LocalTime& t, const char* extension);

// Makes the storage folder again when it was removed while the program ran (one level, so
// a folder on a drive that is gone stays gone). Captures then go on where they went before.
void ensureStorageFolder();
