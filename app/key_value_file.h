// The key/value text format shared by strings.txt and config.txt: one entry a line, the
// key before the first blank, the value after it.
#pragma once

#include <istream>
#include <string>
#include <utility>
#include <vector>

using KeyValueList = std::vector<std::pair<std::string, std::string>>;

constexpr size_t kMaxEntries = 16;
constexpr size_t kMaxKeyLength = 31;
// Long enough for any path the system can name, so a chosen storage folder survives a restart.
constexpr size_t kMaxValueLength = 4095;
// Longer physical lines are read in pieces of this many bytes, each piece a line of its own.
constexpr size_t kMaxLineLength = kMaxKeyLength + 1 + kMaxValueLength + 2;

// Parses text in the format above: at most 16 entries, lines without a blank skipped and
// not counted, the line end (LF or CR LF) removed and nothing else, overlong keys and
// values cut.
KeyValueList parseKeyValueText(const std::string& text);
KeyValueList parseKeyValueStream(std::istream& in);
// Sixteen entries of the longest lines fit many times over; a bigger file is not one of ours.
constexpr size_t kMaxKeyValueFileSize = 1024 * 1024;
// The same for a file; an absent, unreadable, irregular or oversized file yields no entries
// and *why says which.
KeyValueList readKeyValueFile(const std::string& path, std::string* why = nullptr);

// An EXENAME names a folder inside the documents folder; longer ones are refused.
constexpr size_t kMaxAppNameLength = 64;

// Why an EXENAME cannot name the data folder (empty, absolute, holding '/' or '..', too long,
// control characters); empty when it can.
std::string exeNameProblem(const std::string& name);
// A TIMESTAMP value read as "%d" reads it, without overflow: false when it does not start
// with a number; values beyond int saturate.
bool parseTimeStampValue(const std::string& value, int& out);
