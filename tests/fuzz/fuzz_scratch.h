// The fuzz run's own folder for the files its inputs become: a fresh name (no fixed name
// under /tmp that another run or a planted link could hold), removed when the run ends.
#pragma once

#include "tests/support/temp_dir.h"

#include <string>

inline std::string fuzzScratch(const std::string& name)
{
    static const TempDir dir;
    return dir / name;
}
