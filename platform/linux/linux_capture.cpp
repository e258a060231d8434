// Cameras by index: the node at that position of the video-input list, opened by path.
#include "platform/clock.h"
#include "platform/linux/linux_backends.h"
#include "platform/opencv_capture.h"
#include "platform/streaming_capture.h"

#include <cerrno>

namespace platform
{

namespace
{

// A camera node through the capture library's V4L2 reader, which streams from the first
// grab on and waits in select() for each frame: only the capture thread calls it.
class V4l2Stream : public FrameStream
{
public:
    explicit V4l2Stream(cv::VideoCapture capture) : m_capture(std::move(capture)) {}

    int start() override { return m_capture.isOpened() ? 0 : ENODEV; }
    void stop() override {}

    int read(cv::Mat& bgr, uint32_t& capturedAt, uint64_t& number, uint32_t /*timeoutMs*/) override
    {
        try {
            if (!m_capture.isOpened())
                return ENODEV;
            if (!m_capture.grab())
                return EAGAIN;
            capturedAt = clock().tickCount();
            number = ++m_frames;
            return m_capture.retrieve(bgr) && !bgr.empty() ? 0 : EAGAIN;
        } catch (const cv::Exception&) {
            return ENODEV; // a device that vanished mid-stream
        }
    }

    bool setSize(int width, int height) override
    {
        try {
            // The pixel format first: the driver checks the size against it.
            if (needsCompression(width, height))
                m_capture.set(cv::CAP_PROP_FOURCC, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
            const bool w = m_capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
            const bool h = m_capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
            return w && h;
        } catch (const cv::Exception&) {
            return false;
        }
    }

    double get(int property) override
    {
        try {
            return m_capture.get(property);
        } catch (const cv::Exception&) {
            return -1;
        }
    }

    // The library keeps the driver's queue to itself; its select() cannot be cut short.
    uint64_t framesTaken() override { return 0; }
    bool present() override { return true; } // a vanished device shows in the thread's read
    void interrupt() override {}

private:
    cv::VideoCapture m_capture;
    uint64_t m_frames = 0;
};

class LinuxCaptures : public CaptureFactory
{
public:
    explicit LinuxCaptures(const LinuxContext& ctx) : m_inputs(makeLinuxVideoInputs(ctx)) {}

    std::unique_ptr<Capture> openCamera(int index) override
    {
        auto list = m_inputs->enumerate();
        if (index < 0 || index >= static_cast<int>(list.size()))
            return nullptr;
        // Listed but refused at enumeration: a camera that gives no frame.
        if (!list[static_cast<size_t>(index)].openError.empty())
            return nullptr;
        try {
            cv::VideoCapture c(list[static_cast<size_t>(index)].devicePath, cv::CAP_V4L2);
            if (!c.isOpened())
                return nullptr;
            return std::make_unique<StreamingCapture>(std::make_unique<V4l2Stream>(std::move(c)));
        } catch (const cv::Exception&) {
            return nullptr;
        }
    }

    std::unique_ptr<Capture> openFile(const std::string& path) override
    {
        return openVideoFile(path);
    }

private:
    std::unique_ptr<VideoInputList> m_inputs;
};

} // namespace

std::unique_ptr<CaptureFactory> makeLinuxCaptures(const LinuxContext& ctx)
{
    return std::make_unique<LinuxCaptures>(ctx);
}

} // namespace platform
