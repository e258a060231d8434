// Video inputs from /sys/class/video4linux and VIDIOC_QUERYCAP on each node.
#include "platform/linux/linux_backends.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform
{

namespace fs = std::filesystem;

namespace
{

std::string fixedString(const uint8_t* s, size_t n)
{
    size_t len = 0;
    while (len < n && s[len])
        ++len;
    return std::string(reinterpret_cast<const char*>(s), len);
}

bool isNumber(const std::string& s)
{
    return !s.empty() && s.size() < 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class LinuxVideoInputs : public VideoInputList
{
public:
    explicit LinuxVideoInputs(const LinuxContext& ctx) : m_ctx(ctx) {}

    std::vector<VideoInput> enumerate() override
    {
        std::vector<std::pair<int, std::string>> nodes;
        std::error_code ec;
        const fs::path classDir = m_ctx.root.sys() / "class" / "video4linux";
        for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name.rfind("video", 0) == 0 && isNumber(name.substr(5)))
                nodes.emplace_back(std::stoi(name.substr(5)), name);
        }
        std::sort(nodes.begin(), nodes.end());
        std::vector<VideoInput> out;
        for (auto& [number, name] : nodes) {
            VideoInput v;
            if (describe(classDir / name, name, v))
                out.push_back(std::move(v));
        }
        return out;
    }

private:
    bool describe(const fs::path& sysNode, const std::string& name, VideoInput& v)
    {
        const fs::path node = m_ctx.root.dev() / name;
        v4l2_capability cap{};
        const int fd = m_ctx.ops.open(m_ctx.ops.ctx, node.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0)
            return describeUnopenable(sysNode, node, errno, v);
        const int r = m_ctx.ops.ioctl(m_ctx.ops.ctx, fd, VIDIOC_QUERYCAP, &cap);
        m_ctx.ops.close(m_ctx.ops.ctx, fd);
        if (r < 0)
            return false;
        // device_caps describes this node; capabilities the whole device (a camera's
        // metadata node carries VIDEO_CAPTURE there too).
        uint32_t caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)))
            return false;
        v.friendlyName = fixedString(cap.card, sizeof cap.card);
        v.description = fixedString(cap.bus_info, sizeof cap.bus_info);
        v.driver = fixedString(cap.driver, sizeof cap.driver);
        v.devicePath = node.string();
        addUsbIds(sysNode, v);
        nameEm28xx(v);
        return true;
    }

    // A node the user may not open keeps its place in the list (so later indices do not
    // shift) when sysfs and udev say it captures video; what it is called and why it
    // refused come from what is readable without opening it.
    bool describeUnopenable(const fs::path& sysNode, const fs::path& node, int err, VideoInput& v)
    {
        if (err == ENOENT || err == ENODEV || err == ENXIO)
            return false; // gone: unplugged while we looked
        if (!capturesVideo(sysNode))
            return false;
        v.friendlyName = readAttribute(sysNode / "name").value_or("");
        v.devicePath = node.string();
        std::string group;
        const bool member = userInNodeGroup(node, group);
        v.openError = describeOpenError(err, member, group);
        std::error_code ec;
        v.driver = fs::read_symlink(sysNode / "device" / "driver", ec).filename().string();
        addUsbIds(sysNode, v);
        nameEm28xx(v);
        return true;
    }

    // udev's probe records the node's capabilities (":capture:" for a capture node, ":" for
    // a metadata node). Without a udev record, the first node of a device (index 0) is its
    // capture node, as uvcvideo and em28xx number them.
    bool capturesVideo(const fs::path& sysNode) const
    {
        if (auto dev = readAttribute(sysNode / "dev")) {
            std::ifstream db(m_ctx.root.udevData() / ("c" + *dev));
            const std::string key = "E:ID_V4L_CAPABILITIES=";
            for (std::string line; std::getline(db, line);)
                if (line.rfind(key, 0) == 0)
                    return line.find(":capture:", key.size()) != std::string::npos;
        }
        auto index = readDecimalAttribute(sysNode / "index");
        return !index || *index == 0;
    }

    // The node's owning group and whether this process belongs to it (root belongs to all).
    static bool userInNodeGroup(const fs::path& node, std::string& group)
    {
        struct stat st {
        };
        if (::stat(node.c_str(), &st) != 0)
            return true;
        if (struct group* g = ::getgrgid(st.st_gid))
            group = g->gr_name;
        if (::geteuid() == 0 || ::getegid() == st.st_gid)
            return true;
        std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
        const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
        return std::find(groups.begin(), groups.begin() + std::max(n, 0), st.st_gid) !=
               groups.begin() + std::max(n, 0);
    }

    // The em28xx driver names its node after the board it guessed ("Unknown EM2750/28xx
    // video grabber"), never after the product, so name rules written for the product's own
    // name could not match. Such a camera is named by its USB product string instead, which
    // is what the other system's driver shows as the friendly name.
    static void nameEm28xx(VideoInput& v)
    {
        if (v.driver != "em28xx" || v.usbPath.empty())
            return;
        auto product = readAttribute(fs::path(v.usbPath) / "product");
        if (product && !product->empty())
            v.friendlyName = *product;
    }

    void addUsbIds(const fs::path& sysNode, VideoInput& v)
    {
        fs::path usb = usbDeviceAbove(sysNode / "device", m_ctx.root.sys());
        if (!usb.empty()) {
            auto vid = readHexAttribute(usb / "idVendor", 4);
            auto pid = readHexAttribute(usb / "idProduct", 4);
            if (vid && pid) {
                v.hasUsbIds = true;
                v.vid = static_cast<uint16_t>(*vid);
                v.pid = static_cast<uint16_t>(*pid);
                v.usbPath = usb.string();
            }
        }
    }

    LinuxContext m_ctx;
};

} // namespace

std::unique_ptr<VideoInputList> makeLinuxVideoInputs(const LinuxContext& ctx)
{
    return std::make_unique<LinuxVideoInputs>(ctx);
}

} // namespace platform
