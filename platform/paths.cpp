#include "platform/paths.h"

#include "platform/bounded_file.h"
#include "platform/user_dirs.h"

#include <wx/display.h>
#include <wx/gdicmn.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace platform
{

namespace
{

// The XDG documents entry of user-dirs.dirs ("$HOME/Documents" or an absolute path).
std::string xdgDocuments(const std::string& home)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file =
        (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::string text;
    if (!files::readBoundedFile(file, 64 * 1024, text))
        return {};
    return documentsEntry(text, home);
}

} // namespace

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    std::string h = home;
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    return h;
}

std::string documentsFolder()
{
    // Without a HOME there is no documents folder at all.
    const std::string h = homeFolder();
    if (h.empty())
        return {};
    std::string docs = xdgDocuments(h);
    std::error_code ec;
    if (!docs.empty() && std::filesystem::is_directory(docs, ec))
        return docs;
    return h;
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

int primaryScreenWidth()
{
    return wxGetDisplaySize().x;
}

} // namespace platform
