// The video inputs of uvcvideo: V4L2 capture nodes, their USB ids and descriptors from sysfs,
// extension-unit requests through UVCIOC_CTRL_QUERY.
#pragma once

#include "bravik/uvc/device_list_platform.h"

#include <filesystem>

namespace bravik
{

// The ioctl the transport issues, replaceable so that a fake device can answer.
using IoctlFunction = std::function<int(int fd, unsigned long request, void* arg)>;
int systemIoctl(int fd, unsigned long request, void* arg);

struct UvcvideoPaths {
    std::filesystem::path devDir = "/dev";
    std::filesystem::path sysRoot = "/sys";
};

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
