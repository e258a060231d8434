#include "capture/live_camera.h"

#include "platform/clock.h"
#include "platform/log_line.h"
#include "platform/services.h"

void LiveCamera::forgetCaptures()
{
    m_frameSource = nullptr; // a capture made later may get the same address
    m_reopen.reset();
}

void LiveCamera::dropCamera(int index)
{
    m_choice.capture = nullptr;
    forgetCaptures();
    if (index >= 0 && static_cast<size_t>(index) < m_choice.captures.size())
        m_choice.captures[static_cast<size_t>(index)].reset();
}

bool LiveCamera::tubeWatch(bool present)
{
    bool searchAgain = false;
    const int k = m_choice.modelIndex[SlotKelmo];
    if (k >= 0) {
        if (m_reopen)
            finishReopen(k);
        if (!m_tubeIn && present) {
            logLine("Preview onTimer() Orvex(%d), Tube Input (%d, %d)\n", k, 0, 1);
            m_reopen = platform::captures().openCamera(k);
            m_reopenAt = platform::clock().tickCount();
            if (!m_reopen)
                logLine("Preview onTimer() Orvex(%d), No Camera\n", k);
        } else if (m_tubeIn && !present) {
            logLine("Preview onTimer() Orvex(%d), Tube Output (%d, %d)\n", k, 1, 0);
            dropCamera(k);
        } else if (m_tubeIn && present && frameLost()) {
            logLine("Preview onTimer() Orvex(%d), Tube Fail\n", k);
            dropCamera(k);
            present = false;
        }
    } else if (!m_tubeIn && present) {
        logLine("Preview onTimer() NoOrvex, Tube Input (%d, %d)\n", 0, 1);
        searchAgain = true;
    }
    m_tubeIn = present;
    return searchAgain;
}

void LiveCamera::finishReopen(int k)
{
    // The re-opened camera gets its 100 ms to settle and a short while for a first frame,
    // counted on the timer's ticks so the window goes on painting meanwhile.
    const uint32_t waited = platform::clock().tickCount() - m_reopenAt;
    if (waited < kReopenSettleMs)
        return;
    platform::Capture* cap = m_reopen.get();
    cv::Mat f;
    cap->grab();
    const bool ok = cap->retrieve(f) && !f.empty();
    if (ok) {
        logLine("Preview onTimer() Orvex(%d), QueryFrame OK!\n", k);
        if (static_cast<size_t>(k) >= m_choice.captures.size())
            m_choice.captures.resize(static_cast<size_t>(k) + 1);
        m_choice.captures[static_cast<size_t>(k)] = std::move(m_reopen);
        m_choice.capture = m_choice.captures[static_cast<size_t>(k)].get();
    } else if (waited >= kReopenSettleMs + kReopenFirstFrameMs) {
        logLine("Preview onTimer() Orvex(%d), NoQueryFrame\n", k);
        m_reopen.reset();
    }
}

cv::Mat* LiveCamera::takeFrame(bool forFile, bool frozen)
{
    if (!m_choice.capture)
        return nullptr;
    const uint32_t now = platform::clock().tickCount();
    if (m_choice.capture != m_frameSource) {
        // A frame of the camera shown before is no frame of this one; the frame the
        // search or the tube watch took from the new one is.
        m_frameSource = m_choice.capture;
        m_frame.release();
        m_choice.capture->retrieve(m_frame);
        m_lastNewFrame = now;
        m_frameTakenAt = static_cast<uint32_t>(m_choice.capture->get(platform::kPropPosMsec));
    }
    if (!frozen) {
        // One grab: the capture hands over its newest frame. Without a new one the last
        // frame stays, so a short hiccup neither ends a recording nor fails the tube; only
        // a camera silent for a whole second counts as giving nothing.
        cv::Mat fresh;
        if (m_choice.capture->grab() && m_choice.capture->retrieve(fresh) && !fresh.empty()) {
            m_frame = fresh;
            m_lastNewFrame = now;
            m_frameTakenAt = static_cast<uint32_t>(m_choice.capture->get(platform::kPropPosMsec));
        } else if (now - m_lastNewFrame >= kNoFrameMs) {
            m_frame.release();
        }
    }
    if (m_frame.empty())
        return nullptr;
    // The camera's own frame is lent to a pass that only reads it, and to one whose file
    // gets another size (the pass scales it into a buffer of its own); a pass that writes a
    // file from the frame as it is gets a copy, as the frame stays for the next pass.
    if (forFile && fileFrameSize(m_frame) == m_frame.size())
        m_frame.copyTo(m_work);
    else
        m_work = m_frame;
    return &m_work;
}

cv::Size LiveCamera::fileFrameSize(const cv::Mat& frame) const
{
    // The family camera's files are 1280 x 960, twice its picture.
    return m_choice.kind == KindKelmo ? cv::Size(1280, 960) : frame.size();
}

bool LiveCamera::frameLost() const
{
    // A capture not grabbed from yet, or silent for less than a second, has not failed.
    return m_choice.capture && m_choice.capture == m_frameSource && m_frame.empty() &&
           platform::clock().tickCount() - m_lastNewFrame >= kNoFrameMs;
}
