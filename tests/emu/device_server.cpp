#include "emu/device_server.h"

#include "emu/device_protocol.h"
#include "support/emulated_v4l2.h"

#include <scopesim/rig.h>
#include <scopesim/scopesim.h>
#include <scopesim/stream.h>

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace emu
{

namespace
{

constexpr const char* kEm28xxCard = "Unknown EM2750/28xx video grabber";

int64_t monotonicNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::string nodePath(int number)
{
    return "/dev/video" + std::to_string(number);
}

// Carries the rig stream's frames of one capture node into its V4L2 queue as they come.
struct Pump {
    int rigId = 0;
    int node = 0; // in the emulation
    std::mutex lock;
    std::condition_variable changed;
    bool active = false, quit = false;
    uint64_t generation = 0; // counts starts and stops
    std::thread thread;

    void run(emulated::EmulatedV4l2& nodes)
    {
        for (;;) {
            uint64_t seen;
            {
                std::unique_lock<std::mutex> g(lock);
                changed.wait(g, [&] { return active || quit; });
                if (quit)
                    return;
                seen = generation;
            }
            scopesim::StreamBuffer b;
            const int e = scopesim::dequeueBuffer(rigId, b, 200, false, this);
            if (e == 0) {
                const int64_t ageMs = static_cast<int32_t>(scopesim::rigTime() - b.capturedAt);
                nodes.deliver(node, b.bytes, static_cast<uint32_t>(b.sequence),
                              monotonicNs() - std::max<int64_t>(ageMs, 0) * 1000000);
                continue;
            }
            if (e == EAGAIN || e == EINTR)
                continue;
            // The rig's stream has ended under us: wait for the next start or stop.
            std::unique_lock<std::mutex> g(lock);
            changed.wait(g, [&] { return quit || generation != seen; });
        }
    }

    int start(emulated::Format format, cv::Size size)
    {
        scopesim::setPixelFormat(rigId, format == emulated::Format::Mjpeg
                                            ? scopesim::PixelFormat::Mjpeg
                                            : scopesim::PixelFormat::Yuyv);
        scopesim::setFrameSize(rigId, size.width, size.height);
        const int e = scopesim::startStream(rigId, this);
        if (e == 0) {
            std::lock_guard<std::mutex> g(lock);
            active = true;
            ++generation;
            changed.notify_all();
        }
        return e;
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> g(lock);
            active = false;
            ++generation;
            changed.notify_all();
        }
        scopesim::stopStream(rigId, this);
        scopesim::interruptStream(rigId);
    }

    void end()
    {
        {
            std::lock_guard<std::mutex> g(lock);
            quit = true;
            changed.notify_all();
        }
        scopesim::interruptStream(rigId);
        if (thread.joinable())
            thread.join();
    }
};

struct Device {
    int rigId = 0;
    uint32_t plugCount = 0;
    std::vector<int> numbers;
    Pump* pump = nullptr;
};

struct Connection {
    int sock = -1;
    std::atomic<bool> done{false};
    std::thread thread;
};

bool isUvc(scopesim::DeviceKind k)
{
    return k == scopesim::DeviceKind::Camera || k == scopesim::DeviceKind::Scope;
}

} // namespace

struct DeviceServer::Impl {
    // Outlive the emulation, whose nodes call them.
    std::list<std::unique_ptr<Pump>> pumps;
    emulated::EmulatedV4l2 nodes;
    platform::IoctlOps ops = nodes.ops();

    mutable std::mutex lock;
    std::map<int, Device> devices;   // by rig id
    std::map<int, NodeInfo> current; // by number
    std::map<int, int> latest;       // number -> the emulation's node that last had it

    int listener = -1;
    std::thread acceptor;
    std::mutex connectionsLock;
    std::list<Connection> connections;

    // A dead node's number stays taken until its last file closes, as the kernel frees a
    // minor only when the device's last reference goes.
    bool taken(int number) const
    {
        if (current.count(number))
            return true;
        auto it = latest.find(number);
        return it != latest.end() && nodes.openFiles(it->second) > 0;
    }

    int lowestFree() const
    {
        int n = 0;
        while (taken(n))
            ++n;
        return n;
    }

    void addNode(NodeInfo info, emulated::CameraSpec spec)
    {
        spec.path = nodePath(info.number);
        spec.card = info.card;
        spec.busInfo = info.busInfo;
        spec.driver = info.driver;
        spec.capabilities = info.capabilities;
        spec.deviceCaps = info.deviceCaps;
        spec.metadata = info.metadata;
        latest[info.number] = nodes.add(std::move(spec));
        current[info.number] = std::move(info);
    }

