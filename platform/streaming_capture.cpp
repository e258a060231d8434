#include "platform/streaming_capture.h"

#include "platform/clock.h"
#include "platform/frame_decode.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform
{

namespace
{

constexpr uint64_t kUsb2IsochronousBytes = 3ull * 1024 * 8000;
constexpr int kMinUncompressedFps = 15;
// How long one blocking read may take before the thread looks at its requests again.
constexpr uint32_t kReadSliceMs = 500;
// A stream refused for lack of bandwidth is tried again after this long.
constexpr auto kRetryStart = std::chrono::milliseconds(50);
// Bounds on waiting for the thread itself (never for the camera). The copy wait is
// only made on virtual time, where a loaded machine must not change what a test sees.
constexpr auto kCopyWait = std::chrono::milliseconds(10000);
constexpr auto kRequestWait = std::chrono::milliseconds(2000);

} // namespace

bool decodeRaw(const RawFrame& raw, cv::Mat& bgr)
{
    if (raw.mjpeg)
        return decodeMjpeg(raw.bytes.data(), raw.bytes.size(), bgr);
    const size_t stride = raw.stride ? raw.stride : static_cast<size_t>(raw.width) * 2;
    return decodeYuyv(raw.bytes.data(), raw.bytes.size(), raw.width, raw.height, stride, bgr);
}

bool needsCompression(int width, int height)
{
    const uint64_t perSecond =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 2 * kMinUncompressedFps;
    return perSecond > kUsb2IsochronousBytes;
}

struct StreamingCapture::Shared {
    std::unique_ptr<FrameStream> stream;
    std::mutex lock;
    std::condition_variable changed;
    std::thread thread;
    std::mutex control; // start, stop and setSize come from either thread

    // Under lock:
    bool stopping = false;
    bool dead = false;
    bool on = false;
    RawFrame newest;
    uint32_t newestAt = 0;
    uint64_t newestNumber = 0; // since the stream's last start
    uint64_t starts = 0;
    uint64_t produced = 0;
    int sizeWidth = 0, sizeHeight = 0; // a size request waiting for the thread
    uint64_t requests = 0, served = 0;
    bool sizeResult = false;
    double width = -1, height = -1, fps = -1;

    void cacheProperties()
    {
        const double w = stream->get(kPropFrameWidth), h = stream->get(kPropFrameHeight),
                     f = stream->get(kPropFps);
        std::lock_guard<std::mutex> g(lock);
        width = w, height = h, fps = f;
    }

    // 0 or the errno of the start; callers hold no lock.
    int tryStart()
    {
        std::lock_guard<std::mutex> c(control);
        {
            std::lock_guard<std::mutex> g(lock);
            if (on || dead || stopping)
                return 0;
        }
        const int r = stream->start();
        std::lock_guard<std::mutex> g(lock);
        if (r == 0) {
            on = true;
            newestNumber = 0;
            ++starts;
            changed.notify_all();
        }
        return r;
    }

    void run()
    {
        RawFrame spare; // read into, then swapped with the newest: buffers are reused
        cacheProperties();
        for (;;) {
            int w = 0, h = 0;
            uint64_t request = 0;
            bool streaming = false;
            {
                std::unique_lock<std::mutex> l(lock);
                if (stopping)
                    break;
                if (requests != served) {
                    w = sizeWidth, h = sizeHeight;
                    request = requests;
                }
                streaming = on;
            }
            if (request) {
                // Size and format change only while the device does not stream.
                bool ok = false;
                {
                    std::lock_guard<std::mutex> c(control);
                    if (streaming)
                        stream->stop();
                    {
                        std::lock_guard<std::mutex> g(lock);
                        on = false;
                    }
                    ok = stream->setSize(w, h);
                }
                // Streaming again before the caller goes on, which may count on frames.
                tryStart();
                cacheProperties();
                std::lock_guard<std::mutex> g(lock);
                sizeResult = ok;
                served = request;
                changed.notify_all();
                continue;
            }
            if (!streaming) {
                const int r = tryStart();
                if (r == ENODEV)
                    break;
                if (r != 0) {
                    // No bandwidth now: another stream may end at any time.
                    std::unique_lock<std::mutex> l(lock);
                    changed.wait_for(l, kRetryStart,
                                     [this] { return stopping || on || requests != served; });
                    continue;
                }
                cacheProperties();
            }
            uint32_t at = 0;
            uint64_t number = 0;
            const int r = stream->read(spare, at, number, kReadSliceMs);
            if (r == 0 && !spare.bytes.empty()) {
                std::lock_guard<std::mutex> g(lock);
                std::swap(newest, spare);
                newestAt = at;
                newestNumber = number;
                ++produced;
                changed.notify_all();
            } else if (r == ENODEV) {
                break;
            } else if (r == EINVAL) {
                std::lock_guard<std::mutex> g(lock);
                on = false;
            }
        }
        std::lock_guard<std::mutex> c(control);
        {
            std::lock_guard<std::mutex> g(lock);
            on = false;
        }
        // Also when the stream never started: a lost device is let go with the thread.
        stream->stop();
        std::lock_guard<std::mutex> g(lock);
        dead = true;
        changed.notify_all();
    }
};

StreamingCapture::StreamingCapture(std::unique_ptr<FrameStream> stream)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->stream = std::move(stream);
    // Streaming starts with the open, as the search expects frames after its pauses.
    m_shared->tryStart();
    m_shared->cacheProperties();
    m_shared->thread = std::thread([s = m_shared] { s->run(); });
}

