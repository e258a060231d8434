// Where the viewer's files live on this machine.
#pragma once

#include <string>

namespace platform
{

// The user's documents folder; empty when it cannot be determined.
std::string documentsFolder();
// $HOME without trailing slashes; empty when unset.
std::string homeFolder();
// The folder of the running executable (so a launcher started anywhere finds res/).
std::string programFolder();
// Width of the primary screen in pixels (needs the toolkit's display).
int primaryScreenWidth();

} // namespace platform
