#include "browse/video_source.h"

#include "browse/video_budget.h"

#include <opencv2/videoio.hpp>

VideoSource::VideoSource() = default;
VideoSource::~VideoSource() = default;

bool VideoSource::open(const std::string& path)
{
    close();
    if (!videoWithinBudget(path))
        return false;
    auto cap = std::make_unique<cv::VideoCapture>();
    try {
        if (!cap->open(path, cv::CAP_FFMPEG) || !cap->isOpened())
            return false;
        m_count = cap->get(cv::CAP_PROP_FRAME_COUNT);
        m_rate = cap->get(cv::CAP_PROP_FPS);
    } catch (const cv::Exception&) {
        return false;
    }
    m_capture = std::move(cap);
    m_path = path;
    return true;
}

void VideoSource::close()
{
    m_capture.reset();
    m_path.clear();
    m_count = m_rate = 0;
    m_clockMs = -1;
    m_decodes = 0;
}

bool VideoSource::read(cv::Mat& out)
{
    if (!m_capture)
        return false;
    try {
        if (!m_capture->grab())
            return false;
        ++m_decodes;
        // A buffer someone else still holds is not written into.
        if (m_spare.u && m_spare.u->refcount > 1)
            m_spare.release();
        // The reader copies the decoded picture into a spare buffer that then changes
        // places with out: one copy, and a failed read leaves out as it was.
        if (!m_capture->retrieve(m_spare) || m_spare.empty() || m_spare.type() != CV_8UC3)
            return false;
        cv::swap(out, m_spare);
        m_clockMs = m_capture->get(cv::CAP_PROP_POS_MSEC);
    } catch (const cv::Exception&) {
        return false;
    }
    return true;
}

bool VideoSource::seek(int frame)
{
    if (!m_capture)
        return false;
    frame = frame < 0 ? 0 : frame;
    // The reader seeks only in a stream whose length it knows; elsewhere (a bare stream
    // without an index) it would silently stay where it is, so the file is read anew.
    if (!(m_count > 1))
        return restartAt(frame);
    try {
        return m_capture->set(cv::CAP_PROP_POS_FRAMES, frame);
    } catch (const cv::Exception&) {
        return false;
    }
}

bool VideoSource::restartAt(int frame)
{
    // The file is opened anew: it may have been replaced since.
    if (!videoWithinBudget(m_path))
        return false;
    auto cap = std::make_unique<cv::VideoCapture>();
    try {
        if (!cap->open(m_path, cv::CAP_FFMPEG) || !cap->isOpened())
            return false;
        for (int i = 0; i < frame; ++i)
            if (!cap->grab())
                return false;
    } catch (const cv::Exception&) {
        return false;
    }
    m_capture = std::move(cap);
    return true;
}
