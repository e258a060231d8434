// A rig camera behind the capture interface; files are real files either way.
#include "platform/opencv_capture.h"
#include "platform/sim/sim_backends.h"

#include <scopesim/rig.h>

#include <cmath>

namespace platform
{

namespace
{

class SimCapture : public Capture
{
public:
    SimCapture(int id, uint32_t plugCount) : m_id(id), m_plugCount(plugCount) {}

    bool grab() override
    {
        m_grabbed = false;
        if (!alive())
            return false;
        // A fresh buffer per frame: a frame handed out earlier is never drawn over.
        cv::Mat fresh;
        m_grabbed = scopesim::grabFrame(m_id, fresh);
        m_frame = fresh;
        if (m_grabbed) {
            m_grabbedAt = scopesim::rigTime();
            ++m_frames;
        }
        return m_grabbed;
    }

    bool retrieve(cv::Mat& frame) override
    {
        if (!m_grabbed || m_frame.empty()) {
            frame.release();
            return false;
        }
        frame = m_frame;
        return true;
    }

    double get(int property) override
    {
        auto info = scopesim::videoInput(m_id);
        if (!info)
            return -1;
        switch (property) {
        case kPropFrameWidth:
            return info->width;
        case kPropFrameHeight:
            return info->height;
        case kPropFps:
            return info->fps;
        case kPropPosMsec:
            return m_grabbedAt;
        case kPropPosFrames:
            return m_frames;
        default:
            return -1; // a live camera has no frame count
        }
    }

    bool set(int property, double value) override
    {
        if (!alive())
            return false;
        // As with a V4L2 device, a new size applies once both width and height are given.
        if (property == kPropFrameWidth)
            m_wantWidth = static_cast<int>(std::lround(value));
        else if (property == kPropFrameHeight)
            m_wantHeight = static_cast<int>(std::lround(value));
        else
            return false;
        if (m_wantWidth > 0 && m_wantHeight > 0) {
            bool ok = scopesim::setFrameSize(m_id, m_wantWidth, m_wantHeight);
            m_wantWidth = m_wantHeight = 0;
            return ok;
        }
        return true;
    }

private:
    // A device that was unplugged stays dead for this capture, even once it is back.
    bool alive() const
    {
        auto info = scopesim::videoInput(m_id);
        return info && info->plugged && info->plugCount == m_plugCount;
    }

    int m_id;
    uint32_t m_plugCount;
    cv::Mat m_frame;
    bool m_grabbed = false;
    uint32_t m_grabbedAt = 0;
    double m_frames = 0;
    int m_wantWidth = 0, m_wantHeight = 0;
};

class SimCaptures : public CaptureFactory
{
public:
    std::unique_ptr<Capture> openCamera(int index) override
    {
        auto list = scopesim::videoInputs();
        if (index < 0 || index >= static_cast<int>(list.size()))
            return nullptr;
        const auto& info = list[static_cast<size_t>(index)];
        if (info.unopenable)
            return nullptr;
        return std::make_unique<SimCapture>(info.id, info.plugCount);
    }

    std::unique_ptr<Capture> openFile(const std::string& path) override
    {
        return openVideoFile(path);
    }
};

} // namespace

std::unique_ptr<CaptureFactory> makeSimCaptures()
{
    return std::make_unique<SimCaptures>();
}

} // namespace platform
