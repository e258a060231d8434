#include "emu/device_protocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace emu::wire
{

bool send(int sock, const void* head, size_t headSize, const void* arg, size_t argSize,
          const void* data, size_t dataSize, int fd)
{
    iovec parts[3] = {{const_cast<void*>(head), headSize},
                      {const_cast<void*>(arg), argSize},
                      {const_cast<void*>(data), dataSize}};
    msghdr m{};
    m.msg_iov = parts;
    m.msg_iovlen = 3;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&m);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    ssize_t n;
    do
        n = ::sendmsg(sock, &m, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(headSize + argSize + dataSize);
}

long receive(int sock, void* head, size_t headSize, void* body, size_t bodySize, int* fd)
{
    iovec parts[2] = {{head, headSize}, {body, bodySize}};
    msghdr m{};
    m.msg_iov = parts;
    m.msg_iovlen = 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    ssize_t n;
    do
        n = ::recvmsg(sock, &m, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (fd)
        *fd = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            int got = -1;
            std::memcpy(&got, CMSG_DATA(c), sizeof got);
            if (fd && *fd < 0)
                *fd = got;
            else
                ::close(got);
        }
    if (n == 0)
        errno = ECONNRESET;
    if (n <= 0)
        return -1;
    if (static_cast<size_t>(n) < headSize || (m.msg_flags & MSG_TRUNC)) {
        errno = EPROTO;
        return -1;
    }
    return static_cast<long>(static_cast<size_t>(n) - headSize);
}

} // namespace emu::wire