    void plug(const scopesim::VideoInputInfo& v)
    {
        Device d;
        d.rigId = v.id;
        d.plugCount = v.plugCount;
        const bool uvc = isUvc(v.kind);

        NodeInfo info;
        info.rigId = v.id;
        info.driver = uvc ? "uvcvideo" : "em28xx";
        info.card = uvc ? v.name : kEm28xxCard;
        info.busInfo = v.description;
        info.unopenable = v.unopenable;
        if (uvc) {
            info.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE |
                                V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
            info.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
        } else {
            info.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE | V4L2_CAP_STREAMING;
            info.capabilities = info.deviceCaps | V4L2_CAP_DEVICE_CAPS;
        }

        emulated::CameraSpec spec;
        spec.sizes.clear();
        for (const auto& [w, h] : scopesim::frameSizes(v.id))
            spec.sizes.emplace_back(w, h);
        if (spec.sizes.empty())
            spec.sizes.emplace_back(v.width, v.height);
        spec.formats.clear();
        for (scopesim::PixelFormat f : scopesim::pixelFormats(v.id))
            spec.formats.push_back(f == scopesim::PixelFormat::Mjpeg ? emulated::Format::Mjpeg
                                                                     : emulated::Format::Yuyv);
        if (spec.formats.empty())
            spec.formats.push_back(emulated::Format::Yuyv);
        spec.fps = v.fps;

        auto pump = std::make_unique<Pump>();
        Pump* p = pump.get();
        p->rigId = v.id;
        spec.startSensor = [p](emulated::Format f, cv::Size s) { return p->start(f, s); };
        spec.stopSensor = [p] { p->stop(); };
        if (uvc) {
            const int id = v.id;
            spec.controlQuery = [id](uvc_xu_control_query& q) {
                return scopesim_xu_query(id, q.unit, q.selector, q.query, q.size, q.data);
            };
        }
        info.number = lowestFree();
        d.numbers.push_back(info.number);
        addNode(info, std::move(spec));
        p->node = latest[info.number];

        if (uvc) {
            NodeInfo meta = info;
            meta.number = lowestFree();
            meta.metadata = true;
            meta.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
            emulated::CameraSpec none;
            d.numbers.push_back(meta.number);
            addNode(meta, std::move(none));
        }
        p->thread = std::thread([p, this] { p->run(nodes); });
        d.pump = p;
        pumps.push_back(std::move(pump));
        devices[v.id] = std::move(d);
    }

    void unplugLocked(int rigId)
    {
        auto it = devices.find(rigId);
        if (it == devices.end())
            return;
        for (int number : it->second.numbers) {
            nodes.unplug(latest.at(number));
            current.erase(number);
        }
        it->second.pump->end();
        devices.erase(it);
    }

    void serve(Connection& c);
    void acceptLoop();
};

void DeviceServer::Impl::serve(Connection& c)
{
    wire::Request rq;
    std::vector<unsigned char> buffer(wire::kMaxArg + wire::kMaxData);
    unsigned char* body = buffer.data();
    long n = wire::receive(c.sock, &rq, sizeof rq, body, buffer.size(), nullptr);
    if (n < 0 || rq.op != wire::Op::Open)
        return;
    const int fd = ops.open(ops.ctx, nodePath(rq.number).c_str(), rq.flags);
    wire::Reply reply;
    reply.error = fd < 0 ? errno : 0;
    if (!wire::send(c.sock, &reply, sizeof reply, nullptr, 0, nullptr, 0, fd) || fd < 0) {
        if (fd >= 0)
            ops.close(ops.ctx, fd);
        return;
    }
    for (;;) {
        n = wire::receive(c.sock, &rq, sizeof rq, body, buffer.size(), nullptr);
        if (n < 0 || rq.op == wire::Op::Close)
            break;
        reply = {};
        int memory = -1;
        if (rq.op == wire::Op::Ioctl && rq.argSize <= wire::kMaxArg &&
            rq.dataSize <= wire::kMaxData && static_cast<size_t>(n) == rq.argSize + rq.dataSize) {
            reply.argSize = rq.argSize;
            reply.dataSize = rq.dataSize;
            // The control's bytes travel beside it; the structure points at them here.
            if (rq.request == UVCIOC_CTRL_QUERY && rq.argSize == sizeof(uvc_xu_control_query)) {
                auto* q = reinterpret_cast<uvc_xu_control_query*>(body);
                q->data = body + rq.argSize;
                if (q->size > rq.dataSize)
                    reply.error = EFAULT;
            }
            if (!reply.error &&
                ops.ioctl(ops.ctx, fd, rq.request, rq.argSize ? body : nullptr) != 0)
                reply.error = errno;
        } else if (rq.op == wire::Op::Mmap) {
            memory = nodes.bufferMemory(fd, rq.length, rq.flags, rq.offset);
            reply.error = memory < 0 ? errno : 0;
        } else {
            reply.error = EINVAL;
        }
        const bool sent = wire::send(c.sock, &reply, sizeof reply, body, reply.argSize,
                                     body + reply.argSize, reply.dataSize, memory);
        if (memory >= 0)
            ::close(memory);
        if (!sent)
            break;
    }
    // As the kernel closes a file whose last holder exits.
    ops.close(ops.ctx, fd);
    if (n >= 0 && rq.op == wire::Op::Close) {
        reply = {};
        wire::send(c.sock, &reply, sizeof reply, nullptr, 0, nullptr, 0);
    }
}

