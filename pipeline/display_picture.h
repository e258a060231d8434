// The picture handed to the toolkit: the frame fitted to the painted size and turned from
// BGR into RGB in one step, so no full-size RGB copy is made.
#pragma once

#include <opencv2/core/mat.hpp>

// Writes bgr scaled to d x a as RGB rows (d * 3 bytes each, no padding) to rgb. The sampling
// is the toolkit's normal-quality rescale: block averages when both sides shrink by whole
// factors, the nearest pixel (16.16 fixed point steps) otherwise, the frame itself when the
// sizes agree.
void fitToRgb(const cv::Mat& bgr, int d, int a, unsigned char* rgb);
