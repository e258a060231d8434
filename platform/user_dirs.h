// The user-dirs.dirs file of the XDG user directories.
#pragma once

#include <string>

namespace platform
{

// The XDG_DOCUMENTS_DIR entry of the file's text ("$HOME/Documents" expanded with home, or
// an absolute path); empty when there is none.
std::string documentsEntry(const std::string& text, const std::string& home);

} // namespace platform
