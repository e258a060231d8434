#include "pipeline/display_map.h"

#include "pipeline/picture_transforms.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

void DisplayMap::render(const cv::Mat& bgr, int d, int a, bool mirror, float zoomFactor,
                        int quarterTurns, cv::Mat& out)
{
    const Key k{bgr.cols, bgr.rows, d, a, mirror, zoomFactor, quarterTurns & 3};
    if (!m_built || !(k == m_key)) {
        build(k);
        m_key = k;
        m_built = true;
    }
    cv::remap(bgr, out, m_map1, m_map2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
}

void DisplayMap::build(const Key& k)
{
    // Each painted pixel is followed back through the fit, the turn, the zoom and the mirror
    // to a point of the camera frame.
    cv::Mat mapX(k.a, k.d, CV_32FC1), mapY(k.a, k.d, CV_32FC1);
    const cv::Rect crop = k.zoom != 1.0f ? zoomRect(k.w, k.h, k.zoom) : cv::Rect(0, 0, k.w, k.h);
    const bool zoomed = crop.width >= 1 && crop.height >= 1 && crop.width <= k.w && crop.height <= k.h &&
                        k.zoom != 1.0f;
    const double zx = zoomed ? static_cast<double>(crop.width) / k.w : 1.0;
    const double zy = zoomed ? static_cast<double>(crop.height) / k.h : 1.0;
    const int x0 = zoomed ? crop.x : 0, y0 = zoomed ? crop.y : 0;
    const int cw = zoomed ? crop.width : k.w, ch = zoomed ? crop.height : k.h;
    const double sx = static_cast<double>(k.w) / k.d, sy = static_cast<double>(k.h) / k.a;
    const int cx = k.w / 2, cy = k.h / 2;
    for (int Y = 0; Y < k.a; ++Y) {
        float* mx = mapX.ptr<float>(Y);
        float* my = mapY.ptr<float>(Y);
        for (int X = 0; X < k.d; ++X) {
            const double px = (X + 0.5) * sx - 0.5, py = (Y + 0.5) * sy - 0.5;
            double qx = px, qy = py;
            switch (k.turns) {
            case 1:
                qx = py + cx - cy;
                qy = cx + cy - px;
                break;
            case 2:
                qx = 2.0 * cx - px;
                qy = 2.0 * cy - py;
                break;
            case 3:
                qx = cx + cy - py;
                qy = px - cx + cy;
                break;
            default:
                break;
            }
            const long rx = std::lround(qx), ry = std::lround(qy);
            if (rx < 0 || rx >= k.w || ry < 0 || ry >= k.h) {
                mx[X] = my[X] = -16.0f;  // outside the turned picture: black
                continue;
            }
            qx = std::clamp(qx, 0.0, k.w - 1.0);
            qy = std::clamp(qy, 0.0, k.h - 1.0);
            double fx = std::clamp((qx + 0.5) * zx - 0.5, 0.0, cw - 1.0) + x0;
            const double fy = std::clamp((qy + 0.5) * zy - 0.5, 0.0, ch - 1.0) + y0;
            if (k.mirror)
                fx = k.w - 1 - fx;
            mx[X] = static_cast<float>(fx);
            my[X] = static_cast<float>(fy);
        }
    }
    cv::convertMaps(mapX, mapY, m_map1, m_map2, CV_16SC2);
}
