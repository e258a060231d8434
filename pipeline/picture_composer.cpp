#include "pipeline/picture_composer.h"

#include "pipeline/display_picture.h"

void PictureComposer::transformFrame(cv::Mat& frame, const PictureSettings& s)
{
    m_transformer.apply(frame, s.mirror, s.zoom, s.quarterTurns);
}

wxImage& PictureComposer::compose(const cv::Mat& frame, bool processed, int d, int a,
                                  const PictureSettings& s)
{
    if (!m_picture.IsOk() || m_picture.GetWidth() != d || m_picture.GetHeight() != a)
        m_picture.Create(d, a, false);
    if (processed || !s.transformed()) {
        fitToRgb(frame, d, a, m_picture.GetData());
        return m_picture;
    }
    m_map.render(frame, d, a, s.mirror, s.zoom, s.quarterTurns, m_picture.GetData());
    return m_picture;
}
