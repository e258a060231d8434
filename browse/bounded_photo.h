// Decoding a photo without trusting the size its header claims: the headers are read first and
// the decoder runs only within the photo budget, at a reduced scale where that is needed.
#pragma once

#include <opencv2/core/mat.hpp>

#include <string>

// The photo as a BGR image, or an empty image when it cannot be read or is refused by the photo
// budget (never handed to the decoder then: a file that is not a JPEG, whatever its name,
// included). minWidth × minHeight > 0 lets the decoder reduce the picture (1/2, 1/4, 1/8) as
// long as the result stays at least that large (for thumbnails).
cv::Mat decodePhotoBounded(const std::string& path, int minWidth = 0, int minHeight = 0);
