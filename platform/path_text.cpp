#include "platform/path_text.h"

#include <wx/strconv.h>

namespace
{
// File names are bytes: what is not UTF-8 rides along as private-use characters and comes back
// unchanged, the way the toolkit itself keeps file names.
const wxMBConvUTF8 s_pathBytes(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
} // namespace

std::string toUtf8(const wxString& s)
{
    const wxCharBuffer bytes = s.mb_str(s_pathBytes);
    return std::string(bytes.data(), bytes.length());
}

wxString fromPathBytes(const std::string& bytes)
{
    return wxString(bytes.data(), s_pathBytes, bytes.size());
}
