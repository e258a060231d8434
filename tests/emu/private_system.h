// Private mount and network namespaces for a program under the device emulation: its /sys,
// /run/udev and /dev are empty folders of this process (tmpfs), the rest of the file system
// (/tmp with the X server's socket, the program folder) is the host's.
#pragma once

#include <filesystem>
#include <string>

namespace emu
{

enum class Entered { Yes, Unavailable, Failed };

// Enters the namespaces (a user namespace as well where the caller is not root; it is then
// root inside). /dev keeps the host's null, zero, full, random, urandom, tty, shm and pts.
// staging: an empty folder of the host's where mounts are prepared. On a refusal of the
// kernel (namespaces not allowed here) Unavailable; why in *error.
Entered enterPrivateSystem(const std::filesystem::path& staging, std::string* error);

} // namespace emu
