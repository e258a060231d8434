// The one folder of a benchmark program's files: a fresh name (never a fixed name under
// /tmp, which another run or a planted link could hold), removed at exit.
#pragma once

#include "tests/support/temp_dir.h"

#include <filesystem>

namespace benchfs
{

inline const std::filesystem::path& folder()
{
    static const TempDir dir;
    return dir.path();
}

} // namespace benchfs
