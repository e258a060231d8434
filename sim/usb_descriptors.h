// Raw USB descriptors of a simulated device, laid out as sysfs's 'descriptors' file holds
// them: the device descriptor, then the configuration with all its interfaces.
#pragma once

#include "sim/scenario.h"

#include <array>
#include <cstdint>
#include <vector>

namespace scopesim
{

// {5E5D360B-E45F-4581-9B0B-374669BA05D4} in the descriptor's byte order (Data1..Data3
// little-endian, Data4 as written).
extern const uint8_t kXuGuidBytes[16];
constexpr uint8_t kXuUnitId = 4;

struct DescriptorSpec {
    uint16_t vid = 0, pid = 0, rev = 0;
    uint8_t deviceClass = 0, subClass = 0, protocol = 0;
    bool video = false;         // a UVC function: VideoControl and VideoStreaming
    bool extensionUnit = false; // the bridge's register unit in the VideoControl
    uint16_t bmControls = 0;    // bit s-1: selector s present
    std::vector<FrameSize> sizes;
    double fps = 30;
    int interfaces = 1;                                      // plain devices: how many interfaces
    std::array<uint8_t, 3> interfaceClass{0xFF, 0x00, 0x00}; // plain devices' interfaces
};

// The class triple of a plain device's interfaces, as its scenario line gives it.
std::array<uint8_t, 3> plainInterfaceClass(const DeviceSpec& d);

std::vector<uint8_t> buildDescriptors(const DescriptorSpec& spec);

} // namespace scopesim
