#include "browse/bounded_photo.h"

#include "browse/photo_budget.h"

#include <opencv2/imgcodecs.hpp>

namespace
{

int reducedFlag(int scale)
{
    switch (scale) {
    case 2:
        return cv::IMREAD_REDUCED_COLOR_2;
    case 4:
        return cv::IMREAD_REDUCED_COLOR_4;
    case 8:
        return cv::IMREAD_REDUCED_COLOR_8;
    default:
        return cv::IMREAD_COLOR;
    }
}

} // namespace

cv::Mat decodePhotoBounded(const std::string& path, int minWidth, int minHeight)
{
    JpegHeader header;
    if (!readJpegHeader(path, header))
        return {};
    const int scale = photoDecodeScale(header, minWidth, minHeight);
    if (scale == 0)
        return {};
    try {
        return cv::imread(path, reducedFlag(scale));
    } catch (const cv::Exception&) {
        return {};
    }
}
