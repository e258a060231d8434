// The live picture for passes that save and record nothing: mirror, zoom, quarter turn and
// fit folded into one resize at the painted size, instead of transforming the whole frame
// first. All four are axis-aligned, so the visible part of the picture is one region of the
// camera frame resized, turned and flipped. It is the picture the full transforms give, up
// to the rounding of one interpolation instead of two and sub-pixel placement of the region.
#pragma once

#include <opencv2/core/mat.hpp>

class DisplayMap
{
public:
    // Renders bgr (w x h) transformed and fitted to d x a, as RGB rows of d * 3 bytes.
    void render(const cv::Mat& bgr, int d, int a, bool mirror, float zoomFactor, int quarterTurns,
                unsigned char* rgb);

private:
    cv::Mat m_region;
};
