#include "platform/frame_decode.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace platform
{

bool decodeYuyv(const std::vector<uint8_t>& bytes, int width, int height, cv::Mat& out)
{
    if (width <= 0 || height <= 0 || width % 2 ||
        bytes.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 2) {
        out.release();
        return false;
    }
    const cv::Mat yuyv(height, width, CV_8UC2, const_cast<uint8_t*>(bytes.data()));
    cv::cvtColor(yuyv, out, cv::COLOR_YUV2BGR_YUYV);
    return true;
}

bool decodeMjpeg(const std::vector<uint8_t>& bytes, cv::Mat& out)
{
    out.release();
    if (bytes.empty())
        return false;
    try {
        out = cv::imdecode(bytes, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        out.release();
    }
    return !out.empty();
}

} // namespace platform
