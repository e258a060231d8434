#include "platform/usb_scan.h"

#include <cstdio>

namespace platform
{

namespace
{

void classForms(std::vector<std::string>& out, const char* word, uint8_t cls, uint8_t sub,
                uint8_t proto)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "USB\\%s_%02X&SubClass_%02X&Prot_%02X", word, cls, sub, proto);
    out.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\%s_%02X&SubClass_%02X", word, cls, sub);
    out.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\%s_%02X", word, cls);
    out.push_back(buf);
}

} // namespace

void composeUsbIds(UsbDevice& d)
{
    char buf[96];
    d.hardwareIds.clear();
    d.compatibleIds.clear();
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X&REV_%04X", d.vid, d.pid, d.rev);
    d.hardwareIds.push_back(buf);
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X", d.vid, d.pid);
    d.hardwareIds.push_back(buf);
    if (d.interfaces > 1) {
        classForms(d.compatibleIds, "DevClass", d.deviceClass, d.subClass, d.protocol);
        d.compatibleIds.push_back("USB\\COMPOSITE");
    } else if (d.deviceClass != 0) {
        classForms(d.compatibleIds, "Class", d.deviceClass, d.subClass, d.protocol);
    } else {
        classForms(d.compatibleIds, "Class", d.interfaceClass, d.interfaceSubClass,
                   d.interfaceProtocol);
    }
}

} // namespace platform
