// A rig camera behind the capture interface, read as a V4L2 camera is: a thread dequeues
// the device's YUYV or MJPEG buffers and converts them. Files are real files either way.
#include "platform/opencv_capture.h"
#include "platform/sim/sim_backends.h"
#include "platform/streaming_capture.h"

#include <scopesim/rig.h>
#include <scopesim/stream.h>

#include <algorithm>
#include <cerrno>

namespace platform
{

namespace
{

class SimStream : public FrameStream
{
public:
    SimStream(int id, uint32_t plugCount) : m_id(id), m_plugCount(plugCount) {}

    int start() override
    {
        if (!alive())
            return ENODEV;
        return scopesim::startStream(m_id, this);
    }

    // Only its own stream: the device may stream for a newer capture by now.
    void stop() override { scopesim::stopStream(m_id, this); }

    int read(RawFrame& frame, uint32_t& capturedAt, uint64_t& number, uint32_t timeoutMs) override
    {
        if (!alive())
            return ENODEV;
        scopesim::StreamBuffer b;
        const int r = scopesim::dequeueBuffer(m_id, b, timeoutMs, true, this);
        if (r != 0)
            return r;
        frame.bytes = std::move(b.bytes);
        frame.mjpeg = b.format == scopesim::PixelFormat::Mjpeg;
        frame.width = b.width;
        frame.height = b.height;
        frame.stride = 0;
        // The rig counts from its start; callers compare with the clock.
        capturedAt = scopesim::clockTimeOf(b.capturedAt);
        number = b.sequence + 1;
        return 0;
    }

    bool setSize(int width, int height) override
    {
        if (!alive())
            return false;
        // The format goes first: the sizes a device offers depend on it.
        const auto offered = scopesim::pixelFormats(m_id);
        const bool mjpeg = needsCompression(width, height) &&
                           std::find(offered.begin(), offered.end(),
                                     scopesim::PixelFormat::Mjpeg) != offered.end();
        scopesim::setPixelFormat(m_id, mjpeg ? scopesim::PixelFormat::Mjpeg : offered.front());
        return scopesim::setFrameSize(m_id, width, height);
    }

    double get(int property) override
    {
        auto info = scopesim::videoInput(m_id);
        if (!info)
            return -1;
        switch (property) {
        case kPropFrameWidth:
            return info->width;
        case kPropFrameHeight:
            return info->height;
        case kPropFps:
            return scopesim::streamRate(m_id);
        default:
            return -1;
        }
    }

    bool present() override { return alive(); }
    uint64_t framesTaken() override { return alive() ? scopesim::framesTaken(m_id) : 0; }
    void interrupt() override { scopesim::interruptStream(m_id); }

private:
    // A device that was unplugged stays dead for this capture, even once it is back.
    bool alive() const
    {
        auto info = scopesim::videoInput(m_id);
        return info && info->plugged && info->plugCount == m_plugCount;
    }

    int m_id;
    uint32_t m_plugCount;
};

class SimCaptures : public CaptureFactory
{
public:
    std::unique_ptr<Capture> openCamera(int index) override
    {
        auto list = scopesim::videoInputs();
        if (index < 0 || index >= static_cast<int>(list.size()))
            return nullptr;
        const auto& info = list[static_cast<size_t>(index)];
        if (info.unopenable)
            return nullptr;
        return std::make_unique<StreamingCapture>(
            std::make_unique<SimStream>(info.id, info.plugCount));
    }

    std::unique_ptr<Capture> openFile(const std::string& path) override
    {
        return openVideoFile(path);
    }
};

} // namespace

std::unique_ptr<CaptureFactory> makeSimCaptures()
{
    return std::make_unique<SimCaptures>();
}

} // namespace platform
