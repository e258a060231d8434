#include "emu/uevent_sender.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <endian.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emu
{

namespace
{

// The header udev writes before the properties (systemd's sd-device monitor); the magic and
// the hashes in network order, so the receiver's BPF filter can load them.
struct MonitorHeader {
    char prefix[8];
    uint32_t magic;
    uint32_t headerSize;
    uint32_t propertiesOffset;
    uint32_t propertiesLength;
    uint32_t subsystemHash;
    uint32_t devtypeHash;
    uint32_t tagBloomHigh;
    uint32_t tagBloomLow;
};
static_assert(sizeof(MonitorHeader) == 40);
constexpr uint32_t kUdevMonitorMagic = 0xfeedcafe;
constexpr uint32_t kUdevGroup = 2; // the kernel's own events go to group 1

uint64_t tagBloom(const std::string& tag)
{
    const uint32_t h = udevStringHash(tag);
    uint64_t bits = 0;
    for (int shift : {0, 6, 12, 18})
        bits |= uint64_t(1) << ((h >> shift) & 63);
    return bits;
}

} // namespace

uint32_t udevStringHash(const std::string& s)
{
    constexpr uint32_t m = 0x5bd1e995;
    const auto* data = reinterpret_cast<const unsigned char*>(s.data());
    size_t len = s.size();
    uint32_t h = uint32_t(len);
    for (; len >= 4; data += 4, len -= 4) {
        uint32_t k;
        std::memcpy(&k, data, 4);
        k *= m;
        k ^= k >> 24;
        k *= m;
        h = h * m ^ k;
    }
    switch (len) {
    case 3:
        h ^= uint32_t(data[2]) << 16;
        [[fallthrough]];
    case 2:
        h ^= uint32_t(data[1]) << 8;
        [[fallthrough]];
    case 1:
        h ^= data[0];
        h *= m;
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return h;
}

UeventSender::UeventSender()
{
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    sockaddr_nl self{};
    self.nl_family = AF_NETLINK; // nl_pid 0: the kernel picks a port id
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
        m_error = errno;
        ::close(m_fd);
        m_fd = -1;
    } else if (m_fd < 0) {
        m_error = errno;
    }
}

UeventSender::~UeventSender()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UeventSender::send(const std::string& action, const Uevent& event)
{
    if (m_fd < 0)
        return false;
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    std::string props = "ACTION=" + action + '\0';
    for (const auto& [k, v] : event.properties)
        props += k + "=" + v + '\0';
    props += "SEQNUM=" + std::to_string(++m_seqnum) + '\0';
    props += "USEC_INITIALIZED=" + std::to_string(usec) + '\0';

    MonitorHeader h{};
    std::memcpy(h.prefix, "libudev", 8);
    h.magic = htobe32(kUdevMonitorMagic);
    h.headerSize = sizeof h;
    h.propertiesOffset = sizeof h;
    h.propertiesLength = uint32_t(props.size());
    h.subsystemHash = htobe32(udevStringHash(event.value("SUBSYSTEM")));
    if (const std::string devtype = event.value("DEVTYPE"); !devtype.empty())
        h.devtypeHash = htobe32(udevStringHash(devtype));
    uint64_t bloom = 0;
    const std::string tags = event.value("TAGS");
    for (size_t start = 1; start < tags.size();) {
        const size_t end = tags.find(':', start);
        if (end == std::string::npos || end == start)
            break;
        bloom |= tagBloom(tags.substr(start, end - start));
        start = end + 1;
    }
    h.tagBloomHigh = htobe32(uint32_t(bloom >> 32));
    h.tagBloomLow = htobe32(uint32_t(bloom));

    iovec iov[2] = {{&h, sizeof h}, {props.data(), props.size()}};
    sockaddr_nl group{};
    group.nl_family = AF_NETLINK;
    group.nl_groups = kUdevGroup;
    msghdr msg{};
    msg.msg_name = &group;
    msg.msg_namelen = sizeof group;
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    // The kernel adds our credentials (uid 0), which libudev insists on.
    if (::sendmsg(m_fd, &msg, 0) >= 0 || errno == ECONNREFUSED)
        return true;
    m_error = errno;
    return false;
}

} // namespace emu
