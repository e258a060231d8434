// The Linux backends: sysfs and device nodes below a root folder, ioctls through a table.
#pragma once

#include "platform/linux/ioctl_ops.h"
#include "platform/linux/sysfs.h"
#include "platform/services.h"

#include <functional>
#include <memory>
#include <optional>

namespace platform
{

struct LinuxContext {
    LinuxRoot root;
    IoctlOps ops = kernelIoctls();
};

std::unique_ptr<VideoInputList> makeLinuxVideoInputs(const LinuxContext& ctx);
std::unique_ptr<CaptureFactory> makeLinuxCaptures(const LinuxContext& ctx);
std::unique_ptr<UsbScan> makeLinuxUsbScan(const LinuxContext& ctx);
std::unique_ptr<Em28xxAccess> makeLinuxEm28xx(const LinuxContext& ctx);
std::unique_ptr<HotplugService> makeLinuxHotplug();
std::unique_ptr<Registry> makeLinuxRegistry();

// One device event as udev reports it.
struct UdevEvent {
    std::string action;   // "add", "remove", ...
    std::string devpath;  // "/devices/.../video4linux/video0"
    std::string vendorId; // ID_VENDOR_ID, hex as udev writes it ("05e3"), may be empty
    std::string modelId;  // ID_MODEL_ID
    // ID_V4L_CAPABILITIES (":capture:" for capture nodes), empty when udev did not say
    std::string capabilities;
};

// Where the events come from: a readable fd and a non-blocking receive.
class UdevEventSource
{
public:
    virtual ~UdevEventSource() = default;
    virtual int fd() const = 0;
    virtual std::optional<UdevEvent> receive() = 0;
};

// The libudev monitor on video4linux; null when netlink is not available.
std::unique_ptr<UdevEventSource> openUdevSource();
// add/remove events of capture nodes become device changes; nullopt for the rest
// (other actions, metadata-only nodes).
std::optional<DeviceChange> toDeviceChange(const UdevEvent& e);
// Watches a source from the event loop; null when the fd cannot join the loop.
std::unique_ptr<HotplugMonitor> watchUdevSource(std::unique_ptr<UdevEventSource> source,
                                                std::function<void(const DeviceChange&)> handler);

} // namespace platform
