#include "platform/sim/sim_backends.h"

#include <scopesim/rig.h>

#include <cerrno>

namespace platform
{

namespace
{

class SimVideoInputs : public VideoInputList
{
public:
    std::vector<VideoInput> enumerate() override
    {
        std::vector<VideoInput> out;
        for (const scopesim::VideoInputInfo& i : scopesim::videoInputs()) {
            VideoInput v;
            v.friendlyName = i.name;
            v.description = i.description;
            v.devicePath = i.devicePath;
            v.hasUsbIds = true;
            v.vid = i.vid;
            v.pid = i.pid;
            v.driver = i.kind == scopesim::DeviceKind::Em28xx ? "em28xx" : "uvcvideo";
            if (i.unopenable)
                v.openError = describeOpenError(EACCES, false, "video");
            out.push_back(std::move(v));
        }
        return out;
    }
};

class SimUsbScan : public UsbScan
{
public:
    std::vector<UsbDevice> scan() override
    {
        std::vector<UsbDevice> out;
        for (const scopesim::UsbDeviceInfo& i : scopesim::usbDevices()) {
            UsbDevice d;
            d.path = i.sysPath;
            d.vid = i.vid;
            d.pid = i.pid;
            d.rev = i.rev;
            d.deviceClass = i.deviceClass;
            d.subClass = i.subClass;
            d.protocol = i.protocol;
            d.interfaces = i.interfaces;
            d.interfaceClass = i.interfaceClass;
            d.interfaceSubClass = i.interfaceSubClass;
            d.interfaceProtocol = i.interfaceProtocol;
            composeUsbIds(d);
            out.push_back(std::move(d));
        }
        return out;
    }
};

class SimRegistry : public Registry
{
public:
    std::optional<std::string> readString(const std::string& key, const std::string& value) override
    {
        return scopesim::registryValue(key, value);
    }
};

} // namespace

std::unique_ptr<VideoInputList> makeSimVideoInputs()
{
    return std::make_unique<SimVideoInputs>();
}
std::unique_ptr<UsbScan> makeSimUsbScan()
{
    return std::make_unique<SimUsbScan>();
}
std::unique_ptr<Registry> makeSimRegistry()
{
    return std::make_unique<SimRegistry>();
}

} // namespace platform
