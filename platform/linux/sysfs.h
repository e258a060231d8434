// Reading sysfs attribute files, which may be missing or hold anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform
{

// The file's first line without trailing blanks; nullopt when unreadable.
std::optional<std::string> readAttribute(const std::filesystem::path& file);
// A hex number of at most maxDigits digits (sysfs writes "05e3"), nullopt when garbage.
std::optional<uint32_t> readHexAttribute(const std::filesystem::path& file, int maxDigits);
std::optional<uint32_t> readDecimalAttribute(const std::filesystem::path& file);
// The folder at or above start that holds a USB device (idVendor and idProduct), staying
// inside limit; empty when there is none.
std::filesystem::path usbDeviceAbove(const std::filesystem::path& start,
                                     const std::filesystem::path& limit);

// Where the backends look: root/sys and root/dev.
struct LinuxRoot {
    std::filesystem::path root = "/";
    std::filesystem::path sys() const { return root / "sys"; }
    std::filesystem::path dev() const { return root / "dev"; }
    std::filesystem::path udevData() const { return root / "run" / "udev" / "data"; }
};

} // namespace platform
