// libemu_preload.so: /dev/videoN of the program answered by the device server (see
// device_server.h). Everything else passes straight through to the next definition.
// Built without the sanitizers, so it can sit in LD_PRELOAD of an instrumented program.
// stat and access need nothing: the node's path is a real file with the node's mode and
// group. munmap needs nothing either: the mapping is of the process's own memfd.
// Each name below is defined as itself: open must not become open64.
#undef _FILE_OFFSET_BITS
#include "emu/device_protocol.h"
#include "emu/device_server.h"

#include <linux/uvcvideo.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

template <typename F> F next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

#define REAL(name, ...)                                                                            \
    static const auto real = next<__VA_ARGS__>(#name);                                             \
    if (!real) {                                                                                   \
        errno = ENOSYS;                                                                            \
        return -1;                                                                                 \
    }

// Open files of emulated nodes, by the program's descriptor: the connection to the server
// that serves the file, and a lock so one request and its reply stay together.
struct Slot {
    std::atomic<int> connection{-1};
    std::mutex lock;
};
constexpr int kMaxFds = 16384;
Slot g_slots[kMaxFds];

Slot* slotOf(int fd)
{
    if (fd < 0 || fd >= kMaxFds || g_slots[fd].connection.load(std::memory_order_acquire) < 0)
        return nullptr;
    return &g_slots[fd];
}

// N when path is <dev>/videoN and a server is named, else -1.
int nodeNumber(const char* path)
{
    if (!path || !std::getenv(emu::kSocketEnv))
        return -1;
    const char* dir = std::getenv(emu::kDevDirEnv);
    if (!dir || !*dir)
        dir = "/dev";
    const size_t n = std::strlen(dir);
    if (std::strncmp(path, dir, n) != 0 || std::strncmp(path + n, "/video", 6) != 0)
        return -1;
    const char* digits = path + n + 6;
    if (!*digits || std::strlen(digits) > 6)
        return -1;
    int number = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

int fail(int e)
{
    errno = e;
    return -1;
}

// One request and its reply; the reply's error, or EIO when the server is gone.
int exchange(int connection, const emu::wire::Request& rq, const void* arg, void* argOut,
             const void* data, void* dataOut, int* fd)
{
    if (!emu::wire::send(connection, &rq, sizeof rq, arg, rq.argSize, data, rq.dataSize))
        return EIO;
    // One byte more than any fair reply, so that a longer one shows as truncated.
    const size_t room = size_t{rq.argSize} + rq.dataSize + 1;
    unsigned char small[256];
    std::unique_ptr<unsigned char[]> big(room > sizeof small ? new unsigned char[room] : nullptr);
    unsigned char* body = big ? big.get() : small;
    emu::wire::Reply reply;
    const long n = emu::wire::receive(connection, &reply, sizeof reply, body, room, fd);
    if (n < 0 || static_cast<size_t>(n) != size_t{reply.argSize} + reply.dataSize ||
        reply.argSize > rq.argSize || reply.dataSize > rq.dataSize)
        return EIO;
    if (argOut)
        std::memcpy(argOut, body, reply.argSize);
    if (dataOut)
        std::memcpy(dataOut, body + reply.argSize, reply.dataSize);
    return reply.error;
}

int connectServer()
{
    const char* path = std::getenv(emu::kSocketEnv);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!path || std::strlen(path) >= sizeof addr.sun_path)
        return -1;
    std::strcpy(addr.sun_path, path);
    const int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return s;
    if (s >= 0)
        ::close(s);
    return -1;
}

// The permission check first, on the real file at the path, then the server's open.
template <typename RealOpen> int openNode(int number, int flags, RealOpen realOpen)
{
    static const auto realClose = next<int (*)(int)>("close");
    const int check = realOpen();
    if (check < 0)
        return -1;
    realClose(check);
    const int connection = connectServer();
    if (connection < 0)
        return fail(ENODEV);
    emu::wire::Request rq;
    rq.op = emu::wire::Op::Open;
    rq.number = number;
    rq.flags = flags;
    int fd = -1;
    const int e = exchange(connection, rq, nullptr, nullptr, nullptr, nullptr, &fd);
    if (e || fd < 0 || fd >= kMaxFds) {
        if (fd >= 0)
            realClose(fd);
        realClose(connection);
        return fail(e ? e : EMFILE);
    }
    if (!(flags & O_CLOEXEC))
        ::fcntl(fd, F_SETFD, 0);
    g_slots[fd].connection.store(connection, std::memory_order_release);
    return fd;
}

mode_t modeOf(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(open, int (*)(const char*, int, ...));
    if (const int n = nodeNumber(path); n >= 0)
        return openNode(n, flags, [&] { return real(path, flags, mode); });
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(open64, int (*)(const char*, int, ...));
    if (const int n = nodeNumber(path); n >= 0)
        return openNode(n, flags, [&] { return real(path, flags, mode); });
    return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(openat, int (*)(int, const char*, int, ...));
    if (const int n = path && path[0] == '/' ? nodeNumber(path) : -1; n >= 0)
        return openNode(n, flags, [&] { return real(dir, path, flags, mode); });
    return real(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeOf(flags, ap);
    va_end(ap);
    REAL(openat64, int (*)(int, const char*, int, ...));
    if (const int n = path && path[0] == '/' ? nodeNumber(path) : -1; n >= 0)
        return openNode(n, flags, [&] { return real(dir, path, flags, mode); });
    return real(dir, path, flags, mode);
}

int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);

int __open_2(const char* path, int flags)
{
    REAL(__open_2, int (*)(const char*, int));
    if (const int n = nodeNumber(path); n >= 0)
        return openNode(n, flags, [&] { return real(path, flags); });
    return real(path, flags);
}

int __open64_2(const char* path, int flags)
{
    REAL(__open64_2, int (*)(const char*, int));
    if (const int n = nodeNumber(path); n >= 0)
        return openNode(n, flags, [&] { return real(path, flags); });
    return real(path, flags);
}

int close(int fd)
{
    REAL(close, int (*)(int));
    Slot* s = slotOf(fd);
    if (!s)
        return real(fd);
    // The server closes its file before this returns, as the kernel's release runs in
    // close: a following open finds the stream free.
    std::lock_guard<std::mutex> g(s->lock);
    const int connection = s->connection.exchange(-1);
    if (connection < 0)
        return real(fd);
    emu::wire::Request rq;
    rq.op = emu::wire::Op::Close;
    exchange(connection, rq, nullptr, nullptr, nullptr, nullptr, nullptr);
    real(connection);
    return real(fd);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    REAL(ioctl, int (*)(int, unsigned long, ...));
    Slot* s = slotOf(fd);
    if (!s)
        return real(fd, request, arg);
    emu::wire::Request rq;
    rq.op = emu::wire::Op::Ioctl;
    rq.request = request;
    rq.argSize = arg ? _IOC_SIZE(request) : 0;
    void* data = nullptr;
    if (rq.argSize > emu::wire::kMaxArg)
        return fail(ENOTTY);
    if (request == UVCIOC_CTRL_QUERY && arg) {
        data = static_cast<uvc_xu_control_query*>(arg)->data;
        rq.dataSize = data ? static_cast<uvc_xu_control_query*>(arg)->size : 0;
    }
    alignas(16) unsigned char copy[emu::wire::kMaxArg];
    std::lock_guard<std::mutex> g(s->lock);
    const int connection = s->connection.load();
    if (connection < 0)
        return fail(EBADF);
    const bool reads = (_IOC_DIR(request) & _IOC_READ) != 0;
    const int e = exchange(connection, rq, arg, reads ? copy : nullptr, data, data, nullptr);
    if (reads && !e)
        std::memcpy(arg, copy, rq.argSize);
    // The structure came back pointing at the server's copy of the data.
    if (request == UVCIOC_CTRL_QUERY && arg && reads)
        static_cast<uvc_xu_control_query*>(arg)->data = static_cast<__u8*>(data);
    return e ? fail(e) : 0;
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    static const auto real = next<void* (*)(void*, size_t, int, int, int, off_t)>("mmap");
    Slot* s = slotOf(fd);
    if (!s)
        return real(addr, length, prot, flags, fd, offset);
    emu::wire::Request rq;
    rq.op = emu::wire::Op::Mmap;
    rq.length = length;
    rq.flags = flags;
    rq.offset = offset;
    int memory = -1;
    int e;
    {
        std::lock_guard<std::mutex> g(s->lock);
        e = exchange(s->connection.load(), rq, nullptr, nullptr, nullptr, nullptr, &memory);
    }
    if (e || memory < 0) {
        if (memory >= 0)
            ::close(memory);
        errno = e ? e : EIO;
        return MAP_FAILED;
    }
    void* p = real(addr, length, prot, flags, memory, offset);
    const int saved = errno;
    static const auto realClose = next<int (*)(int)>("close");
    realClose(memory);
    errno = saved;
    return p;
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return mmap(addr, length, prot, flags, fd, offset);
}

} // extern "C"
