// USB devices from /sys/bus/usb/devices (interfaces, which have no idVendor, are skipped).
#include "platform/linux/linux_backends.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <vector>

namespace platform
{

namespace fs = std::filesystem;

namespace
{

// Where a device sits in the hub tree: its bus, then the ports from the root hub down
// ("usb2" is bus 2's root hub, "2-1.4" port 4 of the hub on port 1 of bus 2). Windows lists
// USB devices much in this order, so bridge indices counted over it match.
struct TreePlace {
    bool known = false;
    uint32_t bus = 0;
    std::vector<uint32_t> ports;
    std::string name;

    bool operator<(const TreePlace& o) const
    {
        if (known != o.known)
            return known;
        if (!known)
            return name < o.name;
        if (bus != o.bus)
            return bus < o.bus;
        return ports < o.ports; // a hub before what hangs below it
    }
};

bool number(const std::string& s, uint32_t& v)
{
    if (s.empty() || s.size() > 4)
        return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

TreePlace placeOf(const std::string& name)
{
    TreePlace t;
    t.name = name;
    if (name.rfind("usb", 0) == 0) {
        t.known = number(name.substr(3), t.bus);
        return t;
    }
    const size_t dash = name.find('-');
    if (dash == std::string::npos || !number(name.substr(0, dash), t.bus))
        return t;
    std::stringstream ss(name.substr(dash + 1));
    for (std::string p; std::getline(ss, p, '.');) {
        uint32_t port = 0;
        if (!number(p, port))
            return TreePlace{false, 0, {}, name};
        t.ports.push_back(port);
    }
    t.known = !t.ports.empty() && name.back() != '.';
    return t;
}

class LinuxUsbScan : public UsbScan
{
public:
    explicit LinuxUsbScan(const LinuxContext& ctx) : m_ctx(ctx) {}

    std::vector<UsbDevice> scan() override
    {
        std::vector<TreePlace> places;
        std::error_code ec;
        const fs::path dir = m_ctx.root.sys() / "bus" / "usb" / "devices";
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string n = it->path().filename().string();
            if (n.find(':') == std::string::npos) // "1-2:1.0" is an interface
                places.push_back(placeOf(n));
        }
        std::sort(places.begin(), places.end());
        std::vector<UsbDevice> out;
        for (const TreePlace& p : places) {
            UsbDevice d;
            if (read(dir / p.name, d))
                out.push_back(std::move(d));
        }
        return out;
    }

private:
    static bool read(const fs::path& p, UsbDevice& d)
    {
        auto vid = readHexAttribute(p / "idVendor", 4);
        auto pid = readHexAttribute(p / "idProduct", 4);
        auto rev = readHexAttribute(p / "bcdDevice", 4);
        auto cls = readHexAttribute(p / "bDeviceClass", 2);
        auto sub = readHexAttribute(p / "bDeviceSubClass", 2);
        auto proto = readHexAttribute(p / "bDeviceProtocol", 2);
        if (!vid || !pid || !rev || !cls || !sub || !proto)
            return false;
        d.path = p.string();
        d.vid = static_cast<uint16_t>(*vid);
        d.pid = static_cast<uint16_t>(*pid);
        d.rev = static_cast<uint16_t>(*rev);
        d.deviceClass = static_cast<uint8_t>(*cls);
        d.subClass = static_cast<uint8_t>(*sub);
        d.protocol = static_cast<uint8_t>(*proto);
        auto ifs = readDecimalAttribute(p / "bNumInterfaces");
        d.interfaces = ifs && *ifs > 0 && *ifs < 256 ? static_cast<int>(*ifs) : 1;
        readFirstInterface(p, d);
        composeUsbIds(d);
        return true;
    }

    // The interface folder is "<device>:<configuration>.<interface>" ("1-0:1.0" for root
    // hub 1), so look for the suffix of the active configuration's interface 0.
    static void readFirstInterface(const fs::path& p, UsbDevice& d)
    {
        auto cfg = readDecimalAttribute(p / "bConfigurationValue");
        const std::string suffix = ":" + std::to_string(cfg ? *cfg : 1) + ".0";
        std::error_code ec;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string n = it->path().filename().string();
            if (n.size() <= suffix.size() ||
                n.compare(n.size() - suffix.size(), suffix.size(), suffix) != 0)
                continue;
            auto cls = readHexAttribute(it->path() / "bInterfaceClass", 2);
            auto sub = readHexAttribute(it->path() / "bInterfaceSubClass", 2);
            auto proto = readHexAttribute(it->path() / "bInterfaceProtocol", 2);
            if (cls && sub && proto) {
                d.interfaceClass = static_cast<uint8_t>(*cls);
                d.interfaceSubClass = static_cast<uint8_t>(*sub);
                d.interfaceProtocol = static_cast<uint8_t>(*proto);
            }
            return;
        }
    }

    LinuxContext m_ctx;
};

} // namespace

std::unique_ptr<UsbScan> makeLinuxUsbScan(const LinuxContext& ctx)
{
    return std::make_unique<LinuxUsbScan>(ctx);
}

} // namespace platform