StreamingCapture::~StreamingCapture()
{
    Shared& s = *m_shared;
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.stopping = true;
        s.changed.notify_all();
    }
    // Every stream's read wakes on interrupt, so the thread ends now and its device is
    // closed before the next capture asks for it.
    s.stream->interrupt();
    s.thread.join();
}

bool StreamingCapture::grab()
{
    Shared& s = *m_shared;
    m_grabbed = false;
    // A stream refused for bandwidth starts as soon as it fits: try now too, so a camera
    // freed just before is followed without delay.
    s.tryStart();
    uint64_t seen = static_cast<uint64_t>(m_frames);
    // Never waits for the camera. On a clock that moves only when told, a frame the device
    // has taken is there now, the thread's copy taking no time: wait for that. On
    // real time the frame comes when it is copied out.
    const bool virtualTime = dynamic_cast<VirtualClock*>(&clock()) != nullptr;
    const uint64_t taken = virtualTime ? s.stream->framesTaken() : 0;
    if (taken) {
        std::unique_lock<std::mutex> l(s.lock);
        const uint64_t starts = s.starts;
        s.changed.wait_for(l, kCopyWait,
                           [&] { return s.dead || s.starts != starts || s.newestNumber >= taken; });
    }
    uint32_t at = 0;
    {
        std::lock_guard<std::mutex> g(s.lock);
        if (s.produced == seen)
            return false;
        std::swap(m_raw, s.newest);
        at = s.newestAt;
        m_frames = static_cast<double>(s.produced);
    }
    // Decoded here, once per frame taken; a spoilt frame is dropped and the last good one
    // stays.
    cv::Mat frame;
    if (!decodeRaw(m_raw, frame))
        return false;
    m_frame = frame;
    m_frameAt = at;
    m_grabbed = true;
    return true;
}

bool StreamingCapture::retrieve(cv::Mat& frame)
{
    bool dead = false;
    {
        std::lock_guard<std::mutex> g(m_shared->lock);
        dead = m_shared->dead;
    }
    if (m_frame.empty() || dead || !m_shared->stream->present()) {
        frame.release();
        return false;
    }
    frame = m_frame;
    return true;
}

double StreamingCapture::get(int property)
{
    Shared& s = *m_shared;
    std::lock_guard<std::mutex> g(s.lock);
    switch (property) {
    case kPropFrameWidth:
        return s.width;
    case kPropFrameHeight:
        return s.height;
    case kPropFps:
        return s.fps;
    case kPropPosMsec:
        return m_frameAt;
    case kPropPosFrames:
        return m_frames;
    default:
        return -1; // a live camera has no frame count
    }
}

bool StreamingCapture::set(int property, double value)
{
    if (property == kPropFrameWidth)
        m_wantWidth = static_cast<int>(std::lround(value));
    else if (property == kPropFrameHeight)
        m_wantHeight = static_cast<int>(std::lround(value));
    else
        return false;
    if (m_wantWidth <= 0 || m_wantHeight <= 0)
        return true;
    Shared& s = *m_shared;
    std::unique_lock<std::mutex> l(s.lock);
    if (s.dead)
        return false;
    s.sizeWidth = m_wantWidth;
    s.sizeHeight = m_wantHeight;
    m_wantWidth = m_wantHeight = 0;
    const uint64_t request = ++s.requests;
    s.changed.notify_all();
    l.unlock();
    s.stream->interrupt();
    l.lock();
    // Waits for the thread to stop the stream and apply the size, not for a frame.
    if (!s.changed.wait_for(l, kRequestWait, [&] { return s.dead || s.served >= request; }))
        return false;
    return !s.dead && s.sizeResult;
}

} // namespace platform
