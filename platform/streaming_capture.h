// A camera read by a thread of its own: the thread waits on the device and keeps only the
// newest frame, so grab() on the GUI thread never waits for the camera.
#pragma once

#include "platform/capture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform
{

// Whether a frame size asks for MJPEG: uncompressed YUYV (2 bytes a pixel) cannot reach
// 15 frames a second through a USB 2.0 bus's isochronous share.
bool needsCompression(int width, int height);

// A frame as the device sent it (YUYV rows stride bytes apart, or one MJPEG picture): only
// the frames a pass takes are decoded, not every one the camera sends.
struct RawFrame {
    std::vector<uint8_t> bytes;
    bool mjpeg = false;
    int width = 0, height = 0;
    size_t stride = 0; // YUYV only; 0: width * 2
};

// False (and an empty bgr) for bytes that do not make the frame, such as a broken JPEG.
bool decodeRaw(const RawFrame& raw, cv::Mat& bgr);

// One device's stream, driven by the capture thread alone (never called concurrently).
class FrameStream
{
public:
    virtual ~FrameStream() = default;
    // 0, or an errno: ENOSPC (no bandwidth now: tried again later), ENODEV (gone).
    virtual int start() = 0;
    // Stops streaming; a device that has gone is also let go (the thread's last call).
    virtual void stop() = 0;
    // Waits up to timeoutMs for a frame and gives the newest the device holds: 0 with its
    // bytes, the clock tick when the device took it and its number (counting from 1 since
    // the start), or an errno (EAGAIN timeout, EINTR interrupted, ENODEV gone, EINVAL not
    // streaming).
    virtual int read(RawFrame& frame, uint32_t& capturedAt, uint64_t& number,
                     uint32_t timeoutMs) = 0;
    // Frame size and format for the next start; the device may adjust the size.
    virtual bool setSize(int width, int height) = 0;
    virtual double get(int property) = 0;
    // Any thread: the number of the newest frame the device has taken since the start
    // (0 when that cannot be seen).
    virtual uint64_t framesTaken() = 0;
    // Any thread: the device is still there, as far as can be seen without reading.
    virtual bool present() = 0;
    // Any thread: makes a read in progress (or the next one) return at once; closing
    // waits for the thread on that.
    virtual void interrupt() = 0;
};

class StreamingCapture : public Capture
{
public:
    explicit StreamingCapture(std::unique_ptr<FrameStream> stream);
    ~StreamingCapture() override;
    StreamingCapture(const StreamingCapture&) = delete;
    StreamingCapture& operator=(const StreamingCapture&) = delete;

    // True when a frame newer than the last grabbed one has come. Never waits for the
    // camera; a frame the driver already holds is waited for while the thread copies it out.
    bool grab() override;
    // The frame of the last successful grab, while the device is there.
    bool retrieve(cv::Mat& frame) override;
    // kPropPosMsec: the clock tick at which the grabbed frame was taken.
    double get(int property) override;
    // A new size applies once width and height were both given (as with V4L2).
    bool set(int property, double value) override;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    RawFrame m_raw; // the last one taken, its buffer kept for the next
    cv::Mat m_frame;
    bool m_grabbed = false;
    uint32_t m_frameAt = 0;
    double m_frames = 0;
    int m_wantWidth = 0, m_wantHeight = 0;
};

} // namespace platform
