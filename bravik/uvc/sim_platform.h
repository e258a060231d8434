// The simulated rig's video inputs, reached through the functions a running rig exports.
#pragma once

#include "bravik/uvc/device_list_platform.h"

#include <optional>

namespace bravik
{

struct SimRigApi {
    int (*running)();
    int (*deviceCount)();
    int (*deviceId)(int index);
    int (*usbIds)(int id, int* vid, int* pid);
    int (*descriptors)(int id, unsigned char* buf, int cap);
    int (*query)(int id, unsigned char unit, unsigned char selector, unsigned char query,
                 unsigned short size, unsigned char* data);
};

// The rig's functions when the host process has loaded it (no link-time dependency).
std::optional<SimRigApi> findSimRig();

class SimPlatform : public DeviceListPlatform
{
public:
    explicit SimPlatform(SimRigApi rig) : m_rig(rig) {}
    std::vector<DeviceEntry> listDevices() override;

private:
    SimRigApi m_rig;
};

} // namespace bravik
