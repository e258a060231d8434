// The video inputs of uvcvideo: V4L2 capture nodes, their USB ids and descriptors from sysfs,
// extension-unit requests through UVCIOC_CTRL_QUERY.
#pragma once

#include "bravik/uvc/device_list_platform.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bravik
{

// The ioctl the transport issues, replaceable so that a fake device can answer.
using IoctlFunction = std::function<int(int fd, unsigned long request, void* arg)>;
int systemIoctl(int fd, unsigned long request, void* arg);

struct UvcvideoPaths {
    std::filesystem::path devDir = "/dev";
    std::filesystem::path sysRoot = "/sys";
};

// What the listing reads from sysfs, each within bounds (a tree handed over may hold anything).
// "videoN" gives N; any other name, or an N past int, -1.
int videoNodeNumber(const std::string& name);
// An idVendor or idProduct file: at most four hex digits.
bool readUsbId(const std::filesystem::path& file, int& value);
// The kernel's descriptors file holds the device descriptor and at most 64 KiB of the rest.
constexpr size_t kMaxDescriptorBytes = 18 + 65535;
bool readDescriptorFile(const std::filesystem::path& file, std::vector<uint8_t>& bytes);

class UvcvideoPlatform : public DeviceListPlatform
{
public:
    explicit UvcvideoPlatform(UvcvideoPaths paths = {}, IoctlFunction ioctl = systemIoctl);

    // Capture nodes in device-number order.
    std::vector<DeviceEntry> listDevices() override;

private:
    UvcvideoPaths m_paths;
    IoctlFunction m_ioctl;
};

} // namespace bravik
