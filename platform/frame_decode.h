// Camera bytes to BGR frames with the capture library's own conversions, as its V4L2
// reader does them: YUYV through cvtColor (limited-range BT.601), MJPEG through imdecode.
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <vector>

namespace platform
{

// False (and an empty out) when the bytes do not make a frame of that size.
bool decodeYuyv(const std::vector<uint8_t>& bytes, int width, int height, cv::Mat& out);
bool decodeMjpeg(const std::vector<uint8_t>& bytes, cv::Mat& out);
// The same from a driver's buffer, read in place: YUYV rows stride bytes apart (at least
// width * 2), the frame within size bytes.
bool decodeYuyv(const uint8_t* data, size_t size, int width, int height, size_t stride,
                cv::Mat& out);
bool decodeMjpeg(const uint8_t* data, size_t size, cv::Mat& out);

} // namespace platform
