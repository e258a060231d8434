// What a video input's sensor sees at a moment: chosen under the rig lock, drawn outside it.
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>

namespace scopesim
{

struct Device;

enum class Picture { Pipe, Gradient, Black, Bars, Chart };

struct FramePlan {
    Picture picture = Picture::Black;
    int width = 0, height = 0;
    double seconds = 0;
    double light = 1, gain = 1;
    bool operator==(const FramePlan&) const = default;
};

// The picture of device d at rig time atMs (frames move in steps of the device's rate).
FramePlan planFrame(const Device& d, uint32_t atMs);
// Draws a plan as BGR CV_8UC3.
void renderPlan(const FramePlan& plan, cv::Mat& out);

} // namespace scopesim
