// Device events as udev passes them on to its listeners after it has handled the kernel's:
// the libudev header (magic, property offsets, filter hashes) then the properties, sent over
// netlink to udev's multicast group, so a libudev monitor in this network namespace takes
// them as udev's.
#pragma once

#include "emu/sysfs_tree.h"

#include <cstdint>
#include <string>

namespace emu
{

class UeventSender
{
public:
    // Opens the netlink socket; ok() is false (with errno kept in error()) where it is refused.
    UeventSender();
    ~UeventSender();
    UeventSender(const UeventSender&) = delete;
    UeventSender& operator=(const UeventSender&) = delete;
    bool ok() const { return m_fd >= 0; }
    int error() const { return m_error; }

    // action "add" or "remove"; ACTION, SEQNUM and USEC_INITIALIZED are added. False when the
    // kernel refused the message (no listener is not a failure).
    bool send(const std::string& action, const Uevent& event);

private:
    int m_fd = -1;
    int m_error = 0;
    uint64_t m_seqnum = 0;
};

// The hash libudev's socket filter compares subsystem and device type by (MurmurHash2, seed 0).
uint32_t udevStringHash(const std::string& s);

} // namespace emu
