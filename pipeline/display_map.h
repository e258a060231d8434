// The live picture for passes that save and record nothing: mirror, zoom, quarter turn and
// fit folded into one resampling at the painted size, instead of transforming the whole
// frame first. The picture is the same one the full transforms give, up to the rounding of
// one interpolation instead of two.
#pragma once

#include <opencv2/core/mat.hpp>

class DisplayMap {
public:
    // Renders bgr (w x h) transformed and fitted to d x a, as BGR into out.
    void render(const cv::Mat& bgr, int d, int a, bool mirror, float zoomFactor, int quarterTurns,
                cv::Mat& out);

private:
    struct Key {
        int w = 0, h = 0, d = 0, a = 0;
        bool mirror = false;
        float zoom = 1.0f;
        int turns = 0;
        bool operator==(const Key&) const = default;
    };
    void build(const Key& k);

    Key m_key;
    bool m_built = false;
    cv::Mat m_map1, m_map2;
};
