// Polling for an event another process makes happen (a file, a window, a focus change).
#pragma once

#include <functional>
#include <unistd.h>

namespace e2e
{

// True once cond holds; the limit (ms) only bounds a failing test.
inline bool waitFor(const std::function<bool()>& cond, int ms)
{
    for (int t = 0; t < ms; t += 50) {
        if (cond())
            return true;
        ::usleep(50000);
    }
    return cond();
}

} // namespace e2e
