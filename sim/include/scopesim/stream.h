// Streaming from a rig video input as a V4L2 driver does it: the sensor fills buffers at
// its own rate whether anyone reads them or not, a full queue drops new frames, and a
// read with nothing queued waits for the next frame. Frames leave the device as YUYV
// (limited-range BT.601, 4:2:2) or MJPEG bytes; the reader converts them.
#pragma once

#include <cstdint>
#include <vector>

namespace scopesim
{

enum class PixelFormat { Yuyv, Mjpeg };

struct StreamBuffer {
    std::vector<uint8_t> bytes;
    PixelFormat format = PixelFormat::Yuyv;
    int width = 0, height = 0;
    uint32_t capturedAt = 0; // rig ms when the sensor took it
    uint64_t sequence = 0;   // counts every frame the sensor took, dropped ones too
};

// Buffers a stream owns, as a capture library asks of the driver.
constexpr int kStreamBuffers = 4;
// Isochronous bytes per second a USB 2.0 bus can give its periodic transfers
// (three 1024-byte packets per 125 us microframe).
constexpr uint64_t kUsb2BusBudget = 3ull * 1024 * 8000;

// 0, or an errno: ENODEV (no such plugged device), EBUSY (already streaming), ENOSPC (the
// bus cannot carry it beside the streams already on it).
// owner: who started it; a stop by another owner (a reader of an earlier plug-in, say)
// leaves the stream alone. Null stops whichever stream runs.
int startStream(int id, const void* owner = nullptr);
void stopStream(int id, const void* owner = nullptr);
// Takes the oldest filled buffer, waiting up to timeoutMs of rig time for one; newestOnly
// takes every filled buffer and keeps the newest, as a reader that drains the queue does.
// 0, or EAGAIN (timeout), ENODEV (unplugged, or the stream now has another owner), EINVAL
// (not streaming), EINTR (interrupted). owner: as given to startStream; null takes any stream.
int dequeueBuffer(int id, StreamBuffer& out, uint32_t timeoutMs, bool newestOnly = false,
                  const void* owner = nullptr);
// A filled buffer waits in the queue now.
bool bufferReady(int id);
// How many frames the running stream has put into buffers so far (dropped ones not
// counted): a reader that has converted frame sequence + 1 == this is up to date.
uint64_t framesTaken(int id);
// Makes a dequeueBuffer waiting on this device return EINTR at once.
void interruptStream(int id);

bool setPixelFormat(int id, PixelFormat format);
PixelFormat pixelFormat(int id);
std::vector<PixelFormat> pixelFormats(int id);
// Frames per second the device gives in its present size and format: its own rate, or
// less where uncompressed frames do not fit through the bus.
double streamRate(int id);
// Bytes per second the streams on a device's bus hold now.
uint64_t busLoad(int id);

} // namespace scopesim
