// Mirror, zoom and quarter-turn rotation of a BGR frame, in place. These produce the picture
// that is shown, stamped, saved and recorded.
#pragma once

#include <opencv2/core/mat.hpp>

// Left and right exchanged.
void mirrorFrame(cv::Mat& frame);

// The centre part kept by the zoom factor: w' = trunc(w * f), h' = trunc(h * f) in single
// precision, at the integer halves of what is left over.
cv::Rect zoomRect(int width, int height, float factor);

// Quarter turns clockwise about (w / 2, h / 2): where dst(x, y) takes its pixel from in the
// source of the same size, as src(ax * x + bx, ay * x + by) along a row y.
struct QuarterTurn {
    int ax = 1, bx = 0, ay = 0, by = 0;
};
QuarterTurn quarterTurnRow(int width, int height, int quarterTurns, int y);

// Buffers reused from pass to pass, so the transforms allocate nothing once sizes settle.
class FrameTransformer
{
public:
    // Mirror (if asked), zoom (factor below 1) and rotation (1..3), in that order.
    void apply(cv::Mat& frame, bool mirror, float zoomFactor, int quarterTurns);

    void zoom(cv::Mat& frame, float factor);
    void rotate(cv::Mat& frame, int quarterTurns);

private:
    cv::Mat m_scratch;
    cv::Mat m_mirrored;
};

// Writes src turned by quarterTurns into dst (same size, distinct buffers); pixels that come
// from outside the source are black. The same pixels as an affine warp about the integer
// centre, without its interpolation cost: a quarter turn moves whole pixels.
void rotateInto(const cv::Mat& src, cv::Mat& dst, int quarterTurns);
