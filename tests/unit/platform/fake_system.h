// A fake machine for the Linux backends: a /sys and /dev tree in a temporary folder, and
// device nodes whose ioctls a table answers (and records).
#pragma once

#include "platform/linux/linux_backends.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/videodev2.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace platformtest
{

namespace fs = std::filesystem;

class FakeTree
{
public:
    FakeTree()
    {
        std::string tmpl = (fs::temp_directory_path() / "orvex-fake-XXXXXX").string();
        m_root = mkdtemp(tmpl.data());
        fs::create_directories(m_root / "sys" / "class" / "video4linux");
        fs::create_directories(m_root / "sys" / "bus" / "usb" / "devices");
        fs::create_directories(m_root / "dev");
    }
    ~FakeTree() { fs::remove_all(m_root); }
    const fs::path& root() const { return m_root; }

    void file(const fs::path& rel, const std::string& content)
    {
        fs::create_directories((m_root / rel).parent_path());
        std::ofstream(m_root / rel) << content;
    }
    void link(const fs::path& rel, const fs::path& target)
    {
        fs::create_directories((m_root / rel).parent_path());
        fs::create_directory_symlink(target, m_root / rel);
    }

    // A USB device under the first root hub, with its sysfs attributes as the kernel
    // writes them; returns its sysfs folder relative to the root.
    fs::path usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                       const std::string& rev = "0100", const std::string& cls = "00",
                       const std::string& sub = "00", const std::string& proto = "00",
                       int interfaces = 1, const std::string& itfClass = "0e/01/00")
    {
        fs::path dev = fs::path("sys/devices/pci0000:00/0000:00:14.0/usb1") / port;
        file(dev / "idVendor", vid + "\n");
        file(dev / "idProduct", pid + "\n");
        file(dev / "bcdDevice", rev + "\n");
        file(dev / "bDeviceClass", cls + "\n");
        file(dev / "bDeviceSubClass", sub + "\n");
        file(dev / "bDeviceProtocol", proto + "\n");
        file(dev / "bNumInterfaces", " " + std::to_string(interfaces) + "\n");
        file(dev / "bConfigurationValue", "1\n");
        // Root hub N names its interface "N-0:1.0".
        const std::string itfBase = port.rfind("usb", 0) == 0 ? port.substr(3) + "-0" : port;
        for (int i = 0; i < interfaces; ++i) {
            fs::path itf = dev / (itfBase + ":1." + std::to_string(i));
            file(itf / "bInterfaceClass", itfClass.substr(0, 2) + "\n");
            file(itf / "bInterfaceSubClass", itfClass.substr(3, 2) + "\n");
            file(itf / "bInterfaceProtocol", itfClass.substr(6, 2) + "\n");
        }
        link(fs::path("sys/bus/usb/devices") / port, m_root / dev);
        for (int i = 0; i < interfaces; ++i) {
            std::string itf = itfBase + ":1." + std::to_string(i);
            link(fs::path("sys/bus/usb/devices") / itf, m_root / dev / itf);
        }
        return dev;
    }

    // A video node: its class entry links to the device folder whose 'device' points at
    // the USB interface (or at a platform device when usbDev is empty).
    void videoNode(int n, const fs::path& usbDev, const std::string& itf = ":1.0",
                   const std::string& sysName = "whatever")
    {
        std::string name = "video" + std::to_string(n);
        fs::path parent = usbDev.empty() ? fs::path("sys/devices/platform/vivid.0")
                                         : usbDev / (usbDev.filename().string() + itf);
        fs::path node = parent / "video4linux" / name;
        file(node / "name", sysName + "\n");
        file(node / "dev", "81:" + std::to_string(n) + "\n");
        link(node / "device", m_root / parent);
        link(fs::path("sys/class/video4linux") / name, m_root / node);
        file(fs::path("dev") / name, "");
    }

private:
    fs::path m_root;
};

// Device nodes by path; each answers QUERYCAP with its capability record.
struct FakeIoctls {
    struct Node {
        v4l2_capability cap{};
        bool queryFails = false;
        int openErrno = 0;     // the node refuses to open with this
        int dbgErrno = ENOTTY; // 0: debug registers work
        uint8_t regs[256] = {};
    };
    std::map<std::string, Node> nodes;
    std::map<int, std::string> open;
    std::vector<v4l2_dbg_register> dbgCalls;
    std::vector<unsigned long> dbgRequests;
    struct I2cCall {
        std::string node;
        std::vector<i2c_msg> msgs;
        std::vector<std::vector<uint8_t>> bytes;
    };
    std::vector<I2cCall> i2cCalls;
    int nextFd = 100;

