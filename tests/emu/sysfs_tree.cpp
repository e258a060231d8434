#include "emu/sysfs_tree.h"

#include <scopesim/rig.h>
#include <scopesim/scopesim.h>

#include <linux/videodev2.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <grp.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace emu
{

namespace fs = std::filesystem;

namespace
{

const fs::path kController = "devices/pci0000:00/0000:00:14.0";
constexpr int kVideoMajor = 81, kUsbMajor = 189;

std::string hex(unsigned v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", digits, v);
    return buf;
}

void writeFile(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

// Writes attribute files as sysfs shows them: one value and a newline.
void writeAttributes(const fs::path& dir,
                     const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [name, value] : values)
        writeFile(dir / name, value + "\n");
}

std::string ueventText(const std::vector<std::pair<std::string, std::string>>& values)
{
    std::string text;
    for (const auto& [k, v] : values)
        text += k + "=" + v + "\n";
    return text;
}

// udev's encoding of a USB string for ID_MODEL and the like.
std::string udevWord(const std::string& s)
{
    std::string out = s;
    std::replace(out.begin(), out.end(), ' ', '_');
    return out;
}

bool validPorts(const std::string& s)
{
    if (s.empty() || s.front() == '.' || s.back() == '.' || s.find("..") != std::string::npos)
        return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::string topPort(const std::string& ports)
{
    return ports.substr(0, ports.find('.'));
}

// A device descriptor, one configuration and its interfaces, for devices the rig has no
// descriptors of (hubs, composite devices).
std::string plainDescriptors(const scopesim::UsbDeviceInfo& u)
{
    std::string d = {18, 1, 0x00, 0x02, char(u.deviceClass), char(u.subClass), char(u.protocol),
                     64};
    d += {char(u.vid & 0xFF),
          char(u.vid >> 8),
          char(u.pid & 0xFF),
          char(u.pid >> 8),
          char(u.rev & 0xFF),
          char(u.rev >> 8),
          1,
          2,
          0,
          1};
    const int total = 9 + 9 * u.interfaces;
    d += {9, 2, char(total & 0xFF), char(total >> 8), char(u.interfaces), 1, 0, char(0x80), 50};
    for (int i = 0; i < u.interfaces; ++i)
        d += {9,
              4,
              char(i),
              0,
              0,
              char(u.interfaceClass),
              char(u.interfaceSubClass),
              char(u.interfaceProtocol),
              0};
    return d;
}

std::string rigDescriptors(int id)
{
    std::string bytes(4096, '\0');
    int n = scopesim_xu_descriptors(id, reinterpret_cast<unsigned char*>(bytes.data()),
                                    int(bytes.size()));
    if (n > int(bytes.size())) {
        bytes.assign(size_t(n), '\0');
        n = scopesim_xu_descriptors(id, reinterpret_cast<unsigned char*>(bytes.data()), n);
    }
    bytes.resize(size_t(std::max(n, 0)));
    return bytes;
}

// sysfs links are relative, so the tree reads the same from wherever it is mounted.
void link(const fs::path& at, const fs::path& target)
{
    std::error_code ec;
    fs::remove(at, ec);
    fs::create_symlink(target.lexically_relative(at.parent_path()), at);
}

gid_t videoGroup()
{
    struct group* g = ::getgrnam("video");
    return g ? g->gr_gid : 44;
}

} // namespace

std::string Uevent::value(const std::string& key) const
{
    for (const auto& [k, v] : properties)
        if (k == key)
            return v;
    return {};
}

struct SysfsTree::Device {
    scopesim::UsbDeviceInfo usb;
    std::string busInfo; // a video input's, empty for plain devices
    uint32_t plugCount = 0;
    std::string ports, name; // "2.3", "1-2.3"
    int devnum = 0;
    fs::path folder; // below root/sys
    std::vector<std::string> interfaces;
    std::vector<TreeNode> nodes;
    // What udev said when each part came, to say it again at removal: the device and its
    // interfaces, and the nodes.
    std::vector<Uevent> events, nodeEvents;
    std::string driver() const
    {
        if (usb.kind == scopesim::DeviceKind::Em28xx)
            return "em28xx";
        if (usb.kind == scopesim::DeviceKind::Usb)
            return usb.deviceClass == 9 ? "hub" : "";
        return "uvcvideo";
    }
};

SysfsTree::SysfsTree(fs::path root) : m_root(std::move(root))
{
    const fs::path sys = m_root / "sys";
    fs::create_directories(sys / kController / "usb1");
    fs::create_directories(sys / "class" / "video4linux");
    fs::create_directories(sys / "bus" / "usb" / "devices");
    for (const char* d : {"usb", "uvcvideo", "em28xx", "hub"})
        fs::create_directories(sys / "bus" / "usb" / "drivers" / d);
    fs::create_directories(m_root / "run" / "udev" / "data");
    // libudev hands out udev's events only while this exists (udev runs).
    writeFile(m_root / "run" / "udev" / "control", "");
}

SysfsTree::~SysfsTree() = default;

std::string SysfsTree::usbName(int rigId) const
{
    auto it = m_devices.find(rigId);
    return it == m_devices.end() ? std::string() : it->second->name;
}

std::string SysfsTree::assignPorts(int rigId, const std::string& busInfo)
{
    if (auto it = m_ports.find(rigId); it != m_ports.end())
        return it->second;
    std::set<std::string> taken, tops;
    for (const auto& [id, p] : m_ports) {
        taken.insert(p);
        tops.insert(topPort(p));
    }
    // "usb-0000:00:14.0-2.3": the ports after the last dash, where the rig says so.
    std::string ports;
    const size_t dash = busInfo.rfind('-');
    if (busInfo.rfind("usb-", 0) == 0 && dash != std::string::npos)
        ports = busInfo.substr(dash + 1);
    if (!validPorts(ports) || ports.size() > 20 || taken.count(ports))
        for (int n = 1; ports.empty() || tops.count(ports); ++n)
            ports = std::to_string(n);
    return m_ports[rigId] = ports;
}

SysfsTree::Changes SysfsTree::update(const std::vector<TreeNode>& nodes)
{
    std::map<int, scopesim::VideoInputInfo> inputs;
    for (auto& v : scopesim::videoInputs())
        inputs[v.id] = v;
    std::vector<std::unique_ptr<Device>> wanted;
    for (auto& u : scopesim::usbDevices()) {
        auto d = std::make_unique<Device>();
        d->usb = u;
        if (auto it = inputs.find(u.id); it != inputs.end()) {
            d->busInfo = it->second.description;
            d->plugCount = it->second.plugCount;
        }
        for (const TreeNode& n : nodes)
            if (n.rigId == u.id)
                d->nodes.push_back(n);
        wanted.push_back(std::move(d));
    }

    Changes out;
    // A device that went, or came back (a new plug-in) or whose nodes changed, goes first.
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const Device& old = *it->second;
        auto w = std::find_if(wanted.begin(), wanted.end(),
                              [&](auto& d) { return d->usb.id == old.usb.id; });
        const bool same = w != wanted.end() && (*w)->plugCount == old.plugCount &&
                          (*w)->nodes.size() == old.nodes.size() &&
                          std::equal(old.nodes.begin(), old.nodes.end(), (*w)->nodes.begin(),
                                     [](const TreeNode& a, const TreeNode& b) {
                                         return a.number == b.number && a.metadata == b.metadata;
                                     });
        if (same) {
            ++it;
            continue;
        }
        remove(old, out.removed);
        it = m_devices.erase(it);
    }
    // Ports the rig names are taken before any device is given a free one.
    for (auto& d : wanted)
        if (!m_devices.count(d->usb.id) && !d->busInfo.empty())
            assignPorts(d->usb.id, d->busInfo);
    for (auto& d : wanted) {
        if (m_devices.count(d->usb.id))
            continue;
        add(*d, out.added);
        m_devices[d->usb.id] = std::move(d);
    }
    return out;
}

void SysfsTree::add(Device& d, std::vector<Uevent>& events)
{
    const scopesim::UsbDeviceInfo& u = d.usb;
    d.ports = assignPorts(u.id, d.busInfo);
    d.name = "1-" + d.ports;
    d.devnum = ++m_devnum;
    // "1-2.3" sits in the folder of the hub on port 2: usb1/1-2/1-2.3.
    d.folder = kController / "usb1";
    std::string prefix = "1-";
    for (size_t start = 0;;) {
        const size_t dot = d.ports.find('.', start);
        d.folder /= prefix + d.ports.substr(0, dot);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    const fs::path sys = m_root / "sys", dir = sys / d.folder;
    fs::create_directories(dir);

    const std::string product =
        !u.name.empty() ? u.name : (u.deviceClass == 9 ? "USB Hub" : "USB Device");
    const std::string serial = u.name.empty() ? "" : hex(u.vid, 4) + hex(u.pid, 4) + hex(u.id, 4);
    const std::string devnum = std::to_string(d.devnum);
    char devname[32];
    std::snprintf(devname, sizeof devname, "bus/usb/001/%03d", d.devnum);
    writeAttributes(
        dir, {{"idVendor", hex(u.vid, 4)},
              {"idProduct", hex(u.pid, 4)},
              {"bcdDevice", hex(u.rev, 4)},
              {"bDeviceClass", hex(u.deviceClass, 2)},
              {"bDeviceSubClass", hex(u.subClass, 2)},
              {"bDeviceProtocol", hex(u.protocol, 2)},
              {"bNumInterfaces", (u.interfaces < 10 ? " " : "") + std::to_string(u.interfaces)},
              {"bConfigurationValue", "1"},
              {"bNumConfigurations", "1"},
              {"bMaxPacketSize0", "64"},
              {"speed", "480"},
              {"version", " 2.00"},
              {"busnum", "1"},
              {"devnum", devnum},
              {"devpath", d.ports},
              {"product", product},
              {"manufacturer", "Generic"},
              {"authorized", "1"},
              {"removable", "removable"}});
    if (!serial.empty())
        writeAttributes(dir, {{"serial", serial}});
    writeFile(dir / "descriptors", u.name.empty() ? plainDescriptors(u) : rigDescriptors(u.id));
    const std::string productKey = hex(u.vid, 0) + "/" + hex(u.pid, 0) + "/" + hex(u.rev, 0);
    const std::string type = std::to_string(u.deviceClass) + "/" + std::to_string(u.subClass) +
                             "/" + std::to_string(u.protocol);
    const std::vector<std::pair<std::string, std::string>> devUevent = {
        {"MAJOR", std::to_string(kUsbMajor)},
        {"MINOR", std::to_string(d.devnum - 1)},
        {"DEVNAME", devname},
        {"DEVTYPE", "usb_device"},
        {"DRIVER", "usb"},
        {"PRODUCT", productKey},
        {"TYPE", type},
        {"BUSNUM", "001"},
        {"DEVNUM", std::string(devname).substr(12)}};
    writeFile(dir / "uevent", ueventText(devUevent));
    link(dir / "subsystem", sys / "bus" / "usb");
    link(dir / "driver", sys / "bus" / "usb" / "drivers" / "usb");
    link(sys / "bus" / "usb" / "devices" / d.name, dir);

    // What udev's usb_id and path_id builtins add to the device and everything below it.
    const std::string path = "pci-0000:00:14.0-usb-0:" + d.ports;
    std::vector<std::pair<std::string, std::string>> ids = {
        {"ID_VENDOR", "Generic"},
        {"ID_VENDOR_ID", hex(u.vid, 4)},
        {"ID_MODEL", udevWord(product)},
        {"ID_MODEL_ID", hex(u.pid, 4)},
        {"ID_REVISION", hex(u.rev, 4)},
        {"ID_SERIAL", "Generic_" + udevWord(product) + (serial.empty() ? "" : "_" + serial)},
        {"ID_BUS", "usb"}};
    Uevent dev;
    dev.properties = {{"DEVPATH", "/" + d.folder.string()}, {"SUBSYSTEM", "usb"}};
    dev.properties.insert(dev.properties.end(), devUevent.begin(), devUevent.end());
    dev.properties.insert(dev.properties.end(), ids.begin(), ids.end());
    d.events.push_back(dev);

    // A UVC camera: VideoControl and VideoStreaming; em28xx and plain devices: their class.
    const bool uvc = d.driver() == "uvcvideo";
    for (int i = 0; i < u.interfaces; ++i) {
        const std::string itf = d.name + ":1." + std::to_string(i);
        const fs::path idir = dir / itf;
        fs::create_directories(idir);
        const int cls = u.interfaceClass, sub = uvc && i > 0 ? 2 : u.interfaceSubClass,
                  proto = u.interfaceProtocol;
        writeAttributes(idir, {{"bInterfaceNumber", hex(unsigned(i), 2)},
                               {"bAlternateSetting", " 0"},
                               {"bInterfaceClass", hex(unsigned(cls), 2)},
                               {"bInterfaceSubClass", hex(unsigned(sub), 2)},
                               {"bInterfaceProtocol", hex(unsigned(proto), 2)},
                               {"bNumEndpoints", "01"},
                               {"authorized", "1"}});
        std::vector<std::pair<std::string, std::string>> ue = {
            {"DEVTYPE", "usb_interface"},
            {"PRODUCT", productKey},
            {"TYPE", type},
            {"INTERFACE",
             std::to_string(cls) + "/" + std::to_string(sub) + "/" + std::to_string(proto)}};
        if (!d.driver().empty()) {
            ue.insert(ue.begin() + 1, {"DRIVER", d.driver()});
            link(idir / "driver", sys / "bus" / "usb" / "drivers" / d.driver());
        }
        writeFile(idir / "uevent", ueventText(ue));
        link(idir / "subsystem", sys / "bus" / "usb");
        link(sys / "bus" / "usb" / "devices" / itf, idir);
        Uevent e;
        e.properties = {{"DEVPATH", "/" + (d.folder / itf).string()}, {"SUBSYSTEM", "usb"}};
        e.properties.insert(e.properties.end(), ue.begin(), ue.end());
        d.events.push_back(e);
        d.interfaces.push_back(itf);
    }
    for (const TreeNode& n : d.nodes)
        writeNode(d, n);
    events.insert(events.end(), d.events.begin(), d.events.end());
    events.insert(events.end(), d.nodeEvents.begin(), d.nodeEvents.end());
}

void SysfsTree::writeNode(Device& d, const TreeNode& n)
{
    const fs::path sys = m_root / "sys";
    const std::string name = "video" + std::to_string(n.number);
    const fs::path itf = d.folder / d.interfaces.at(0);
    const fs::path rel = itf / "video4linux" / name, dir = sys / rel;
    fs::create_directories(dir);
    const std::string dev = std::to_string(kVideoMajor) + ":" + std::to_string(n.number);
    writeAttributes(dir, {{"name", n.card}, {"dev", dev}, {"index", n.metadata ? "1" : "0"}});
    const std::vector<std::pair<std::string, std::string>> ue = {
        {"MAJOR", std::to_string(kVideoMajor)},
        {"MINOR", std::to_string(n.number)},
        {"DEVNAME", name}};
    writeFile(dir / "uevent", ueventText(ue));
    link(dir / "subsystem", sys / "class" / "video4linux");
    link(dir / "device", sys / itf);
    link(sys / "class" / "video4linux" / name, dir);

    // The node appears, then udev records what it probed, then it tells.
    const fs::path node = m_root / "dev" / name;
    writeFile(node, "");
    // The seat's user gets the node through udev's access list; a node refused to the user is
    // the video group's alone.
    ::chmod(node.c_str(), n.unopenable ? 0660 : 0666);
    if (::chown(node.c_str(), 0, videoGroup()) != 0) {
        // Not root in this namespace: the node stays the launcher's, its mode still applies.
    }
    const bool capture = n.deviceCaps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE);
    const auto& usbEvent = d.events.front().properties;
    std::vector<std::pair<std::string, std::string>> props = {
        {"ID_V4L_VERSION", "2"},
        {"ID_V4L_PRODUCT", n.card},
        {"ID_V4L_CAPABILITIES", capture ? ":capture:" : ":"}};
    for (const auto& kv : usbEvent)
        if (kv.first.rfind("ID_", 0) == 0)
            props.push_back(kv);
    props.push_back({"ID_USB_DRIVER", n.driver});
    props.push_back({"ID_USB_INTERFACE_NUM", "00"});
    props.push_back({"ID_PATH", "pci-0000:00:14.0-usb-0:" + d.ports + ":1.0"});
    std::string db = "I:" + std::to_string(uint64_t(d.devnum) * 1000000) + "\n";
    for (const auto& [k, v] : props)
        db += "E:" + k + "=" + v + "\n";
    db += "G:uaccess\nQ:uaccess\nV:1\n";
    writeFile(m_root / "run" / "udev" / "data" / ("c" + dev), db);

    Uevent e;
    e.properties = {{"DEVPATH", "/" + rel.string()}, {"SUBSYSTEM", "video4linux"}};
    e.properties.push_back({"DEVNAME", "/dev/" + name});
    e.properties.insert(e.properties.end(), ue.begin(), ue.end() - 1);
    e.properties.insert(e.properties.end(), props.begin(), props.end());
    e.properties.push_back({"TAGS", ":uaccess:"});
    e.properties.push_back({"CURRENT_TAGS", ":uaccess:"});
    d.nodeEvents.push_back(e);
}

void SysfsTree::remove(const Device& d, std::vector<Uevent>& events)
{
    const fs::path sys = m_root / "sys";
    std::error_code ec;
    for (const TreeNode& n : d.nodes) {
        const std::string name = "video" + std::to_string(n.number);
        fs::remove(sys / "class" / "video4linux" / name, ec);
        fs::remove(m_root / "dev" / name, ec);
        fs::remove(m_root / "run" / "udev" / "data" /
                       ("c" + std::to_string(kVideoMajor) + ":" + std::to_string(n.number)),
                   ec);
    }
    for (const std::string& itf : d.interfaces)
        fs::remove(sys / "bus" / "usb" / "devices" / itf, ec);
    fs::remove(sys / "bus" / "usb" / "devices" / d.name, ec);
    // Only the device's own folder: a hub's folder holding it stays.
    fs::remove_all(sys / d.folder, ec);

    // Nodes first, then interfaces, then the device, as the kernel unregisters them; each
    // still says what udev knew of it.
    events.insert(events.end(), d.nodeEvents.begin(), d.nodeEvents.end());
    events.insert(events.end(), d.events.rbegin(), d.events.rend());
}

} // namespace emu
