// Video inputs from /sys/class/video4linux and VIDIOC_QUERYCAP on each node.
#include "platform/linux/linux_backends.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>

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
        int r = withNode(m_ctx.ops, node.c_str(), O_RDWR | O_NONBLOCK, [&](int fd) {
            return m_ctx.ops.ioctl(m_ctx.ops.ctx, fd, VIDIOC_QUERYCAP, &cap);
        });
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
        v.devicePath = node.string();
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
        return true;
    }

    LinuxContext m_ctx;
};

} // namespace

std::unique_ptr<VideoInputList> makeLinuxVideoInputs(const LinuxContext& ctx)
{
    return std::make_unique<LinuxVideoInputs>(ctx);
}

} // namespace platform
