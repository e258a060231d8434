// Frame capture from a camera (by its video-input index) or from a video file, behind one
// interface. Frames are BGR CV_8UC3; an empty Mat means no frame.
#pragma once

#include <opencv2/core/mat.hpp>

#include <memory>
#include <string>

namespace platform
{

// Property ids are the capture library's (cv::CAP_PROP_*).
enum CaptureProperty {
    kPropPosMsec = 0,
    kPropPosFrames = 1,
    kPropFrameWidth = 3,
    kPropFrameHeight = 4,
    kPropFps = 5,
    kPropFrameCount = 7,
};

class Capture
{
public:
    virtual ~Capture() = default;
    virtual bool grab() = 0;
    // The grabbed frame; false and an empty Mat when there is none.
    virtual bool retrieve(cv::Mat& frame) = 0;
    // grab + retrieve; an empty Mat when there is no frame.
    cv::Mat query();
    // -1 when the property is not known to this capture.
    virtual double get(int property) = 0;
    virtual bool set(int property, double value) = 0;
};

class CaptureFactory
{
public:
    virtual ~CaptureFactory() = default;
    // Null when there is no such input or it cannot be opened.
    virtual std::unique_ptr<Capture> openCamera(int index) = 0;
    virtual std::unique_ptr<Capture> openFile(const std::string& path) = 0;
};

} // namespace platform
