#include "pipeline/capture_names.h"

#include "pipeline/capture_settings.h"
#include "platform/log_line.h"
#include "platform/path_text.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

std::string captureName(const platform::LocalTime& t, const char* extension, int n)
{
    char base[64];
    std::snprintf(base, sizeof base, "%4d-%02d-%02d %02d_%02d_%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string name = base;
    if (n > 9)
        name += "_9_" + std::to_string(n);
    else if (n > 1)
        name += "_" + std::to_string(n);
    return name + extension;
}

wxString storageFile(const wxString& name)
{
    wxString folder = g_StoragePath;
    while (folder.length() > 1 && folder.EndsWith("/"))
        folder.RemoveLast();
    return folder + "/" + name;
}

std::string freeCaptureName(const platform::LocalTime& t, const char* extension)
{
    for (int n = 1;; ++n) {
        std::string name = captureName(t, extension, n);
        std::error_code ec;
        // A link counts as taken, dangling or not.
        const std::string path = toUtf8(storageFile(wxString::FromUTF8(name)));
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
            return name;
    }
}

void ensureStorageFolder()
{
    std::string folder = toUtf8(storageFile(wxString()));
    if (folder.size() > 1)
        folder.pop_back(); // the separator storageFile adds
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec))
        return;
    // One level only: a folder on a drive that is gone is not made on the disk beneath it.
    const std::filesystem::path parent = std::filesystem::path(folder).parent_path();
    if (!std::filesystem::is_directory(parent, ec))
        return;
    if (::mkdir(folder.c_str(), 0777) == 0)
        logLine("Preview ensureStorageFolder() %s made again\n", folder.c_str());
}
