#include "platform/linux/ioctl_ops.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
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
} // namespace

const IoctlOps& kernelIoctls()
{
    static const IoctlOps ops{nullptr, sysOpen, sysClose, sysIoctl};
    return ops;
}

} // namespace platform
