// Reading a file from outside (a scenario, an EEPROM image, a settings file, a sysfs
// attribute) without trusting it: a regular file of a bounded size, read with that bound.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace files
{

// True with the whole file in out. False with *why set to a one-line reason ("is a folder",
// "is larger than 64 KiB", "No such file or directory"), the name not included.
bool readBoundedFile(const std::string& path, size_t maxBytes, std::string& out,
                     std::string* why = nullptr);

// True with the first maxBytes bytes of the file in out (all of it when it is shorter): for
// a file whose head alone tells whether it is worth reading further. The same refusals as
// readBoundedFile, except for the size.
bool readFileHead(const std::string& path, size_t maxBytes, std::string& out,
                  std::string* why = nullptr);

// "name: reason" in one printable line, for messages about a file that was refused.
std::string refusal(const std::string& path, const std::string& why);

// The text with every byte outside printable ASCII (line ends, escapes, stray binary)
// written as \xHH, so a message stays one harmless line on a terminal or in a log.
std::string printable(std::string_view text);

} // namespace files
