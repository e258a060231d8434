#include "pipeline/picture_composer.h"

#include "pipeline/display_picture.h"

#include <opencv2/imgproc.hpp>

void PictureComposer::transformFrame(cv::Mat& frame, const PictureSettings& s)
{
    m_transformer.apply(frame, s.mirror, s.zoom, s.quarterTurns);
}

wxImage& PictureComposer::compose(const cv::Mat& frame, bool processed, int d, int a, const PictureSettings& s)
{
    if (!m_picture.IsOk() || m_picture.GetWidth() != d || m_picture.GetHeight() != a)
        m_picture.Create(d, a, false);
    if (processed || !s.transformed()) {
        fitToRgb(frame, d, a, m_picture.GetData());
        return m_picture;
    }
    m_map.render(frame, d, a, s.mirror, s.zoom, s.quarterTurns, m_mapped);
    cv::Mat rgb(a, d, CV_8UC3, m_picture.GetData());
    cv::cvtColor(m_mapped, rgb, cv::COLOR_BGR2RGB);
    return m_picture;
}
