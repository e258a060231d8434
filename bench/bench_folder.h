// The one folder of a benchmark program's files: a fresh name from mkdtemp (never a fixed
// name under /tmp, which another run or a planted link could hold), removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace benchfs
{

inline const std::filesystem::path& folder()
{
    struct Folder {
        std::filesystem::path path;
        Folder()
        {
            std::string name =
                (std::filesystem::temp_directory_path() / "orvex-bench-XXXXXX").string();
            if (!mkdtemp(name.data()))
                throw std::runtime_error("no folder for the benchmark's files");
            path = name;
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder f;
    return f.path;
}

} // namespace benchfs
