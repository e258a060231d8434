// What came of a snapshot or a recording, handed back to the tab or the pass that asked for
// it, which shows it: the capture files themselves know nothing of the notice or the strip.
#pragma once

#include <string>

struct CaptureResult {
    std::string name;    // the file's name, for the notice
    std::string path;    // the file for the browse strip; empty when it is not in the storage
                         // folder (its folder was renamed) or there is none
    bool kept = false;   // a file is there: saved, being recorded, or kept at the stop
    std::string failure; // the notice's words when something went wrong; empty when nothing did
};
