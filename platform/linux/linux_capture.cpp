// Cameras by index: the node at that position of the video-input list, opened by path and
// streamed by a capture thread of its own.
#include "platform/linux/linux_backends.h"
#include "platform/linux/v4l2_stream.h"
#include "platform/opencv_capture.h"
#include "platform/streaming_capture.h"

namespace platform
{

namespace
{

class LinuxCaptures : public CaptureFactory
{
public:
    explicit LinuxCaptures(const LinuxContext& ctx)
        : m_ops(ctx.ops), m_inputs(makeLinuxVideoInputs(ctx))
    {
    }

    std::unique_ptr<Capture> openCamera(int index) override
    {
        auto list = m_inputs->enumerate();
        if (index < 0 || index >= static_cast<int>(list.size()))
            return nullptr;
        const VideoInput& input = list[static_cast<size_t>(index)];
        // Listed but refused at enumeration: a camera that gives no frame.
        if (!input.openError.empty())
            return nullptr;
        auto stream = openV4l2Stream(m_ops, input.devicePath);
        if (!stream)
            return nullptr;
        return std::make_unique<StreamingCapture>(std::move(stream));
    }

    std::unique_ptr<Capture> openFile(const std::string& path) override
    {
        return openVideoFile(path);
    }

private:
    IoctlOps m_ops;
    std::unique_ptr<VideoInputList> m_inputs;
};

} // namespace

std::unique_ptr<CaptureFactory> makeLinuxCaptures(const LinuxContext& ctx)
{
    return std::make_unique<LinuxCaptures>(ctx);
}

} // namespace platform
