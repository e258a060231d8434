// USB devices from /sys/bus/usb/devices (interfaces, which have no idVendor, are skipped).
#include "platform/linux/linux_backends.h"

#include <algorithm>

namespace platform
{

namespace fs = std::filesystem;

namespace
{

// "1-2.10" after "1-2.9": compare digit runs by value.
bool naturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isdigit(static_cast<unsigned char>(a[i])) &&
            isdigit(static_cast<unsigned char>(b[j]))) {
            size_t i2 = i, j2 = j;
            while (i2 < a.size() && isdigit(static_cast<unsigned char>(a[i2])))
                ++i2;
            while (j2 < b.size() && isdigit(static_cast<unsigned char>(b[j2])))
                ++j2;
            std::string na = a.substr(i, i2 - i), nb = b.substr(j, j2 - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = i2;
            j = j2;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

class LinuxUsbScan : public UsbScan
{
public:
    explicit LinuxUsbScan(const LinuxContext& ctx) : m_ctx(ctx) {}

    std::vector<UsbDevice> scan() override
    {
        std::vector<std::string> names;
        std::error_code ec;
        const fs::path dir = m_ctx.root.sys() / "bus" / "usb" / "devices";
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end(), naturalLess);
        std::vector<UsbDevice> out;
        for (const std::string& n : names) {
            UsbDevice d;
            if (read(dir / n, d))
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
        composeUsbIds(d);
        return true;
    }

    LinuxContext m_ctx;
};

} // namespace

std::unique_ptr<UsbScan> makeLinuxUsbScan(const LinuxContext& ctx)
{
    return std::make_unique<LinuxUsbScan>(ctx);
}

} // namespace platform
