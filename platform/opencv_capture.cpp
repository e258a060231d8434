#include "platform/opencv_capture.h"

namespace platform
{

bool OpenCvCapture::grab()
{
    try {
        return m_capture.grab();
    } catch (const cv::Exception&) {
        return false; // a file that cannot be read further
    }
}

bool OpenCvCapture::retrieve(cv::Mat& frame)
{
    try {
        if (m_capture.retrieve(frame) && !frame.empty())
            return true;
    } catch (const cv::Exception&) {
    }
    frame.release();
    return false;
}

double OpenCvCapture::get(int property)
{
    try {
        return m_capture.get(property);
    } catch (const cv::Exception&) {
        return -1;
    }
}

bool OpenCvCapture::set(int property, double value)
{
    try {
        return m_capture.set(property, value);
    } catch (const cv::Exception&) {
        return false;
    }
}

std::unique_ptr<Capture> openVideoFile(const std::string& path)
{
    try {
        // Files go to the file reader alone: probing the other backends touches camera
        // buses and image-sequence patterns.
        cv::VideoCapture c(path, cv::CAP_FFMPEG);
        if (!c.isOpened())
            return nullptr;
        return std::make_unique<OpenCvCapture>(std::move(c));
    } catch (const cv::Exception&) {
        return nullptr;
    }
}

} // namespace platform