    Node& capture(const fs::path& path, const char* card, const char* bus, uint32_t deviceCaps,
                  uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE |
                                  V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS)
    {
        Node& n = nodes[path.string()];
        std::strncpy(reinterpret_cast<char*>(n.cap.card), card, sizeof n.cap.card - 1);
        std::strncpy(reinterpret_cast<char*>(n.cap.bus_info), bus, sizeof n.cap.bus_info - 1);
        std::strncpy(reinterpret_cast<char*>(n.cap.driver), "uvcvideo", sizeof n.cap.driver - 1);
        n.cap.capabilities = caps;
        n.cap.device_caps = deviceCaps;
        return n;
    }

    platform::IoctlOps ops()
    {
        platform::IoctlOps o;
        o.ctx = this;
        o.open = [](void* c, const char* path, int) {
            auto* self = static_cast<FakeIoctls*>(c);
            if (!self->nodes.count(path)) {
                errno = ENOENT;
                return -1;
            }
            if (int e = self->nodes[path].openErrno) {
                errno = e;
                return -1;
            }
            int fd = self->nextFd++;
            self->open[fd] = path;
            return fd;
        };
        o.close = [](void* c, int fd) {
            auto* self = static_cast<FakeIoctls*>(c);
            return self->open.erase(fd) ? 0 : -1;
        };
        o.ioctl = [](void* c, int fd, unsigned long rq, void* arg) {
            return static_cast<FakeIoctls*>(c)->ioctl(fd, rq, arg);
        };
        return o;
    }

    int ioctl(int fd, unsigned long rq, void* arg)
    {
        auto it = open.find(fd);
        if (it == open.end()) {
            errno = EBADF;
            return -1;
        }
        Node& n = nodes[it->second];
        if (rq == VIDIOC_QUERYCAP) {
            if (n.queryFails) {
                errno = EIO;
                return -1;
            }
            std::memcpy(arg, &n.cap, sizeof n.cap);
            return 0;
        }
        if (rq == VIDIOC_DBG_G_REGISTER || rq == VIDIOC_DBG_S_REGISTER) {
            auto* r = static_cast<v4l2_dbg_register*>(arg);
            dbgCalls.push_back(*r);
            dbgRequests.push_back(rq);
            if (n.dbgErrno) {
                errno = n.dbgErrno;
                return -1;
            }
            // As the em28xx driver: 0x30, 0x32 and 0x40 move as little-endian pairs.
            const uint32_t reg = r->reg & 0xFF;
            const bool pair = reg == 0x30 || reg == 0x32 || reg == 0x40;
            if (rq == VIDIOC_DBG_G_REGISTER) {
                r->val = n.regs[reg] | (pair ? n.regs[reg + 1] << 8 : 0);
                r->size = pair ? 2 : 1;
            } else {
                n.regs[reg] = static_cast<uint8_t>(r->val);
                if (pair)
                    n.regs[reg + 1] = static_cast<uint8_t>(r->val >> 8);
            }
            return 0;
        }
        if (rq == I2C_RDWR) {
            auto* d = static_cast<i2c_rdwr_ioctl_data*>(arg);
            I2cCall call{it->second, {}, {}};
            for (uint32_t i = 0; i < d->nmsgs; ++i) {
                call.msgs.push_back(d->msgs[i]);
                if (d->msgs[i].flags & I2C_M_RD)
                    std::memset(d->msgs[i].buf, 0x42, d->msgs[i].len);
                call.bytes.emplace_back(d->msgs[i].buf, d->msgs[i].buf + d->msgs[i].len);
            }
            i2cCalls.push_back(std::move(call));
            return 0;
        }
        errno = ENOTTY;
        return -1;
    }
};

inline platform::LinuxContext context(const FakeTree& tree, FakeIoctls& io)
{
    platform::LinuxContext ctx;
    ctx.root.root = tree.root();
    ctx.ops = io.ops();
    return ctx;
}

} // namespace platformtest
