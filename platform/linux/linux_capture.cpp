// Cameras by index: the node at that position of the video-input list, opened by path.
#include "platform/linux/linux_backends.h"
#include "platform/opencv_capture.h"

namespace platform
{

namespace
{

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
            return std::make_unique<OpenCvCapture>(std::move(c));
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
