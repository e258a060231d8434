// The image work of one display pass up to the picture handed to the toolkit: the frame's
// own transforms when the pass keeps the frame, then the fitted RGB picture.
#pragma once

#include "pipeline/display_map.h"
#include "pipeline/picture_transforms.h"

#include <wx/image.h>

#include <opencv2/core/mat.hpp>

struct PictureSettings {
    bool mirror = false;
    float zoom = 1.0f;
    int quarterTurns = 0;
    bool transformed() const { return mirror || zoom != 1.0f || quarterTurns > 0; }
};

class PictureComposer
{
public:
    // Transforms the frame itself, in place (for a pass that stamps, saves or records it).
    void transformFrame(cv::Mat& frame, const PictureSettings& s);
    // The d x a picture: fitted from the frame as it is when processed, otherwise with the
    // settings folded into the resampling of the untouched frame.
    wxImage& compose(const cv::Mat& frame, bool processed, int d, int a, const PictureSettings& s);

private:
    FrameTransformer m_transformer;
    DisplayMap m_map;
    wxImage m_picture;
};
