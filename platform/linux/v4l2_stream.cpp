#include "platform/linux/v4l2_stream.h"

#include "platform/clock.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace platform
{

namespace
{

// Enough for the driver to fill some while we copy one out, as the capture library asked.
constexpr uint32_t kBufferCount = 4;
// Bounds on what a misbehaving driver could make us loop over.
constexpr uint32_t kMaxFormats = 64;
constexpr int kMaxDrain = 64;
// A buffer time stamp further back than this is not believed.
constexpr int64_t kMaxAgeMs = 60 * 60 * 1000;

class V4l2Stream : public FrameStream
{
public:
    V4l2Stream(const IoctlOps& ops, int fd, int wake) : m_ops(ops), m_fd(fd), m_wake(wake)
    {
        for (uint32_t i = 0; i < kMaxFormats; ++i) {
            v4l2_fmtdesc d{};
            d.index = i;
            d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (call(VIDIOC_ENUM_FMT, &d) != 0)
                break;
            m_offered.push_back(d.pixelformat);
        }
        // Until asked otherwise, the size the node comes with.
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (call(VIDIOC_G_FMT, &f) == 0)
            adopt(f);
        m_wantWidth = m_width;
        m_wantHeight = m_height;
    }

    ~V4l2Stream() override
    {
        release();
        closeNode();
        ::close(m_wake);
    }

    V4l2Stream(const V4l2Stream&) = delete;
    V4l2Stream& operator=(const V4l2Stream&) = delete;

    int start() override
    {
        if (m_dead)
            return ENODEV;
        if (m_streaming)
            return 0;
        m_taken = 0;
        // The one format request of this start: each one resets the camera.
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = static_cast<uint32_t>(m_wantWidth);
        f.fmt.pix.height = static_cast<uint32_t>(m_wantHeight);
        f.fmt.pix.pixelformat = wantedFormat();
        f.fmt.pix.field = V4L2_FIELD_ANY;
        if (int e = call(VIDIOC_S_FMT, &f))
            return e;
        adopt(f);
        readRate();
        if (int e = allocate()) {
            release();
            return e;
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        // Refused for bandwidth (ENOSPC), the driver keeps the buffers queued: give them
        // back so that the next try (or another program) can negotiate afresh.
        if (int e = call(VIDIOC_STREAMON, &type)) {
            release();
            return e;
        }
        m_streaming = true;
        return 0;
    }

    void stop() override
    {
        release();
        // A node that has gone is let go at once: udev's remove event, on which the capture
        // is destroyed, may be long in coming or never come.
        if (m_dead)
            closeNode();
    }

    int read(RawFrame& frame, uint32_t& capturedAt, uint64_t& number, uint32_t timeoutMs) override
    {
        if (m_dead)
            return ENODEV;
        if (!m_streaming)
            return EINVAL;
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        const int n = m_ops.poll(m_ops.ctx, fds, 2, static_cast<int>(timeoutMs));
        if (n < 0) {
            if (errno == EINTR)
                return EINTR;
            // A poll that cannot wait would turn the thread into a busy loop.
            return lose();
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            (void)!::read(m_wake, &count, sizeof count);
            return EINTR;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return lose();
        if (!(fds[0].revents & POLLIN))
            return EAGAIN;
        return takeNewest(frame, capturedAt, number);
    }

    bool setSize(int width, int height) override
    {
        if (m_dead || width <= 0 || height <= 0)
            return false;
        m_wantWidth = width;
        m_wantHeight = height;
        return true;
    }

    double get(int property) override
    {
        switch (property) {
        case kPropFrameWidth:
            return m_width;
        case kPropFrameHeight:
            return m_height;
        case kPropFps:
            return m_fps;
        default:
            return -1;
        }
    }

    uint64_t framesTaken() override { return m_taken; }
    bool present() override { return !m_dead; }

    void interrupt() override
    {
        const uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
    }

private:
    struct Mapping {
        uint8_t* data = nullptr;
        size_t length = 0;
    };

    // 0 or the errno of the request; a node that has gone is never asked again.
    int call(unsigned long request, void* arg)
    {
        if (m_dead)
            return ENODEV;
        if (m_ops.ioctl(m_ops.ctx, m_fd, request, arg) == 0)
            return 0;
        const int e = errno;
        if (e == ENODEV)
            m_dead = true;
        return e;
    }

    void closeNode()
    {
        if (m_fd >= 0)
            m_ops.close(m_ops.ctx, m_fd);
        m_fd = -1;
    }

    int lose()
    {
        m_dead = true;
        return ENODEV;
    }

    bool offers(uint32_t format) const
    {
        return std::find(m_offered.begin(), m_offered.end(), format) != m_offered.end();
    }

    uint32_t wantedFormat() const
    {
        const bool mjpeg =
            offers(V4L2_PIX_FMT_MJPEG) &&
            (needsCompression(m_wantWidth, m_wantHeight) || !offers(V4L2_PIX_FMT_YUYV));
        return mjpeg ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV;
    }

    // The format as the driver settled it.
    void adopt(const v4l2_format& f)
    {
        m_width = static_cast<int>(f.fmt.pix.width);
        m_height = static_cast<int>(f.fmt.pix.height);
        m_format = f.fmt.pix.pixelformat;
        m_stride = f.fmt.pix.bytesperline ? f.fmt.pix.bytesperline : f.fmt.pix.width * 2;
    }

    void readRate()
    {
        v4l2_streamparm p{};
        p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_fps = -1;
        if (call(VIDIOC_G_PARM, &p) == 0 && p.parm.capture.timeperframe.numerator)
            m_fps = static_cast<double>(p.parm.capture.timeperframe.denominator) /
                    p.parm.capture.timeperframe.numerator;
    }

    int allocate()
    {
        v4l2_requestbuffers rb{};
        rb.count = kBufferCount;
        rb.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        rb.memory = V4L2_MEMORY_MMAP;
        if (int e = call(VIDIOC_REQBUFS, &rb))
            return e;
        m_allocated = true;
        if (rb.count == 0)
            return ENOMEM;
        for (uint32_t i = 0; i < rb.count; ++i) {
            v4l2_buffer b = buffer(i);
            if (int e = call(VIDIOC_QUERYBUF, &b))
                return e;
            void* p = m_ops.mmap(m_ops.ctx, nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED,
                                 m_fd, b.m.offset);
            if (p == MAP_FAILED)
                return errno == ENODEV ? lose() : errno;
            m_buffers.push_back({static_cast<uint8_t*>(p), b.length});
        }
        for (uint32_t i = 0; i < rb.count; ++i) {
            v4l2_buffer b = buffer(i);
            if (int e = call(VIDIOC_QBUF, &b))
                return e;
        }
        return 0;
    }

    // Stops the stream and gives the buffers back; on a node that has gone only the
    // memory is let go.
    void release()
    {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (m_streaming || m_allocated)
            call(VIDIOC_STREAMOFF, &type);
        for (const Mapping& m : m_buffers)
            m_ops.munmap(m_ops.ctx, m.data, m.length);
        m_buffers.clear();
        if (m_allocated) {
            v4l2_requestbuffers rb{};
            rb.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            rb.memory = V4L2_MEMORY_MMAP;
            call(VIDIOC_REQBUFS, &rb);
        }
        m_allocated = false;
        m_streaming = false;
    }

    static v4l2_buffer buffer(uint32_t index)
    {
        v4l2_buffer b{};
        b.index = index;
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        return b;
    }

    // Drains the done queue, oldest first as the driver hands them out, giving every
    // buffer but the newest straight back; the newest is copied out (the decoding is left to
    // whoever takes it) and given back too, so the driver has every buffer to fill.
    int takeNewest(RawFrame& frame, uint32_t& capturedAt, uint64_t& number)
    {
        v4l2_buffer newest{};
        bool have = false;
        for (int i = 0; i < kMaxDrain; ++i) {
            v4l2_buffer b = buffer(0);
            const int e = call(VIDIOC_DQBUF, &b);
            if (e == ENODEV)
                return ENODEV;
            if (e)
                break; // EAGAIN: drained
            if (have) {
                if (call(VIDIOC_QBUF, &newest) == ENODEV)
                    return ENODEV;
            }
            newest = b;
            have = true;
        }
        if (!have)
            return EAGAIN;
        const bool ok = newest.index < m_buffers.size() && copyOut(newest, frame);
        if (call(VIDIOC_QBUF, &newest) == ENODEV)
            return ENODEV;
        // A frame the driver marked spoilt (a short transfer) is dropped.
        if (!ok)
            return EAGAIN;
        capturedAt = stampOf(newest);
        number = static_cast<uint64_t>(newest.sequence) + 1;
        m_taken = number;
        return 0;
    }

    bool copyOut(const v4l2_buffer& b, RawFrame& frame) const
    {
        const bool mjpeg = m_format == V4L2_PIX_FMT_MJPEG || m_format == V4L2_PIX_FMT_JPEG;
        if ((b.flags & V4L2_BUF_FLAG_ERROR) || (!mjpeg && m_format != V4L2_PIX_FMT_YUYV))
            return false; // spoilt, or a format we never asked for
        const Mapping& m = m_buffers[b.index];
        frame.bytes.assign(m.data, m.data + std::min<size_t>(b.bytesused, m.length));
        frame.mjpeg = mjpeg;
        frame.width = m_width;
        frame.height = m_height;
        frame.stride = m_stride;
        return true;
    }

    // The buffer's own time on the platform clock where the driver stamps with the
    // monotonic clock; otherwise now.
    uint32_t stampOf(const v4l2_buffer& b) const
    {
        const uint32_t now = clock().tickCount();
        if ((b.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) != V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC ||
            !m_ops.monotonicNs)
            return now;
        const int64_t at = static_cast<int64_t>(b.timestamp.tv_sec) * 1000000000 +
                           static_cast<int64_t>(b.timestamp.tv_usec) * 1000;
        const int64_t age = (m_ops.monotonicNs(m_ops.ctx) - at) / 1000000;
        return now - static_cast<uint32_t>(std::clamp<int64_t>(age, 0, kMaxAgeMs));
    }

    IoctlOps m_ops;
    int m_fd;
    int m_wake;
    std::vector<uint32_t> m_offered;
    std::vector<Mapping> m_buffers;
    bool m_allocated = false;
    bool m_streaming = false;
    int m_wantWidth = 0, m_wantHeight = 0;
    int m_width = 0, m_height = 0;
    uint32_t m_format = 0;
    size_t m_stride = 0;
    double m_fps = -1;
    // Read from any thread.
    std::atomic<bool> m_dead{false};
    std::atomic<uint64_t> m_taken{0};
};

} // namespace

std::unique_ptr<FrameStream> openV4l2Stream(const IoctlOps& ops, const std::string& path)
{
    if (!ops.open || !ops.close || !ops.ioctl || !ops.mmap || !ops.munmap || !ops.poll) {
        errno = ENOSYS;
        return nullptr;
    }
    const int fd = ops.open(ops.ctx, path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // stop() and interrupt() wake a waiting read through this.
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        const int e = errno;
        ops.close(ops.ctx, fd);
        errno = e;
        return nullptr;
    }
    return std::make_unique<V4l2Stream>(ops, fd, wake);
}

} // namespace platform
