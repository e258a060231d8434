// A video's real length, from the index of its frames rather than the counts its headers state
// (a header field another program got wrong, or a rate of zero, would give a nonsense length).
#pragma once

#include <string>

struct IndexedLength {
    long long frames = -1; // -1: the file has no index of its video frames
    double seconds = -1;   // -1: unknown
};

// Read from the container's index (AVI idx1, QuickTime sample tables) without decoding.
IndexedLength indexedLength(const std::string& path);
