#include "browse/media_catalogue.h"

#include "pipeline/recording_file.h"
#include "platform/bounded_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_set>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string upperExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}
} // namespace

SlotKind slotKindOf(const std::string& path)
{
    const std::string ext = upperExtension(path);
    if (ext == "JPG")
        return SlotPhoto;
    if (ext == "AVI" || ext == "MOV")
        return SlotVideo;
    return SlotEmpty;
}

bool fitsFilter(const std::string& path, int filter)
{
    const SlotKind kind = slotKindOf(path);
    if (filter == 3)
        return kind == SlotPhoto;
    if (filter == 4)
        return kind == SlotVideo;
    return kind != SlotEmpty;
}

bool beingRecordedHere(const std::string& path)
{
    // The marker a recording keeps beside its file holds the writer's process id.
    std::string pid;
    return files::readBoundedFile(recordingMarker(path), 32, pid) &&
           pid == std::to_string(::getpid()) + "\n";
}

bool listCaptures(const std::string& folder, int filter, std::vector<std::string>& out)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    if (ec)
        return false;
    out.clear();
    // Markers are noted during the same walk, so only a file that has one is opened to ask
    // whose it is; opening a marker for every listed file cost more than the listing itself.
    std::unordered_set<std::string> markers;
    for (; it != end; it.increment(ec)) {
        if (ec)
            break;
        const std::filesystem::path& p = it->path();
        const std::string name = p.filename().string();
        if (name.empty())
            continue;
        if (name[0] == '.') {
            markers.insert(name);
            continue;
        }
        if (!it->is_regular_file(ec))
            continue;
        if (fitsFilter(p.string(), filter))
            out.push_back(p.string());
    }
    if (!markers.empty())
        out.erase(std::remove_if(out.begin(), out.end(),
                                 [&](const std::string& path) {
                                     const std::string marker = recordingMarker(path);
                                     const std::string name =
                                         marker.substr(marker.find_last_of('/') + 1);
                                     return markers.count(name) && beingRecordedHere(path);
                                 }),
                  out.end());
    std::sort(out.begin(), out.end());
    return true;
}

std::vector<std::string> pageEntries(const std::vector<std::string>& files, int start)
{
    std::vector<std::string> page(4);
    const size_t n = files.size();
    const size_t m = std::min<size_t>(n, 4);
    size_t i = start < 0 ? 0 : static_cast<size_t>(start);
    for (size_t k = 0; k < m; ++k) {
        if (i >= n)
            i = 0;
        page[k] = files[i++];
    }
    return page;
}

bool removeCaptureFile(const std::string& folder, const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path p(path);
    const fs::path name = p.filename();
    if (name.empty() || name == "." || name == "..")
        return false;
    std::error_code ec;
    if (!fs::equivalent(p.parent_path(), fs::path(folder), ec) || ec)
        return false;
    const fs::file_status st = fs::symlink_status(p, ec);
    if (ec || !(fs::is_regular_file(st) || fs::is_symlink(st)))
        return false;
    return fs::remove(p, ec) && !ec;
}

FileIdentity identityOf(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}
