// Recordings a crash, a kill or a power cut left without their index: found at start and
// remuxed (no re-encoding) into a playable file, a torn last frame dropped.
#pragma once

#include <string>

// True when the AVI file ends without its index (the writer never finished it).
bool recordingLacksIndex(const std::string& path);

// Rebuilds one such file in place; false, with the original left as it was, when it holds
// no frame that can be kept or the new file cannot be written. *kept: frames in the result.
bool repairRecording(const std::string& path, int* kept = nullptr);

// Repairs every AVI in folder that lacks its index and logs each; the number repaired.
int repairRecordings(const std::string& folder);
