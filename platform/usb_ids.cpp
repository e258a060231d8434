#include "platform/usb_scan.h"

#include <cstdio>

namespace platform
{

void composeUsbIds(UsbDevice& d)
{
    char buf[96];
    d.hardwareIds.clear();
    d.compatibleIds.clear();
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X&REV_%04X", d.vid, d.pid, d.rev);
    d.hardwareIds.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X", d.vid, d.pid);
    d.hardwareIds.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\DevClass_%02X&SubClass_%02X&Prot_%02X", d.deviceClass,
                  d.subClass, d.protocol);
    d.compatibleIds.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\DevClass_%02X&SubClass_%02X", d.deviceClass, d.subClass);
    d.compatibleIds.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\DevClass_%02X", d.deviceClass);
    d.compatibleIds.push_back(buf);
    // Multi-function devices (per-interface classes, or grouped by association
    // descriptors) are composite devices.
    const bool perInterface = d.deviceClass == 0x00;
    const bool associated = d.deviceClass == 0xEF && d.subClass == 0x02 && d.protocol == 0x01;
    if ((perInterface || associated) && d.interfaces > 1)
        d.compatibleIds.push_back("USB\\COMPOSITE");
}

} // namespace platform
