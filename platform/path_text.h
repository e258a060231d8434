// File names between the toolkit's strings and the C library's bytes. Paths are the file
// system's bytes: fromPathBytes keeps bytes that are not UTF-8 (as private-use characters)
// and toUtf8 gives them back unchanged.
#pragma once

#include <wx/string.h>

#include <string>

std::string toUtf8(const wxString& s);
wxString fromPathBytes(const std::string& bytes);
