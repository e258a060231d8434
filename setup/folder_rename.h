// Renaming a folder from the setup tree: never over anything that is already there.
#pragma once

#include <string>

struct FolderRename {
    int err = 0;         // 0 on success, else an errno value (EINVAL for a name refused here)
    std::string newPath; // where the folder is now
};

// Renames the folder at path to name in the same parent folder. Names that are empty, ".",
// ".." or hold a '/' are refused (EINVAL), as is a name already taken by a file, folder or
// link (EEXIST); in either case nothing on disk changes.
FolderRename renameFolder(const std::string& path, const std::string& name);

// path with the folder from (if path is it or lies inside it) moved to to; otherwise path.
std::string followRename(const std::string& path, const std::string& from, const std::string& to);

// The short reason a rename was refused, for the notice.
const char* renameRefusal(int err);
