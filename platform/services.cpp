#include "platform/services.h"

#include "platform/linux/linux_backends.h"
#include "platform/sim/sim_backends.h"

namespace platform
{

namespace
{

struct Services {
    Backend backend = Backend::Linux;
    std::unique_ptr<VideoInputList> videoInputs;
    std::unique_ptr<CaptureFactory> captures;
    std::unique_ptr<UsbScan> usbScan;
    std::unique_ptr<HotplugService> hotplug;
    std::unique_ptr<Em28xxAccess> em28xx;
    std::unique_ptr<Registry> registry;
};

Services makeLinux(const std::string& root)
{
    LinuxContext ctx;
    ctx.root.root = root.empty() ? "/" : root;
    Services s;
    s.backend = Backend::Linux;
    s.videoInputs = makeLinuxVideoInputs(ctx);
    s.captures = makeLinuxCaptures(ctx);
    s.usbScan = makeLinuxUsbScan(ctx);
    s.hotplug = makeLinuxHotplug();
    s.em28xx = makeLinuxEm28xx(ctx);
    s.registry = makeLinuxRegistry();
    return s;
}

Services& current()
{
    static Services s = makeLinux("/");
    return s;
}

} // namespace

VideoInputList& videoInputs()
{
    return *current().videoInputs;
}
CaptureFactory& captures()
{
    return *current().captures;
}
UsbScan& usbScan()
{
    return *current().usbScan;
}
HotplugService& hotplug()
{
    return *current().hotplug;
}
Em28xxAccess& em28xx()
{
    return *current().em28xx;
}
Registry& registry()
{
    return *current().registry;
}

void useLinuxBackends(const std::string& root)
{
    current() = makeLinux(root);
}

void useSimBackends()
{
    Services s;
    s.backend = Backend::Sim;
    s.videoInputs = makeSimVideoInputs();
    s.captures = makeSimCaptures();
    s.usbScan = makeSimUsbScan();
    s.hotplug = makeSimHotplug();
    s.em28xx = makeSimEm28xx();
    s.registry = makeSimRegistry();
    current() = std::move(s);
}

Backend backend()
{
    return current().backend;
}

} // namespace platform
