// Video files through the capture library's VideoCapture (cameras stream V4L2 themselves).
#pragma once

#include "platform/capture.h"

#include <opencv2/videoio.hpp>

namespace platform
{

class OpenCvCapture : public Capture
{
public:
    explicit OpenCvCapture(cv::VideoCapture capture) : m_capture(std::move(capture)) {}
    bool grab() override;
    bool retrieve(cv::Mat& frame) override;
    double get(int property) override;
    bool set(int property, double value) override;

private:
    cv::VideoCapture m_capture;
};

// Null when the file cannot be opened.
std::unique_ptr<Capture> openVideoFile(const std::string& path);

} // namespace platform
