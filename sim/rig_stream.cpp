// Video streams of the rig's inputs, modelled on a V4L2 capture queue: the sensor takes a
// frame every period into a free buffer, drops it when all buffers are full, and a reader
// waits for the next one when none is filled. Frames are computed lazily from the time.
#include "sim/frame_plan.h"
#include "sim/rig_state.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

namespace scopesim
{

namespace
{

uint64_t rawBytesPerFrame(const Device& d)
{
    return static_cast<uint64_t>(d.size.width) * d.size.height * 2;
}

double rateOf(const Device& d, PixelFormat f)
{
    const double own = d.spec.fps > 0 ? d.spec.fps : 30;
    if (f == PixelFormat::Mjpeg)
        return own;
    // Uncompressed frames are limited by what one bus can carry.
    const double fit =
        static_cast<double>(kUsb2BusBudget) / static_cast<double>(rawBytesPerFrame(d));
    return std::min(own, fit);
}

// What the stream holds on the bus: uncompressed streams ask for what their rate needs,
// MJPEG for a compressed payload of about an eighth of the raw frame.
uint64_t bandwidthOf(const Device& d, PixelFormat f)
{
    const double raw = static_cast<double>(rawBytesPerFrame(d)) * rateOf(d, f);
    const double need = f == PixelFormat::Mjpeg ? raw / 8 : raw;
    return std::min<uint64_t>(kUsb2BusBudget, static_cast<uint64_t>(std::ceil(need)));
}

bool streaming(const Device& d)
{
    return d.stream.on && d.plugged && d.stream.plugCount == d.plugCount;
}

uint64_t loadOn(const RigState& rig, int bus, const Device* except)
{
    uint64_t sum = 0;
    for (const auto& o : rig.devices)
        if (o.get() != except && o->video() && o->bus == bus && streaming(*o))
            sum += o->stream.bandwidth;
    return sum;
}

double periodMs(const Device& d)
{
    return 1000.0 / rateOf(d, d.stream.format);
}

uint32_t frameTime(const Device& d, uint64_t n)
{
    return d.stream.startedAt + static_cast<uint32_t>(std::llround((n + 1) * periodMs(d)));
}

// The sensor's bytes for a frame, as the device puts them on the bus.
void encode(const cv::Mat& bgr, PixelFormat format, std::vector<uint8_t>& out)
{
    if (format == PixelFormat::Mjpeg) {
        cv::imencode(".jpg", bgr, out, {cv::IMWRITE_JPEG_QUALITY, 92});
        return;
    }
    // Limited-range BT.601, chroma averaged over each pixel pair.
    out.resize(static_cast<size_t>(bgr.cols) * bgr.rows * 2);
    uint8_t* o = out.data();
    auto clip = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    for (int y = 0; y < bgr.rows; ++y) {
        const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(y);
        for (int x = 0; x + 1 < bgr.cols; x += 2) {
            double r0 = row[x][2], g0 = row[x][1], b0 = row[x][0];
            double r1 = row[x + 1][2], g1 = row[x + 1][1], b1 = row[x + 1][0];
            double r = (r0 + r1) / 2, g = (g0 + g1) / 2, b = (b0 + b1) / 2;
            *o++ = clip(16 + 0.2568 * r0 + 0.5041 * g0 + 0.0979 * b0);
            *o++ = clip(128 - 0.1482 * r - 0.2910 * g + 0.4392 * b);
            *o++ = clip(16 + 0.2568 * r1 + 0.5041 * g1 + 0.0979 * b1);
            *o++ = clip(128 + 0.4392 * r - 0.3678 * g - 0.0714 * b);
        }
    }
}

Device* videoDevice(Session& s, int id)
{
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    return d && d->video() ? d : nullptr;
}

} // namespace

void catchUpStream(Device& d, uint32_t now)
{
    StreamState& st = d.stream;
    if (!streaming(d))
        return;
    for (;;) {
        const uint32_t t = frameTime(d, st.nextFrame);
        if (static_cast<int32_t>(t - now) > 0)
            break;
        // A sensor that is off or hung takes nothing; a full queue drops the frame.
        const bool sending = d.framesOn && !d.stalledAt(t);
        if (sending && st.queue.size() < static_cast<size_t>(kStreamBuffers)) {
            st.queue.push_back(st.nextFrame);
            st.takenAt.push_back(t);
            st.taken = st.nextFrame + 1;
        }
        ++st.nextFrame;
    }
}

int startStream(int id, const void* owner)
{
    Session s;
    Device* d = videoDevice(s, id);
    if (!d || !d->plugged)
        return ENODEV;
    if (streaming(*d))
        return EBUSY;
    const uint64_t need = bandwidthOf(*d, d->stream.format);
    if (loadOn(*s.rig(), d->bus, d) + need > kUsb2BusBudget)
        return ENOSPC;
    StreamState& st = d->stream;
    st.on = true;
    st.owner = owner;
    st.plugCount = d->plugCount;
    st.startedAt = rigNow(*s.rig());
    st.nextFrame = 0;
    st.queue.clear();
    st.takenAt.clear();
    st.bandwidth = need;
    st.taken = 0;
    st.interrupted = false;
    return 0;
}

void stopStream(int id, const void* owner)
{
    Session s;
    Device* d = videoDevice(s, id);
    if (d && (!owner || d->stream.owner == owner)) {
        d->stream.on = false;
        d->stream.queue.clear();
        d->stream.takenAt.clear();
        rigWake().notify_all();
    }
}

int dequeueBuffer(int id, StreamBuffer& out, uint32_t timeoutMs, bool newestOnly, const void* owner)
{
    FramePlan plan;
    bool keep = false;
    {
        Session s;
        const uint64_t generation = s.rig() ? s.rig()->generation : 0;
        const uint32_t start = s.rig() ? rigNow(*s.rig()) : 0;
        for (;;) {
            RigState* rig = s.rig();
            if (!rig || rig->generation != generation)
                return ENODEV;
            fireDue(*rig, s.events());
            Device* d = rig->byId(id);
            if (!d || !d->video() || !d->plugged)
                return ENODEV;
            StreamState& st = d->stream;
            // The stream of another owner (a capture opened after a replug the reader never
            // saw) is not this reader's: its device is gone.
            if (owner && st.owner != owner)
                return ENODEV;
            if (!streaming(*d))
                return st.plugCount != d->plugCount && st.on ? ENODEV : EINVAL;
            if (st.interrupted) {
                st.interrupted = false;
                return EINTR;
            }
            const uint32_t now = rigNow(*rig);
            catchUpStream(*d, now);
            if (!st.queue.empty()) {
                while (newestOnly && st.queue.size() > 1) {
                    st.queue.pop_front();
                    st.takenAt.erase(st.takenAt.begin());
                }
                out.sequence = st.queue.front();
                out.capturedAt = st.takenAt.front();
                st.queue.pop_front();
                st.takenAt.erase(st.takenAt.begin());
                out.format = st.format;
                plan = planFrame(*d, out.capturedAt);
                const bool repeat = st.sentAny && st.sentPlan == plan && st.sentFormat == st.format;
                if (repeat && !st.repeatBytes.empty()) {
                    out.bytes = st.repeatBytes;
                    out.width = st.sentWidth;
                    out.height = st.sentHeight;
                    return 0;
                }
                if (!repeat)
                    st.repeatBytes.clear();
                st.sentPlan = plan;
                st.sentFormat = st.format;
                st.sentAny = true;
                keep = repeat;
                break;
            }
            const uint32_t waited = now - start;
            if (waited >= timeoutMs)
                return EAGAIN;
            // Real time sleeps until the next frame is due; an installed clock may be
            // virtual and move at any moment, so it is looked at often.
            uint32_t until = std::min(frameTime(*d, st.nextFrame) - now, timeoutMs - waited);
            if (clockIsInstalled())
                until = 1;
            rigWake().wait_for(s.lock(), std::chrono::milliseconds(std::max<uint32_t>(until, 1)));
        }
    }
    cv::Mat bgr;
    renderPlan(plan, bgr);
    out.width = bgr.cols;
    out.height = bgr.rows;
    encode(bgr, out.format, out.bytes);
    if (keep) {
        Session s;
        Device* d = videoDevice(s, id);
        if (d && d->stream.sentAny && d->stream.sentPlan == plan &&
            d->stream.sentFormat == out.format) {
            d->stream.repeatBytes = out.bytes;
            d->stream.sentWidth = out.width;
            d->stream.sentHeight = out.height;
        }
    }
    return 0;
}

bool bufferReady(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    if (!d || !streaming(*d))
        return false;
    catchUpStream(*d, rigNow(*s.rig()));
    return !d->stream.queue.empty();
}

uint64_t framesTaken(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    if (!d || !streaming(*d))
        return 0;
    catchUpStream(*d, rigNow(*s.rig()));
    return d->stream.taken;
}

void interruptStream(int id)
{
    Session s;
    if (Device* d = videoDevice(s, id)) {
        d->stream.interrupted = true;
        rigWake().notify_all();
    }
}

bool setPixelFormat(int id, PixelFormat format)
{
    Session s;
    Device* d = videoDevice(s, id);
    if (!d || streaming(*d) ||
        std::find(d->formats.begin(), d->formats.end(), format) == d->formats.end())
        return false;
    d->stream.format = format;
    return true;
}

PixelFormat pixelFormat(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    return d ? d->stream.format : PixelFormat::Yuyv;
}

std::vector<PixelFormat> pixelFormats(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    return d ? d->formats : std::vector<PixelFormat>{};
}

double streamRate(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    return d ? rateOf(*d, d->stream.format) : 0;
}

uint64_t busLoad(int id)
{
    Session s;
    Device* d = videoDevice(s, id);
    return d ? loadOn(*s.rig(), d->bus, nullptr) : 0;
}

} // namespace scopesim
