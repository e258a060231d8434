#include "support/emulated_v4l2.h"

#include "platform/clock.h"

#include <scopesim/stream.h>

#include <linux/videodev2.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace emulated
{

namespace
{

constexpr uint32_t kMaxBuffers = 32; // the queue's own limit

uint32_t fourccOf(Format f)
{
    return f == Format::Mjpeg ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV;
}

bool isVirtualTime()
{
    return dynamic_cast<platform::VirtualClock*>(&platform::clock()) != nullptr;
}

// The monotonic clock the node stamps buffers with: on virtual time the platform clock
// itself, so that a reader converting stamps back sees the exact capture tick.
int64_t monotonicNow()
{
    if (isVirtualTime())
        return static_cast<int64_t>(platform::clock().tickCount()) * 1000000;
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Limited-range BT.601, chroma of each pixel pair averaged: what a UVC camera sends.
void toYuyv(const cv::Mat& bgr, std::vector<uint8_t>& out)
{
    const cv::Matx34f toYcc(0.0979f, 0.5041f, 0.2568f, 16.f,     // Y
                            0.4392f, -0.2910f, -0.1482f, 128.f,  // Cb
                            -0.0714f, -0.3678f, 0.4392f, 128.f); // Cr
    cv::Mat ycc;
    cv::transform(bgr, ycc, toYcc);
    out.resize(static_cast<size_t>(bgr.total()) * 2);
    uint8_t* o = out.data();
    for (int y = 0; y < ycc.rows; ++y) {
        const cv::Vec3b* p = ycc.ptr<cv::Vec3b>(y);
        for (int x = 0; x + 1 < ycc.cols; x += 2) {
            *o++ = p[x][0];
            *o++ = static_cast<uint8_t>((p[x][1] + p[x + 1][1] + 1) / 2);
            *o++ = p[x + 1][0];
            *o++ = static_cast<uint8_t>((p[x][2] + p[x + 1][2] + 1) / 2);
        }
    }
}

void encode(const cv::Mat& bgr, Format f, std::vector<uint8_t>& out)
{
    if (f == Format::Mjpeg)
        cv::imencode(".jpg", bgr, out, {cv::IMWRITE_JPEG_QUALITY, 90});
    else
        toYuyv(bgr, out);
}

// A start-of-image marker and then nothing a JPEG decoder can use.
const std::vector<uint8_t>& spoiltJpeg()
{
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b(512, 0x55);
        b[0] = 0xFF;
        b[1] = 0xD8;
        return b;
    }();
    return bytes;
}

int fail(int e)
{
    errno = e;
    return -1;
}

struct Buffer {
    bool queued = false;
    bool done = false;
    uint32_t used = 0;
    uint32_t sequence = 0;
    int64_t stampNs = 0;
};

struct Node {
    int index = 0;
    CameraSpec spec;
    bool plugged = true;
    bool framesOn = true;
    bool corrupt = false;
    Format format = Format::Yuyv;
    cv::Size size;
    uint32_t sizeImage = 0;
    // The open file holding the stream (the driver's privileged handle), -1 for none.
    int owner = -1;
    std::vector<Buffer> buffers;
    size_t slot = 0; // bytes per buffer in the memfd, whole pages
    int memfd = -1;
    uint8_t* memory = nullptr;
    std::deque<uint32_t> queued, done;
    bool streaming = false;
    uint32_t startedAt = 0;
    uint64_t nextFrame = 0;
    uint32_t sequence = 0;
    Counters c;
    // Encoded test pattern, kept while format and size stay.
    std::vector<uint8_t> pattern, scratch;
    Format patternFormat = Format::Yuyv;
    cv::Size patternSize;
};

// The caller holds one end of a socket pair (its descriptor names the file), the table the
// other: a byte waiting says a buffer is done; closing the table's end with a byte unread
// there gives the caller's end POLLERR | POLLHUP and makes it readable, as a dead node is.
struct File {
    int node = 0;
    bool nonblocking = false;
    int peer = -1;
    bool ready = false;
};

void setReady(int fd, File& f, bool ready)
{
    if (f.peer < 0 || ready == f.ready)
        return;
    char bytes[16] = {'x'};
    if (ready)
        (void)!::send(f.peer, bytes, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    else
        while (::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT) > 0) {
        }
    f.ready = ready;
}

void setGone(int fd, File& f)
{
    if (f.peer < 0)
        return;
    (void)!::send(fd, "x", 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(f.peer);
    f.peer = -1;
}

double rateOf(const Node& n)
{
    const double own = n.spec.fps > 0 ? n.spec.fps : 30;
    if (n.format == Format::Mjpeg)
        return own;
    // The camera offers uncompressed sizes only at rates its bus share can carry.
    const double raw = static_cast<double>(n.size.area()) * 2;
    return std::min(own, static_cast<double>(scopesim::kUsb2BusBudget) / raw);
}

uint64_t bandwidthOf(const Node& n)
{
    const double raw = static_cast<double>(n.size.area()) * 2 * rateOf(n);
    const double need = n.format == Format::Mjpeg ? raw / 8 : raw;
    return std::min<uint64_t>(scopesim::kUsb2BusBudget, static_cast<uint64_t>(std::ceil(need)));
}

uint32_t frameTime(const Node& n, uint64_t k)
{
    return n.startedAt +
           static_cast<uint32_t>(std::llround(static_cast<double>(k + 1) * 1000.0 / rateOf(n)));
}

void setFormat(Node& n, Format f, cv::Size size)
{
    n.format = f;
    n.size = size;
    n.sizeImage = static_cast<uint32_t>(size.area()) * 2;
    n.c.format = f;
    n.c.size = size;
}

} // namespace

struct EmulatedV4l2::Impl {
    mutable std::mutex lock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Node>> nodes;
    std::map<int, File> files;

    // Every file of the node readable exactly while a buffer is done or the node is gone.
    void wake(int node)
    {
        const Node& n = *nodes[static_cast<size_t>(node)];
        for (auto& [fd, f] : files) {
            if (f.node != node)
                continue;
            if (n.plugged)
                setReady(fd, f, !n.done.empty());
            else
                setGone(fd, f);
        }
        changed.notify_all();
    }

    const std::vector<uint8_t>& frameBytes(Node& n, uint64_t sequence, uint32_t at)
    {
        if (n.corrupt && n.format == Format::Mjpeg)
            return spoiltJpeg();
        if (n.spec.source) {
            cv::Mat bgr = n.spec.source(sequence, at, n.size);
            if (bgr.size() != n.size)
                cv::resize(bgr, bgr, n.size);
            encode(bgr, n.format, n.scratch);
            return n.scratch;
        }
        if (n.pattern.empty() || n.patternFormat != n.format || n.patternSize != n.size) {
            encode(testPattern(n.size), n.format, n.pattern);
            n.patternFormat = n.format;
            n.patternSize = n.size;
        }
        return n.pattern;
    }

    // The frames the sensor has taken up to now: each fills the oldest queued buffer, or
    // is lost when none is queued (its sequence number still counts).
    void catchUp(Node& n, uint32_t now)
    {
        if (!n.streaming || !n.plugged || n.spec.startSensor)
            return;
        const size_t wasDone = n.done.size();
        const int64_t monoNow = monotonicNow();
        for (;;) {
            const uint32_t t = frameTime(n, n.nextFrame);
            if (static_cast<int32_t>(t - now) > 0)
                break;
            if (n.framesOn) {
                const uint32_t sequence = n.sequence++;
                if (!n.queued.empty())
                    fill(n, frameBytes(n, sequence, t), sequence,
                         monoNow - static_cast<int64_t>(now - t) * 1000000);
            }
            ++n.nextFrame;
        }
        if (n.done.size() != wasDone)
            wake(n.index);
    }

    void fill(Node& n, const std::vector<uint8_t>& bytes, uint32_t sequence, int64_t stampNs)
    {
        const uint32_t i = n.queued.front();
        n.queued.pop_front();
        Buffer& b = n.buffers[i];
        b.used = static_cast<uint32_t>(std::min<size_t>(bytes.size(), n.sizeImage));
        std::memcpy(n.memory + i * n.slot, bytes.data(), b.used);
        b.sequence = sequence;
        b.stampNs = stampNs;
        b.queued = false;
        b.done = true;
        n.done.push_back(i);
    }

    // A node whose frames so far were taken as it was: a change applies from now on.
    Node& upToNow(int node)
    {
        Node& n = *nodes.at(static_cast<size_t>(node));
        catchUp(n, platform::clock().tickCount());
        return n;
    }

    void stopStreaming(Node& n)
    {
        if (n.streaming && n.spec.stopSensor)
            n.spec.stopSensor();
        n.streaming = false;
        n.queued.clear();
        n.done.clear();
        for (Buffer& b : n.buffers)
            b.queued = b.done = false;
        wake(n.index);
    }

    void freeBuffers(Node& n)
    {
        stopStreaming(n);
        if (n.memory)
            ::munmap(n.memory, n.slot * n.buffers.size());
        if (n.memfd >= 0)
            ::close(n.memfd);
        n.memory = nullptr;
        n.memfd = -1;
        n.buffers.clear();
    }

    // Readers' mappings keep the memory of freed buffers, as the driver's do.
    int allocate(Node& n, uint32_t count)
    {
        const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        n.slot = (n.sizeImage + page - 1) / page * page;
        n.memfd = ::memfd_create("emulated-v4l2", MFD_CLOEXEC);
        if (n.memfd < 0 || ::ftruncate(n.memfd, static_cast<off_t>(n.slot * count)) != 0)
            return ENOMEM;
        void* p = ::mmap(nullptr, n.slot * count, PROT_READ | PROT_WRITE, MAP_SHARED, n.memfd, 0);
        if (p == MAP_FAILED)
            return ENOMEM;
        n.memory = static_cast<uint8_t*>(p);
        n.buffers.assign(count, Buffer{});
        return 0;
    }

    uint64_t loadOn(int bus, const Node* except) const
    {
        uint64_t sum = 0;
        for (const auto& o : nodes)
            if (o.get() != except && o->spec.bus == bus && o->streaming && o->plugged)
                sum += bandwidthOf(*o);
        return sum;
    }

    // uvcvideo's privileges: the first file to ask for the stream holds it.
    int acquire(Node& n, int fd)
    {
        if (n.owner == -1 || n.owner == fd) {
            n.owner = fd;
            return 0;
        }
        ++n.c.busyRefusals;
        return EBUSY;
    }

    int holds(Node& n, int fd)
    {
        if (n.owner == fd)
            return 0;
        ++n.c.busyRefusals;
        return EBUSY;
    }

    void tryFormat(const Node& n, v4l2_format& f) const
    {
        Format format = n.spec.formats.front();
        for (Format o : n.spec.formats)
            if (fourccOf(o) == f.fmt.pix.pixelformat)
                format = o;
        // The size with the least area outside the overlap of asked and offered.
        const int64_t rw = f.fmt.pix.width, rh = f.fmt.pix.height;
        cv::Size best = n.spec.sizes.front();
        int64_t bestD = -1;
        for (const cv::Size& s : n.spec.sizes) {
            const int64_t overlap =
                std::min<int64_t>(s.width, rw) * std::min<int64_t>(s.height, rh);
            const int64_t d = int64_t{s.width} * s.height + rw * rh - 2 * overlap;
            if (bestD < 0 || d < bestD) {
                bestD = d;
                best = s;
            }
        }
        f.fmt.pix.pixelformat = fourccOf(format);
        f.fmt.pix.width = static_cast<uint32_t>(best.width);
        f.fmt.pix.height = static_cast<uint32_t>(best.height);
        f.fmt.pix.field = V4L2_FIELD_NONE;
        f.fmt.pix.bytesperline = format == Format::Yuyv ? f.fmt.pix.width * 2 : 0;
        f.fmt.pix.sizeimage = f.fmt.pix.width * f.fmt.pix.height * 2;
        f.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
    }

    void fillFormat(const Node& n, v4l2_format& f) const
    {
        f.fmt.pix.pixelformat = fourccOf(n.format);
        f.fmt.pix.width = static_cast<uint32_t>(n.size.width);
        f.fmt.pix.height = static_cast<uint32_t>(n.size.height);
        tryFormat(n, f);
    }

    void fillBuffer(const Node& n, uint32_t i, v4l2_buffer& out) const
    {
        const Buffer& b = n.buffers[i];
        out.index = i;
        out.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        out.memory = V4L2_MEMORY_MMAP;
        out.m.offset = static_cast<uint32_t>(i * n.slot);
        out.length = n.sizeImage;
        out.bytesused = b.used;
        out.field = V4L2_FIELD_NONE;
        out.sequence = b.sequence;
        out.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE |
                    (b.queued ? V4L2_BUF_FLAG_QUEUED : 0u) | (b.done ? V4L2_BUF_FLAG_DONE : 0u);
        out.timestamp.tv_sec = static_cast<time_t>(b.stampNs / 1000000000);
        out.timestamp.tv_usec = static_cast<suseconds_t>(b.stampNs % 1000000000 / 1000);
    }

    // The buffer memory a mapping of the open file would show, as a descriptor of its own.
    int bufferMemory(int fd, size_t length, int flags, off_t offset)
    {
        auto it = files.find(fd);
        if (it == files.end())
            return fail(EBADF);
        Node& n = *nodes[static_cast<size_t>(it->second.node)];
        if (!n.plugged) {
            ++n.c.afterUnplug;
            return fail(ENODEV);
        }
        // The offset names a buffer; the mapping must be shared and within it.
        const bool known = n.slot && offset >= 0 && static_cast<size_t>(offset) % n.slot == 0 &&
                           static_cast<size_t>(offset) / n.slot < n.buffers.size();
        if (!(flags & MAP_SHARED) || !known || length > n.slot)
            return fail(EINVAL);
        return ::fcntl(n.memfd, F_DUPFD_CLOEXEC, 0);
    }

    int ioctl(int fd, unsigned long request, void* arg, std::unique_lock<std::mutex>& l);
    int metadataIoctl(unsigned long request) const;
    int poll(pollfd* fds, nfds_t count, int timeoutMs);
};

cv::Mat testPattern(cv::Size size)
{
    static const cv::Vec3b bars[] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                     {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    cv::Mat out(size, CV_8UC3);
    for (int x = 0; x < size.width; ++x)
        out.col(x).setTo(bars[x * 8 / std::max(size.width, 1)]);
    return out;
}

int EmulatedV4l2::Impl::ioctl(int fd, unsigned long request, void* arg,
                              std::unique_lock<std::mutex>& l)
{
    auto it = files.find(fd);
    if (it == files.end())
        return EBADF;
    Node& n = *nodes[static_cast<size_t>(it->second.node)];
    ++n.c.ioctls;
    if (!n.plugged) {
        ++n.c.afterUnplug;
        return ENODEV;
    }
    const uint32_t now = platform::clock().tickCount();
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strncpy(reinterpret_cast<char*>(cap->driver), n.spec.driver.c_str(),
                     sizeof cap->driver - 1);
        std::strncpy(reinterpret_cast<char*>(cap->card), n.spec.card.c_str(), sizeof cap->card - 1);
        if (n.spec.busInfo.empty())
            std::snprintf(reinterpret_cast<char*>(cap->bus_info), sizeof cap->bus_info,
                          "usb-emulated-%d", n.spec.bus);
        else
            std::strncpy(reinterpret_cast<char*>(cap->bus_info), n.spec.busInfo.c_str(),
                         sizeof cap->bus_info - 1);
        cap->device_caps = n.spec.deviceCaps;
        cap->capabilities = n.spec.capabilities;
        if (!cap->capabilities) {
            cap->device_caps = n.spec.metadata ? V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING
                                               : V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING |
                                                     V4L2_CAP_EXT_PIX_FORMAT;
            cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING |
                                V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_META_CAPTURE |
                                V4L2_CAP_DEVICE_CAPS;
        }
        return 0;
    }
    if (n.spec.metadata)
        return metadataIoctl(request);
    switch (request) {
    case UVCIOC_CTRL_QUERY: {
        if (!n.spec.controlQuery)
            return ENOTTY;
        auto query = n.spec.controlQuery;
        l.unlock();
        const int e = query(*static_cast<uvc_xu_control_query*>(arg));
        l.lock();
        return e;
    }
    case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        if (d->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || d->index >= n.spec.formats.size())
            return EINVAL;
        const Format f = n.spec.formats[d->index];
        d->pixelformat = fourccOf(f);
        d->flags = f == Format::Mjpeg ? V4L2_FMT_FLAG_COMPRESSED : 0;
        std::strncpy(reinterpret_cast<char*>(d->description),
                     f == Format::Mjpeg ? "Motion-JPEG" : "YUYV 4:2:2", sizeof d->description - 1);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        const bool offered = std::any_of(n.spec.formats.begin(), n.spec.formats.end(),
                                         [&](Format f) { return fourccOf(f) == s->pixel_format; });
        if (!offered || s->index >= n.spec.sizes.size())
            return EINVAL;
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = static_cast<uint32_t>(n.spec.sizes[s->index].width);
        s->discrete.height = static_cast<uint32_t>(n.spec.sizes[s->index].height);
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        if (request == VIDIOC_S_FMT)
            if (int e = acquire(n, fd))
                return e;
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (request == VIDIOC_G_FMT) {
            fillFormat(n, *f);
            return 0;
        }
        tryFormat(n, *f);
        if (request == VIDIOC_TRY_FMT)
            return 0;
        if (!n.buffers.empty())
            return EBUSY;
        setFormat(n, f->fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG ? Format::Mjpeg : Format::Yuyv,
                  {static_cast<int>(f->fmt.pix.width), static_cast<int>(f->fmt.pix.height)});
        ++n.c.formatSets;
        return 0;
    }
    case VIDIOC_ENUMINPUT:
    case VIDIOC_G_INPUT:
    case VIDIOC_S_INPUT: {
        // A UVC chain of one camera terminal and no selector unit has input 0 only, named
        // after the terminal; choosing it takes the stream as a format does.
        if (n.spec.driver != "uvcvideo")
            return ENOTTY;
        if (request == VIDIOC_G_INPUT) {
            *static_cast<int*>(arg) = 0;
            return 0;
        }
        if (request == VIDIOC_S_INPUT) {
            if (int e = acquire(n, fd))
                return e;
            return *static_cast<int*>(arg) == 0 ? 0 : EINVAL;
        }
        auto* in = static_cast<v4l2_input*>(arg);
        if (in->index != 0)
            return EINVAL;
        *in = {};
        std::strncpy(reinterpret_cast<char*>(in->name), "Camera 1", sizeof in->name - 1);
        in->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* p = static_cast<v4l2_streamparm*>(arg);
        if (request == VIDIOC_S_PARM)
            if (int e = acquire(n, fd))
                return e;
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (request == VIDIOC_S_PARM && n.streaming)
            return EBUSY;
        // One frame interval per size: a change asked for gives the one there is.
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe.numerator =
            static_cast<uint32_t>(std::llround(10000000.0 / rateOf(n)));
        p->parm.capture.timeperframe.denominator = 10000000;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* rb = static_cast<v4l2_requestbuffers*>(arg);
        if (int e = acquire(n, fd))
            return e;
        if (rb->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || rb->memory != V4L2_MEMORY_MMAP)
            return EINVAL;
        if (n.streaming)
            return EBUSY;
        freeBuffers(n);
        if (rb->count == 0) {
            n.owner = -1; // freeing the buffers gives the stream up
            return 0;
        }
        rb->count = std::min(rb->count, kMaxBuffers);
        if (int e = allocate(n, rb->count)) {
            freeBuffers(n);
            return e;
        }
        rb->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (int e = holds(n, fd))
            return e;
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->memory != V4L2_MEMORY_MMAP)
            return EINVAL;
        if (request == VIDIOC_DQBUF) {
            if (!n.streaming)
                return EINVAL;
            catchUp(n, now);
            while (n.done.empty()) {
                if (it->second.nonblocking)
                    return EAGAIN;
                changed.wait_for(l, std::chrono::milliseconds(1));
                it = files.find(fd);
                if (it == files.end())
                    return EBADF;
                if (!n.plugged)
                    return ENODEV;
                if (!n.streaming)
                    return EINVAL;
                catchUp(n, platform::clock().tickCount());
            }
            const uint32_t i = n.done.front();
            n.done.pop_front();
            n.buffers[i].done = false;
            fillBuffer(n, i, *b);
            ++n.c.dequeued;
            wake(n.index);
            return 0;
        }
        if (b->index >= n.buffers.size())
            return EINVAL;
        if (request == VIDIOC_QBUF) {
            // Frames due before this buffer came back could not use it.
            catchUp(n, now);
            Buffer& q = n.buffers[b->index];
            if (q.queued || q.done)
                return EINVAL;
            q.queued = true;
            n.queued.push_back(b->index);
        }
        fillBuffer(n, b->index, *b);
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
        if (int e = holds(n, fd))
            return e;
        if (*static_cast<int*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        if (request == VIDIOC_STREAMOFF) {
            stopStreaming(n);
            wake(static_cast<int>(it->second.node));
            return 0;
        }
        if (n.buffers.empty())
            return EINVAL;
        if (n.streaming)
            return 0;
        // Refused, the buffers stay allocated and queued.
        const int refused = n.spec.startSensor ? n.spec.startSensor(n.format, n.size)
                            : loadOn(n.spec.bus, &n) + bandwidthOf(n) > scopesim::kUsb2BusBudget
                                ? ENOSPC
                                : 0;
        if (refused == ENOSPC)
            ++n.c.noSpace;
        if (refused)
            return refused;
        n.streaming = true;
        n.startedAt = now;
        n.nextFrame = 0;
        n.sequence = 0;
        ++n.c.streamOns;
        return 0;
    }
    default:
        return ENOTTY;
    }
}

// The node has no video queue: requests for video formats and buffers are refused, and
// the metadata format is not modelled.
int EmulatedV4l2::Impl::metadataIoctl(unsigned long request) const
{
    switch (request) {
    case VIDIOC_ENUM_FMT:
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_REQBUFS:
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF:
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        return EINVAL;
    default:
        return ENOTTY;
    }
}

int EmulatedV4l2::Impl::poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    std::vector<pollfd> real(fds, fds + count);
    std::vector<int> nodeOf(count, -1);
    {
        std::lock_guard<std::mutex> g(lock);
        for (nfds_t i = 0; i < count; ++i) {
            auto it = files.find(fds[i].fd);
            if (it == files.end())
                continue;
            nodeOf[i] = it->second.node;
            real[i].events = POLLIN; // its eventfd says something changed
            Node& n = *nodes[static_cast<size_t>(nodeOf[i])];
            if (!n.plugged)
                ++n.c.afterUnplug;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int slice = 0;
    for (;;) {
        if (::poll(real.data(), count, slice) < 0)
            return -1;
        int ready = 0;
        int untilFrame = 1000;
        {
            std::lock_guard<std::mutex> g(lock);
            const uint32_t now = platform::clock().tickCount();
            for (nfds_t i = 0; i < count; ++i) {
                if (nodeOf[i] < 0) {
                    fds[i].revents = real[i].revents;
                } else {
                    Node& n = *nodes[static_cast<size_t>(nodeOf[i])];
                    catchUp(n, now);
                    if (!n.plugged)
                        fds[i].revents = POLLERR | POLLHUP;
                    else if (!n.streaming)
                        fds[i].revents = POLLERR; // nothing to wait for
                    else
                        fds[i].revents =
                            n.done.empty() ? 0 : (fds[i].events & (POLLIN | POLLRDNORM));
                    if (n.streaming && n.plugged)
                        untilFrame = std::min<int>(
                            untilFrame, static_cast<int32_t>(frameTime(n, n.nextFrame) - now));
                }
                if (fds[i].revents)
                    ++ready;
            }
        }
        if (ready)
            return ready;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (timeoutMs >= 0 && left <= 0)
            return 0;
        // Virtual time moves without telling anyone: look again soon.
        slice = isVirtualTime() ? 1 : std::max(1, untilFrame);
        if (timeoutMs >= 0)
            slice = std::min<int>(slice, static_cast<int>(left));
    }
}

EmulatedV4l2::EmulatedV4l2() : m(std::make_unique<Impl>()) {}

EmulatedV4l2::~EmulatedV4l2()
{
    for (auto& n : m->nodes)
        m->freeBuffers(*n);
    for (const auto& [fd, f] : m->files) {
        ::close(fd);
        if (f.peer >= 0)
            ::close(f.peer);
    }
}

int EmulatedV4l2::add(CameraSpec spec)
{
    std::lock_guard<std::mutex> g(m->lock);
    auto n = std::make_unique<Node>();
    n->index = static_cast<int>(m->nodes.size());
    setFormat(*n, spec.formats.front(), spec.sizes.front());
    n->spec = std::move(spec);
    m->nodes.push_back(std::move(n));
    return static_cast<int>(m->nodes.size()) - 1;
}

platform::IoctlOps EmulatedV4l2::ops()
{
    platform::IoctlOps o;
    o.ctx = m.get();
    o.open = [](void* ctx, const char* path, int flags) {
        auto& self = *static_cast<Impl*>(ctx);
        std::lock_guard<std::mutex> g(self.lock);
        for (size_t i = 0; i < self.nodes.size(); ++i) {
            if (self.nodes[i]->spec.path != path || !self.nodes[i]->plugged)
                continue;
            int ends[2];
            if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
                return -1;
            self.files[ends[0]] = File{static_cast<int>(i), (flags & O_NONBLOCK) != 0, ends[1]};
            self.wake(static_cast<int>(i));
            return ends[0];
        }
        return fail(ENOENT); // no such node (any more)
    };
    o.close = [](void* ctx, int fd) {
        auto& self = *static_cast<Impl*>(ctx);
        std::lock_guard<std::mutex> g(self.lock);
        auto it = self.files.find(fd);
        if (it == self.files.end())
            return fail(EBADF);
        Node& n = *self.nodes[static_cast<size_t>(it->second.node)];
        // Closing the file that holds the stream stops it and frees its buffers.
        if (n.owner == fd) {
            self.freeBuffers(n);
            n.owner = -1;
        }
        if (it->second.peer >= 0)
            ::close(it->second.peer);
        self.files.erase(it);
        return ::close(fd);
    };
    o.ioctl = [](void* ctx, int fd, unsigned long request, void* arg) {
        auto& self = *static_cast<Impl*>(ctx);
        std::unique_lock<std::mutex> l(self.lock);
        const int e = self.ioctl(fd, request, arg, l);
        return e ? fail(e) : 0;
    };
    o.mmap = [](void* ctx, void* addr, size_t length, int prot, int flags, int fd,
                off_t offset) -> void* {
        auto& self = *static_cast<Impl*>(ctx);
        std::lock_guard<std::mutex> g(self.lock);
        const int memory = self.bufferMemory(fd, length, flags, offset);
        if (memory < 0)
            return MAP_FAILED;
        void* p = ::mmap(addr, length, prot, flags, memory, offset);
        const int e = errno;
        ::close(memory);
        errno = e;
        return p;
    };
    o.munmap = [](void*, void* addr, size_t length) { return ::munmap(addr, length); };
    o.poll = [](void* ctx, pollfd* fds, nfds_t count, int timeoutMs) {
        return static_cast<Impl*>(ctx)->poll(fds, count, timeoutMs);
    };
    o.monotonicNs = [](void*) { return monotonicNow(); };
    return o;
}

void EmulatedV4l2::unplug(int node)
{
    std::lock_guard<std::mutex> g(m->lock);
    Node& n = *m->nodes.at(static_cast<size_t>(node));
    if (n.streaming && n.spec.stopSensor)
        n.spec.stopSensor();
    n.plugged = false;
    n.streaming = false; // its bandwidth is free
    m->wake(node);
}

void EmulatedV4l2::deliver(int node, const std::vector<uint8_t>& bytes, uint32_t sequence,
                           int64_t stampNs)
{
    std::lock_guard<std::mutex> g(m->lock);
    Node& n = *m->nodes.at(static_cast<size_t>(node));
    if (!n.streaming || !n.plugged || n.queued.empty())
        return;
    m->fill(n, bytes, sequence, stampNs);
    m->wake(node);
}

int EmulatedV4l2::bufferMemory(int fd, size_t length, int flags, off_t offset)
{
    std::lock_guard<std::mutex> g(m->lock);
    return m->bufferMemory(fd, length, flags, offset);
}

void EmulatedV4l2::setFrames(int node, bool on)
{
    std::lock_guard<std::mutex> g(m->lock);
    m->upToNow(node).framesOn = on;
    m->wake(node);
}

void EmulatedV4l2::setCorrupt(int node, bool on)
{
    std::lock_guard<std::mutex> g(m->lock);
    m->upToNow(node).corrupt = on;
}

Counters EmulatedV4l2::counters(int node) const
{
    std::lock_guard<std::mutex> g(m->lock);
    return m->nodes.at(static_cast<size_t>(node))->c;
}

int EmulatedV4l2::openFiles(int node) const
{
    std::lock_guard<std::mutex> g(m->lock);
    return static_cast<int>(std::count_if(m->files.begin(), m->files.end(),
                                          [&](const auto& f) { return f.second.node == node; }));
}

uint64_t EmulatedV4l2::busLoad(int bus) const
{
    std::lock_guard<std::mutex> g(m->lock);
    return m->loadOn(bus, nullptr);
}

} // namespace emulated
