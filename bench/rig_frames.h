// Frames as the rig's cameras give them, for the benchmarks.
#pragma once

#include <scopesim/rig.h>

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace benchrig
{

inline uint32_t g_rigNow = 0;

// Frames of the rig's pipe scene at w x h, taken at successive moments so they differ as a
// camera's do.
inline std::vector<cv::Mat> rigFrames(int w, int h, int count)
{
    scopesim::setTimeSource([] { return g_rigNow; }, [](uint32_t ms) { g_rigNow += ms; });
    scopesim::startText("camera \"Bench Camera\" size " + std::to_string(w) + "x" +
                        std::to_string(h) + " fps 30 scene pipe\n");
    const int id = scopesim::videoInputs().at(0).id;
    std::vector<cv::Mat> out;
    for (int i = 0; i < count; ++i) {
        g_rigNow += 67;
        cv::Mat f;
        scopesim::grabFrame(id, f);
        out.push_back(f.clone());
    }
    scopesim::stop();
    return out;
}

} // namespace benchrig
