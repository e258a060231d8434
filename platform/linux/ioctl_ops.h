// The few system calls the Linux backends make on device nodes, as a table, so the same
// code runs on the kernel or on a fake that checks the marshalling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <sys/types.h>

namespace platform
{

struct IoctlOps {
    void* ctx = nullptr;
    // Each returns what the system call returns (-1 with errno set on failure; mmap
    // MAP_FAILED).
    int (*open)(void* ctx, const char* path, int flags) = nullptr;
    int (*close)(void* ctx, int fd) = nullptr;
    int (*ioctl)(void* ctx, int fd, unsigned long request, void* arg) = nullptr;
    void* (*mmap)(void* ctx, void* addr, size_t length, int prot, int flags, int fd,
                  off_t offset) = nullptr;
    int (*munmap)(void* ctx, void* addr, size_t length) = nullptr;
    int (*poll)(void* ctx, pollfd* fds, nfds_t count, int timeoutMs) = nullptr;
    // CLOCK_MONOTONIC in nanoseconds: the clock a node stamps its buffers with.
    int64_t (*monotonicNs)(void* ctx) = nullptr;
};

const IoctlOps& kernelIoctls();

// Opens, runs f(fd), closes; -1 with errno when the node cannot be opened.
template <typename F> int withNode(const IoctlOps& ops, const char* path, int flags, F&& f)
{
    int fd = ops.open(ops.ctx, path, flags);
    if (fd < 0)
        return -1;
    int r = f(fd);
    ops.close(ops.ctx, fd);
    return r;
}

} // namespace platform
