#include "setup/folder_rename.h"

#include "platform/file_ops.h"

#include <cerrno>
#include <cstring>

FolderRename renameFolder(const std::string& path, const std::string& name)
{
    FolderRename r;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        r.err = EINVAL;
        return r;
    }
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        r.err = EINVAL;
        return r;
    }
    r.newPath = path.substr(0, slash + 1) + name;
    r.err = files::renameNoReplace(path, r.newPath);
    return r;
}

std::string followRename(const std::string& path, const std::string& from, const std::string& to)
{
    if (path == from)
        return to;
    if (path.size() > from.size() && path.compare(0, from.size(), from) == 0 &&
        path[from.size()] == '/')
        return to + path.substr(from.size());
    return path;
}

const char* renameRefusal(int err)
{
    switch (err) {
    case EINVAL:
        return "not a folder name";
    case EEXIST:
    case ENOTEMPTY:
        return "name already in use";
    default:
        return std::strerror(err);
    }
}
