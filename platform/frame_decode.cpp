#include "platform/frame_decode.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <limits>

namespace platform
{

bool decodeYuyv(const uint8_t* data, size_t size, int width, int height, size_t stride,
                cv::Mat& out)
{
    const size_t row = static_cast<size_t>(width) * 2;
    if (!data || width <= 0 || height <= 0 || width % 2 || stride < row ||
        size < stride * static_cast<size_t>(height - 1) + row) {
        out.release();
        return false;
    }
    const cv::Mat yuyv(height, width, CV_8UC2, const_cast<uint8_t*>(data), stride);
    cv::cvtColor(yuyv, out, cv::COLOR_YUV2BGR_YUYV);
    return true;
}

bool decodeMjpeg(const uint8_t* data, size_t size, cv::Mat& out)
{
    out.release();
    if (!data || size == 0 || size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return false;
    try {
        const cv::Mat bytes(1, static_cast<int>(size), CV_8U, const_cast<uint8_t*>(data));
        out = cv::imdecode(bytes, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        out.release();
    }
    return !out.empty();
}

bool decodeYuyv(const std::vector<uint8_t>& bytes, int width, int height, cv::Mat& out)
{
    // Exactly one frame, rows without padding.
    if (width <= 0 || height <= 0 ||
        bytes.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 2) {
        out.release();
        return false;
    }
    return decodeYuyv(bytes.data(), bytes.size(), width, height, static_cast<size_t>(width) * 2,
                      out);
}

bool decodeMjpeg(const std::vector<uint8_t>& bytes, cv::Mat& out)
{
    return decodeMjpeg(bytes.data(), bytes.size(), out);
}

} // namespace platform
