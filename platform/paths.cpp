#include "platform/paths.h"

#include <wx/display.h>
#include <wx/gdicmn.h>
#include <wx/stdpaths.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace platform {

std::string documentsFolder()
{
    // wxStandardPaths follows the XDG user dirs and falls back to $HOME; without a
    // HOME there is no documents folder at all.
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    wxString dir = wxStandardPaths::Get().GetDocumentsDir();
    if (dir.empty())
        return {};
    std::string s = dir.utf8_string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string programFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::filesystem::current_path().string();
    buf[n] = '\0';
    return std::filesystem::path(buf).parent_path().string();
}

int primaryScreenWidth() { return wxGetDisplaySize().x; }

}  // namespace platform
