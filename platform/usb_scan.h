// The present USB devices with hardware and compatible ids in the Windows form
// ("USB\VID_04FC&PID_6333&REV_0100", "USB\DevClass_00&SubClass_00&Prot_00"), so bridge-id
// matching written against those strings runs unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform
{

struct UsbDevice {
    std::string path;
    uint16_t vid = 0, pid = 0, rev = 0;
    uint8_t deviceClass = 0, subClass = 0, protocol = 0;
    int interfaces = 1; // in the active configuration
    // The first interface of the active configuration; a single-interface device whose
    // device class is 0 is known by this one.
    uint8_t interfaceClass = 0, interfaceSubClass = 0, interfaceProtocol = 0;
    std::vector<std::string> hardwareIds;   // most specific first
    std::vector<std::string> compatibleIds; // most specific first
};

class UsbScan
{
public:
    virtual ~UsbScan() = default;
    virtual std::vector<UsbDevice> scan() = 0;
};

// Fills hardwareIds and compatibleIds from the numeric fields: a composite device (more than
// one interface) gets the DevClass_ forms and USB\COMPOSITE from its device descriptor, a
// single-interface device the Class_ forms from the device descriptor, or from its interface
// when the device class is 0.
void composeUsbIds(UsbDevice& d);

} // namespace platform
