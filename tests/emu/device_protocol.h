// What libemu_preload.so and the device server say to each other over one SOCK_SEQPACKET
// connection per open file: first Open, then any number of Ioctl and Mmap, then Close.
// Each request is answered by one reply; Open's carries the file's descriptor, Mmap's the
// buffer memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace emu::wire
{

enum class Op : uint32_t { Open = 1, Ioctl, Mmap, Close };

// Requests never carry more (UVC controls are at most 64 KiB, V4L2 structures far less).
constexpr size_t kMaxArg = 4096;
constexpr size_t kMaxData = 65536;

struct Request {
    Op op = Op::Open;
    int32_t number = 0; // Open: N of /dev/videoN
    int32_t flags = 0;  // Open: open's flags; Mmap: mmap's
    uint32_t argSize = 0;
    uint64_t request = 0;  // Ioctl
    uint64_t length = 0;   // Mmap
    int64_t offset = 0;    // Mmap
    uint32_t dataSize = 0; // Ioctl of UVCIOC_CTRL_QUERY: the bytes its data points at
    uint32_t pad = 0;
    // then argSize bytes of the ioctl's structure, then dataSize bytes
};

struct Reply {
    int32_t error = 0; // 0, or the errno of the call
    uint32_t argSize = 0;
    uint32_t dataSize = 0;
    uint32_t pad = 0;
    // then the structure and the data as the call left them
};

// One message of up to three parts and at most one descriptor; false on failure.
bool send(int sock, const void* head, size_t headSize, const void* arg, size_t argSize,
          const void* data, size_t dataSize, int fd = -1);
// One message into head (exactly headSize bytes) and body; *fd gets a descriptor that
// came with it (close-on-exec), or -1. The body's length; -1 when the peer has closed or
// the message is not one of ours.
long receive(int sock, void* head, size_t headSize, void* body, size_t bodySize, int* fd);

} // namespace emu::wire
