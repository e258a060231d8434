// Pictures the simulated cameras send: BGR CV_8UC3 frames.
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>

namespace scopesim
{

// A lit pipe interior seen from its axis: textured wall, weld seams, slow travel along the
// pipe. light (0..1) is the LED's output, gain the sensor gain (boost raises it).
void renderPipe(cv::Mat& out, int width, int height, double seconds, double light, double gain);
// A plain moving test scene.
void renderGradient(cv::Mat& out, int width, int height, double seconds);
void renderBlack(cv::Mat& out, int width, int height);
// Eight equal vertical bars across the frame: white, yellow, cyan, green, magenta, red,
// blue, black. level scales them (1: full scale, the family camera's test picture).
void renderColourBars(cv::Mat& out, int width, int height, double level = 1.0);

} // namespace scopesim
