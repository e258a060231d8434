// The list of captured files the thumbnail strip pages through: which files, in which
// order, and which four of them the page shows.
#pragma once

#include <string>
#include <vector>

enum SlotKind { SlotEmpty = 0, SlotPhoto = 1, SlotVideo = 2 };

// Kind of a capture file by its extension, without regard to case.
SlotKind slotKindOf(const std::string& path);
// Whether a file of this path belongs in a list under the filter (2 All, 3 Photo, 4 Video).
bool fitsFilter(const std::string& path, int filter);
// Whether the file is a recording this program is still writing (it is listed once complete).
bool beingRecordedHere(const std::string& path);
// The files directly in folder that the filter lists (a recording still being written is
// not), sorted by plain comparison of the
// full paths; false when the folder cannot be read.
bool listCaptures(const std::string& folder, int filter, std::vector<std::string>& out);
// The list entries the four slots show from start on, wrapping at the end (an empty
// string for a slot beyond the list).
std::vector<std::string> pageEntries(const std::vector<std::string>& files, int start);
// The file a path names at the moment (device and inode), so a holder can tell that it was
// deleted or replaced under the same name; none (0, 0) when the path names no file.
struct FileIdentity {
    unsigned long long device = 0, inode = 0;
    bool none() const { return inode == 0; }
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity identityOf(const std::string& path);
// Deletes one capture: only an entry directly in folder, and only a regular file or a link
// (the link itself, never what it points to); never a folder. False when nothing was removed.
bool removeCaptureFile(const std::string& folder, const std::string& path);
