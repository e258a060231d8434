#include "platform/linux/ioctl_ops.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform
{

namespace
{
int sysOpen(void*, const char* path, int flags)
{
    return ::open(path, flags | O_CLOEXEC);
}
int sysClose(void*, int fd)
{
    return ::close(fd);
}
int sysIoctl(void*, int fd, unsigned long request, void* arg)
{
    int r;
    do
        r = ::ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}
void* sysMmap(void*, void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}
int sysMunmap(void*, void* addr, size_t length)
{
    return ::munmap(addr, length);
}
// Not retried on EINTR: the caller's time-out would start again.
int sysPoll(void*, pollfd* fds, nfds_t count, int timeoutMs)
{
    return ::poll(fds, count, timeoutMs);
}
int64_t sysMonotonicNs(void*)
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}
} // namespace

const IoctlOps& kernelIoctls()
{
    static const IoctlOps ops{nullptr, sysOpen,   sysClose, sysIoctl,
                              sysMmap, sysMunmap, sysPoll,  sysMonotonicNs};
    return ops;
}

} // namespace platform
