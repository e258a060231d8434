// Choosing a video-input device by its USB ids and binding its filter.
#pragma once

#include "bravik/core/ks_interfaces.h"

namespace bravik
{

constexpr int kFamilyVendorId = 0x05E3;

struct FilterHolder {
    std::shared_ptr<IBaseFilter> filter; // empty when binding failed
};

// pid or vid -1: the first device of the family vendor, else the last one enumerated.
// Otherwise both must match. Every examined device's ids land in *foundPid / *foundVid.
int OpenDevice(IDevicePlatform& platform, int pid, int vid, FilterHolder* holder, int* foundPid,
               int* foundVid);

} // namespace bravik
