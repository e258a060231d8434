// Decoding a photo without trusting the size its header claims: a huge picture is decoded at
// a reduced scale, or not at all, so a small damaged or hostile file cannot take gigabytes.
#pragma once

#include <opencv2/core/mat.hpp>

#include <string>

// Photos above this many pixels are never decoded at full size.
constexpr long long kMaxPhotoPixels = 50'000'000;

struct JpegSize {
    int width = 0;
    int height = 0;
};

// The frame size a JPEG file's header claims (from its start-of-frame marker); false when the
// file is not a readable JPEG.
bool readJpegSize(const std::string& path, JpegSize& size);

// The photo as a BGR image, or an empty image when it cannot be decoded. A picture larger
// than kMaxPhotoPixels is decoded at 1/2, 1/4 or 1/8 scale (the JPEG decoder's own DCT
// scaling), the least reduction that brings it under the limit; one still larger after 1/8
// gives an empty image. minWidth × minHeight > 0 lets the decoder reduce further as long as
// the result stays at least that large (for thumbnails).
cv::Mat decodePhotoBounded(const std::string& path, int minWidth = 0, int minHeight = 0);