void DeviceServer::Impl::acceptLoop()
{
    for (;;) {
        const int sock = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (sock < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // shut down
        }
        std::lock_guard<std::mutex> g(connectionsLock);
        for (auto it = connections.begin(); it != connections.end();) {
            if (!it->done) {
                ++it;
                continue;
            }
            it->thread.join();
            ::close(it->sock);
            it = connections.erase(it);
        }
        Connection& c = connections.emplace_back();
        c.sock = sock;
        c.thread = std::thread([this, &c] {
            serve(c);
            c.done = true;
        });
    }
}

DeviceServer::DeviceServer(std::string socketPath) : m(std::make_unique<Impl>())
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path)
        throw std::runtime_error("socket path too long: " + socketPath);
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ::unlink(socketPath.c_str());
    m->listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (m->listener < 0 || ::bind(m->listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) ||
        ::chmod(socketPath.c_str(), 0666) || ::listen(m->listener, 64))
        throw std::runtime_error("cannot listen on " + socketPath + ": " + std::strerror(errno));
    m->acceptor = std::thread([this] { m->acceptLoop(); });
}

DeviceServer::~DeviceServer()
{
    ::shutdown(m->listener, SHUT_RDWR);
    m->acceptor.join();
    ::close(m->listener);
    {
        std::lock_guard<std::mutex> g(m->connectionsLock);
        for (Connection& c : m->connections)
            ::shutdown(c.sock, SHUT_RDWR);
    }
    {
        // A request waiting on a queue sees its node gone and returns.
        std::lock_guard<std::mutex> g(m->lock);
        while (!m->devices.empty())
            m->unplugLocked(m->devices.begin()->first);
    }
    std::lock_guard<std::mutex> g(m->connectionsLock);
    for (Connection& c : m->connections) {
        c.thread.join();
        ::close(c.sock);
    }
}

std::vector<NodeInfo> DeviceServer::syncWithRig()
{
    std::lock_guard<std::mutex> g(m->lock);
    const auto inputs = scopesim::videoInputs();
    std::vector<int> gone;
    for (const auto& [id, d] : m->devices) {
        auto v = std::find_if(inputs.begin(), inputs.end(),
                              [&](const scopesim::VideoInputInfo& i) { return i.id == id; });
        if (v == inputs.end() || v->plugCount != d.plugCount || !v->plugged)
            gone.push_back(id);
    }
    for (int id : gone)
        m->unplugLocked(id);
    for (const auto& v : inputs)
        if (v.plugged && !m->devices.count(v.id))
            m->plug(v);
    std::vector<NodeInfo> out;
    for (const auto& [number, info] : m->current)
        out.push_back(info);
    return out;
}

void DeviceServer::unplug(int rigId)
{
    std::lock_guard<std::mutex> g(m->lock);
    m->unplugLocked(rigId);
}

DeviceServer::Counters DeviceServer::counters(int node) const
{
    std::lock_guard<std::mutex> g(m->lock);
    auto it = m->latest.find(node);
    if (it == m->latest.end())
        return {};
    const emulated::Counters c = m->nodes.counters(it->second);
    return {c.ioctls,     c.afterUnplug,
            c.streamOns,  c.busyRefusals,
            c.noSpace,    c.dequeued,
            c.formatSets, c.format == emulated::Format::Mjpeg ? "MJPG" : "YUYV",
            c.size.width, c.size.height};
}

int DeviceServer::openFiles(int node) const
{
    std::lock_guard<std::mutex> g(m->lock);
    auto it = m->latest.find(node);
    return it == m->latest.end() ? 0 : m->nodes.openFiles(it->second);
}

} // namespace emu
