// File names as the file system gives them (any bytes) made fit to show.
#pragma once

#include <wx/string.h>

#include <string_view>

namespace platform
{

// The bytes read as UTF-8, each broken sequence shown as one U+FFFD replacement character
// (so a name another program wrote in Latin-1 still shows, recognisably, instead of vanishing).
// Only for labels: file operations keep the bytes themselves.
wxString displayText(std::string_view bytes);

} // namespace platform
