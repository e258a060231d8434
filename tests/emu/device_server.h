// The rig's video inputs as /dev/videoN nodes of another process. The server runs in the
// launcher beside the rig and answers the requests libemu_preload.so forwards from the
// program: every open file is its own connection to the server, and the descriptor the
// program holds is one end of a socket pair (readable while a buffer is done; POLLERR |
// POLLHUP and readable once the device has gone), so the program's own poll and select
// work on it; mmap maps the buffer's memfd, so the server's writes show. The V4L2 rules
// are those of support/emulated_v4l2 (uvcvideo and videobuf2, see support/README.md);
// frames come from the rig's stream (its rate on the real clock, YUYV or MJPEG, its bus
// budget, stalls and frames that stop), UVCIOC_CTRL_QUERY from the rig's extension unit.
//
// The preload's environment: kSocketEnv names the server's socket (unset: the preload
// passes everything through); kDevDirEnv, for tests, the folder that stands for /dev.
// The permission check is the kernel's: the preload first opens the real file at the
// node's path with the caller's flags (the launcher makes one with the node's mode and
// group), and only then asks the server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace emu
{

inline constexpr const char* kSocketEnv = "ORVEX_EMU_SOCKET";
inline constexpr const char* kDevDirEnv = "ORVEX_EMU_DEV_DIR";

struct NodeInfo {          // one /dev/videoN
    int number = 0;        // N
    int rigId = 0;         // the rig's video input id
    bool metadata = false; // the UVC metadata node beside each capture node
    std::string driver;    // "uvcvideo" or "em28xx"
    std::string card, busInfo;
    uint32_t capabilities = 0, deviceCaps = 0;
    bool unopenable = false; // mode 0660 root:video: a non-root user may not open it
};

class DeviceServer
{
public:
    // Listens on the unix socket socketPath (made anew, open to every user) and serves
    // each connection on a thread of its own; the rig must run before syncWithRig.
    explicit DeviceServer(std::string socketPath);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Brings the nodes in line with the rig's plugged video inputs and returns them all,
    // by number. A UVC camera (webcam or scope) gets a capture node and, at the next
    // number, its metadata node; an em28xx camera one node; numbers are the lowest free,
    // as the kernel gives them (a dead node's number is free once its last file closes). A device the rig no longer has, or has had plugged again,
    // loses its old nodes first (as unplug). Call after the rig starts and after each plug
    // event.
    std::vector<NodeInfo> syncWithRig();
    // The device goes: its open files get ENODEV on every ioctl and mmap, their poll
    // gives POLLERR | POLLHUP with the file readable, and its paths no longer open. Its
    // numbers go to the next device once their last files have closed.
    void unplug(int rigId);

    struct Counters {
        uint64_t ioctls = 0;       // every ioctl on the node's open files
        uint64_t afterUnplug = 0;  // ioctl and mmap calls since the device went
        uint64_t streamOns = 0;    // successful VIDIOC_STREAMON
        uint64_t busyRefusals = 0; // EBUSY for another file owning the stream
        uint64_t noSpace = 0;      // STREAMON refused for bandwidth
        uint64_t dequeued = 0;     // buffers handed out by VIDIOC_DQBUF
        uint64_t formatSets = 0;   // VIDIOC_S_FMT that set a format
        std::string format = "YUYV"; // the format in force: YUYV or MJPG
        int width = 0, height = 0;
    };
    // Of the node that last had number node (counting on after its device went), zeros
    // for a number never given.
    Counters counters(int node) const;
    // Files open on that node now.
    int openFiles(int node) const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

} // namespace emu
