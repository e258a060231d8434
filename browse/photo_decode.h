// A captured photo decoded for the picture area.
#pragma once

#include <opencv2/core/mat.hpp>

#include <string>

// The photo at path (UTF-8) as a three-channel BGR frame; empty when it cannot be decoded.
cv::Mat decodePhoto(const std::string& path);
