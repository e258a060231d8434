// The program's own recordings that a crash, a kill or a power cut left without their index
// (their marker, see recordingMarker, is still beside them): found at start and remuxed (no
// re-encoding) into a playable file, every stream kept, a torn last packet dropped. No other
// file in the folder is ever touched.
#pragma once

#include <string>

// True when the AVI file ends without its index (the writer never finished it).
bool recordingLacksIndex(const std::string& path);

enum class RepairResult {
    repaired,
    readOnly, // the user may not write the file: left as it is
    failed,   // nothing that can be kept, or the new file could not be written: left as it is
};

// Rebuilds one such file: the new file is written beside it under a hidden name, read back and
// checked (every stream there, the frames all there), and only then takes the file's place
// with the file's mode. A link at path is never followed. *kept: video frames in the result.
RepairResult repairRecording(const std::string& path, int* kept = nullptr);

// Repairs every marked AVI of this user in folder that lacks its index and logs what it did;
// the number repaired. The marker goes once the file is whole (repaired, or finished after
// all) or gone; it stays beside a file that is read-only or could not be repaired, so the
// next start tries again. Links and files of other users are left alone.
int repairRecordings(const std::string& folder);
