#include "browse/photo_decode.h"

#include <opencv2/imgcodecs.hpp>

cv::Mat decodePhoto(const std::string& path)
{
    try {
        return cv::imread(path, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}
