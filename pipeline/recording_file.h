// The file of a recording while it is made: the video writer opens it by a path of its own
// (and empties it), so that path lies in a folder only this user can enter, where no one can
// plant a link; the file then takes the first free capture name beside its marker.
#pragma once

#include "platform/clock.h"

#include <string>

struct RecordingDraft {
    int folderFd = -1; // the private folder
    std::string folderPath;
    std::string inner; // the file's name in it
    int fd = -1;       // the file itself, kept open for as long as the recording runs
};

// Makes an empty file in a private folder beside firstPath; 0 or an errno.
int createDraft(const std::string& firstPath, RecordingDraft& draft);

// The path the writer opens: through the folder's descriptor, whatever its name now holds.
std::string draftWriterPath(const RecordingDraft& draft);

// Gives the file the first capture name of that second that is free (its marker made first)
// and removes the private folder; 0 or an errno, and *name and *path of the file.
int nameDraft(RecordingDraft& draft, const platform::LocalTime& now, std::string& name,
              std::string& path);

// Removes what the draft made and closes it (a failed start).
void dropDraft(RecordingDraft& draft);

// The program's own recordings that are still being written have this file beside them
// (".<name>.recording"); only those are repaired at start.
std::string recordingMarker(const std::string& aviPath);
