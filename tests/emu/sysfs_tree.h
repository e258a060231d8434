// /sys, /run/udev and the /dev/videoN files below a root folder, written from the rig's
// plugged devices as the kernel and udev lay them out: USB devices below the host controller
// with their attributes and descriptors, interface folders, video4linux nodes, class and
// bus links (relative, as sysfs makes them) and udev's database records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace emu
{

// One /dev/videoN as the device server numbers it.
struct TreeNode {
    int number = 0;
    int rigId = 0;
    bool metadata = false; // the UVC metadata node beside a capture node
    std::string driver;    // "uvcvideo" or "em28xx"
    std::string card;
    uint32_t deviceCaps = 0;
    bool unopenable = false; // root:video 0660: a user outside the group may not open it
};

// A device event as udev sends it on: its properties in the order written.
struct Uevent {
    std::vector<std::pair<std::string, std::string>> properties;
    std::string value(const std::string& key) const;
};

class SysfsTree
{
public:
    // Makes root/sys, root/run/udev (with the control file that tells libudev udev runs)
    // and root/dev, which must exist.
    explicit SysfsTree(std::filesystem::path root);
    ~SysfsTree();
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    // Brings the tree to the rig's plugged devices and the nodes given. Returns the events of
    // what appeared (a USB device, its interfaces, then its nodes) and what went (nodes first,
    // then interfaces, then the device: their folders are gone by then), without ACTION or
    // SEQNUM, which the sender adds; first what went, then what appeared.
    struct Changes {
        std::vector<Uevent> removed, added;
    };
    Changes update(const std::vector<TreeNode>& nodes);

    // Where a rig device sits: "1-2" or "1-2.3", empty when not plugged.
    std::string usbName(int rigId) const;

private:
    struct Device;
    void add(Device& d, std::vector<Uevent>& events);
    void remove(const Device& d, std::vector<Uevent>& events);
    void writeNode(Device& d, const TreeNode& n);
    std::string assignPorts(int rigId, const std::string& busInfo);

    std::filesystem::path m_root;
    std::map<int, std::unique_ptr<Device>> m_devices; // by rig id
    std::map<int, std::string> m_ports; // a device returns to its port when plugged again
    int m_devnum = 1;                   // the root hub holds 1
};

} // namespace emu
