// Video devices arriving and leaving while the program runs, delivered on the GUI thread
// through the toolkit's event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform
{

struct DeviceChange {
    bool arrived = false;
    // "<device path> USB\VID_xxxx&PID_yyyy" (ids in upper-case hex; no suffix when unknown),
    // so that a test for "VID_05E3" and "PID_0510" picks out the scope's own bridge.
    std::string interfaceName;
    bool hasUsbIds = false;
    uint16_t vid = 0, pid = 0;
};

std::string composeInterfaceName(const std::string& devicePath, bool hasIds, uint16_t vid,
                                 uint16_t pid);

// Alive while it watches; destroying it stops the notifications.
class HotplugMonitor
{
public:
    virtual ~HotplugMonitor() = default;
};

class HotplugService
{
public:
    virtual ~HotplugService() = default;
    // Needs the application object (the event loop's sources). Null when it cannot watch.
    virtual std::unique_ptr<HotplugMonitor>
    watch(std::function<void(const DeviceChange&)> handler) = 0;
};

} // namespace platform
