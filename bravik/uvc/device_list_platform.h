// A device platform whose video inputs are listed up front.
#pragma once

#include "bravik/core/ks_interfaces.h"

#include <functional>

namespace bravik
{

struct DeviceEntry {
    std::string displayName; // carries "VID_xxxx&PID_yyyy" when the ids are known
    std::function<int32_t(std::shared_ptr<IBaseFilter>&)> bind;
    // The device's USB descriptors; false when they cannot be read.
    std::function<bool(std::vector<uint8_t>&)> readDescriptors;
};

// "USB\VID_05E3&PID_0510\<where>": the ids come first, so that nothing in <where> is taken
// for them.
std::string composeDisplayName(int vid, int pid, const std::string& where);

class DeviceListPlatform : public IDevicePlatform
{
public:
    virtual std::vector<DeviceEntry> listDevices() = 0;
    int32_t createVideoInputEnumerator(std::unique_ptr<IEnumMoniker>& out) override;
};

} // namespace bravik
