#include "bravik/uvc/uvcvideo_platform.h"

#include "bravik/core/hresult.h"
#include "bravik/uvc/uvc_filter.h"
#include "platform/bounded_file.h"
#include "platform/linux/sysfs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace bravik
{
namespace
{

namespace fs = std::filesystem;

class UvcvideoChannel : public IUvcChannel
{
public:
    UvcvideoChannel(int fd, IoctlFunction ioctl) : m_fd(fd), m_ioctl(std::move(ioctl)) {}
    ~UvcvideoChannel() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int query(uint8_t unit, uint8_t selector, uint8_t query, uint16_t size, uint8_t* data) override
    {
        int fd;
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_gone)
                return ENODEV;
            fd = m_fd;
            ++m_inFlight;
        }
        uvc_xu_control_query q{};
        q.unit = unit;
        q.selector = selector;
        q.query = query;
        q.size = size;
        q.data = data;
        const int r = m_ioctl(fd, UVCIOC_CTRL_QUERY, &q) < 0 ? (errno > 0 ? errno : EIO) : 0;
        std::lock_guard<std::mutex> g(m_lock);
        --m_inFlight;
        // An unplugged node is let go at once (the last request out closes it), not when the
        // unit is released on udev's remove event: until then the kernel keeps its minor.
        if (r == ENODEV)
            m_gone = true;
        if (m_gone && m_inFlight == 0 && m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        return r;
    }

private:
    std::mutex m_lock;
    int m_fd;
    bool m_gone = false;
    int m_inFlight = 0;
    IoctlFunction m_ioctl;
};

} // namespace

int videoNodeNumber(const std::string& name)
{
    if (name.size() <= 5 || name.compare(0, 5, "video") != 0)
        return -1;
    int n = -1;
    const char* last = name.data() + name.size();
    const auto r = std::from_chars(name.data() + 5, last, n);
    if (r.ec != std::errc() || r.ptr != last || n < 0)
        return -1; // not digits only, or a number past int
    return n;
}

bool readUsbId(const fs::path& file, int& value)
{
    const std::optional<uint32_t> v = platform::readHexAttribute(file, 4);
    if (!v)
        return false;
    value = static_cast<int>(*v);
    return true;
}

bool readDescriptorFile(const fs::path& file, std::vector<uint8_t>& bytes)
{
    std::string text;
    if (!files::readBoundedFile(file.string(), kMaxDescriptorBytes, text))
        return false;
    bytes.assign(text.begin(), text.end());
    return true;
}

namespace
{

bool isCaptureNode(int fd, const IoctlFunction& ioctl)
{
    v4l2_capability cap{};
    if (ioctl(fd, VIDIOC_QUERYCAP, &cap) < 0)
        return false;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

} // namespace

int systemIoctl(int fd, unsigned long request, void* arg)
{
    int r;
    do
        r = ::ioctl(fd, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
}

UvcvideoPlatform::UvcvideoPlatform(UvcvideoPaths paths, IoctlFunction ioctl)
    : m_paths(std::move(paths)), m_ioctl(std::move(ioctl))
{
}

std::vector<DeviceEntry> UvcvideoPlatform::listDevices()
{
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(m_paths.sysRoot / "class/video4linux", ec)) {
        const std::string name = e.path().filename().string();
        if (int n = videoNodeNumber(name); n >= 0)
            nodes.emplace_back(n, name);
    }
    std::sort(nodes.begin(), nodes.end());

    std::vector<DeviceEntry> entries;
    for (const auto& [number, name] : nodes) {
        const fs::path node = m_paths.devDir / name;
        int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        const bool capture = isCaptureNode(fd, m_ioctl);
        ::close(fd);
        if (!capture)
            continue;

        // The node's parent is a USB interface; the device above it has ids and descriptors.
        fs::path usbDevice =
            fs::canonical(m_paths.sysRoot / "class/video4linux" / name / "device", ec)
                .parent_path();
        int vid = 0, pid = 0;
        const bool usb = !ec && readUsbId(usbDevice / "idVendor", vid) &&
                         readUsbId(usbDevice / "idProduct", pid);
        const fs::path descriptorsFile = usbDevice / "descriptors";

        DeviceEntry entry;
        entry.displayName = usb ? composeDisplayName(vid, pid, node.string()) : node.string();
        entry.readDescriptors = [usb, descriptorsFile](std::vector<uint8_t>& bytes) {
            return usb && readDescriptorFile(descriptorsFile, bytes);
        };
        entry.bind = [node, ioctl = m_ioctl, read = entry.readDescriptors](
                         std::shared_ptr<IBaseFilter>& filter) -> int32_t {
            int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return hresultFromError(errno);
            std::vector<uint8_t> bytes;
            read(bytes);
            auto channel = std::make_shared<UvcvideoChannel>(fd, ioctl);
            filter = std::make_shared<UvcFilter>(channel,
                                                 parseUvcDescriptors(bytes.data(), bytes.size()));
            return S_OK;
        };
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace bravik
