// Hot-plug from a libudev monitor on video4linux, its fd in the toolkit's event loop.
#include "platform/fd_watch.h"
#include "platform/linux/linux_backends.h"

#include <libudev.h>

#include <charconv>

namespace platform
{

namespace
{

std::optional<uint16_t> hexId(const std::string& s)
{
    if (s.empty() || s.size() > 4)
        return std::nullopt;
    unsigned v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        return std::nullopt;
    return static_cast<uint16_t>(v);
}

std::string text(const char* s)
{
    return s ? s : "";
}

class UdevSource : public UdevEventSource
{
public:
    UdevSource(udev* u, udev_monitor* m) : m_udev(u), m_monitor(m) {}
    ~UdevSource() override
    {
        udev_monitor_unref(m_monitor);
        udev_unref(m_udev);
    }
    int fd() const override { return udev_monitor_get_fd(m_monitor); }

    std::optional<UdevEvent> receive() override
    {
        udev_device* d = udev_monitor_receive_device(m_monitor);
        if (!d)
            return std::nullopt;
        UdevEvent e;
        e.action = text(udev_device_get_action(d));
        e.devpath = text(udev_device_get_devpath(d));
        // Remove events still carry these from udev's database; sysfs is gone by then.
        e.vendorId = text(udev_device_get_property_value(d, "ID_VENDOR_ID"));
        e.modelId = text(udev_device_get_property_value(d, "ID_MODEL_ID"));
        e.capabilities = text(udev_device_get_property_value(d, "ID_V4L_CAPABILITIES"));
        if (e.vendorId.empty() || e.modelId.empty()) {
            udev_device* usb =
                udev_device_get_parent_with_subsystem_devtype(d, "usb", "usb_device");
            if (usb) {
                e.vendorId = text(udev_device_get_sysattr_value(usb, "idVendor"));
                e.modelId = text(udev_device_get_sysattr_value(usb, "idProduct"));
            }
        }
        udev_device_unref(d);
        return e;
    }

private:
    udev* m_udev;
    udev_monitor* m_monitor;
};

class UdevMonitor : public HotplugMonitor
{
public:
    UdevMonitor(std::unique_ptr<UdevEventSource> source,
                std::function<void(const DeviceChange&)> handler)
        : m_source(std::move(source)), m_handler(std::move(handler)),
          m_watch(m_source->fd(), [this] { drain(); })
    {
    }
    bool active() const { return m_watch.active(); }

private:
    void drain()
    {
        while (auto e = m_source->receive())
            if (auto change = toDeviceChange(*e))
                m_handler(*change);
    }

    std::unique_ptr<UdevEventSource> m_source;
    std::function<void(const DeviceChange&)> m_handler;
    FdWatch m_watch;
};

class LinuxHotplug : public HotplugService
{
public:
    std::unique_ptr<HotplugMonitor> watch(std::function<void(const DeviceChange&)> handler) override
    {
        auto source = openUdevSource();
        if (!source)
            return nullptr;
        return watchUdevSource(std::move(source), std::move(handler));
    }
};

} // namespace

std::unique_ptr<UdevEventSource> openUdevSource()
{
    udev* u = udev_new();
    if (!u)
        return nullptr;
    udev_monitor* m = udev_monitor_new_from_netlink(u, "udev");
    if (!m || udev_monitor_filter_add_match_subsystem_devtype(m, "video4linux", nullptr) < 0 ||
        udev_monitor_enable_receiving(m) < 0) {
        if (m)
            udev_monitor_unref(m);
        udev_unref(u);
        return nullptr;
    }
    return std::make_unique<UdevSource>(u, m);
}

std::optional<DeviceChange> toDeviceChange(const UdevEvent& e)
{
    DeviceChange c;
    if (e.action == "add")
        c.arrived = true;
    else if (e.action != "remove")
        return std::nullopt;
    if (e.devpath.empty())
        return std::nullopt;
    // A camera's metadata node comes and goes with its capture node: one change is enough.
    if (!e.capabilities.empty() && e.capabilities.find(":capture:") == std::string::npos)
        return std::nullopt;
    auto vid = hexId(e.vendorId), pid = hexId(e.modelId);
    c.hasUsbIds = vid && pid;
    c.vid = vid.value_or(0);
    c.pid = pid.value_or(0);
    c.interfaceName = composeInterfaceName(e.devpath, c.hasUsbIds, c.vid, c.pid);
    return c;
}

std::unique_ptr<HotplugMonitor> watchUdevSource(std::unique_ptr<UdevEventSource> source,
                                                std::function<void(const DeviceChange&)> handler)
{
    if (!source || source->fd() < 0)
        return nullptr;
    auto m = std::make_unique<UdevMonitor>(std::move(source), std::move(handler));
    if (!m->active())
        return nullptr;
    return m;
}

std::unique_ptr<HotplugService> makeLinuxHotplug()
{
    return std::make_unique<LinuxHotplug>();
}

} // namespace platform
