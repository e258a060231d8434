// The camera the live-view tab shows: its frames lent to the screen's passes, and for the
// family camera the tube watch that drops it when the tube goes and opens it again when the
// tube is back. No window: the tab hands in what the scope's unit answered.
#pragma once

#include "capture/camera_search.h"

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <memory>

class LiveCamera
{
public:
    // A camera that has sent no new frame for this long gives nothing.
    static constexpr uint32_t kNoFrameMs = 1000;
    // A camera re-opened on tube input: its settling pause, then how long its first frame
    // may take.
    static constexpr uint32_t kReopenSettleMs = 100;
    static constexpr uint32_t kReopenFirstFrameMs = 300;

    // What the search chose and this camera shows.
    CameraChoice& choice() { return m_choice; }
    const CameraChoice& choice() const { return m_choice; }

    // The frame for one screen pass; null when there is none. frozen: the last frame stays.
    // forFile: the pass writes a file from it, so it gets a copy unless the file has another
    // size (the pass then scales it into a buffer of its own). Valid until releaseFrame().
    cv::Mat* takeFrame(bool forFile, bool frozen);
    void releaseFrame() { m_work.release(); }
    // The camera's clock tick for the frame last taken.
    uint32_t frameTakenAt() const { return m_frameTakenAt; }
    // The size of the files made from a frame: the family camera's are twice its picture.
    cv::Size fileFrameSize(const cv::Mat& frame) const;

    // The captures are about to go (a search starts): nothing of theirs is kept.
    void forgetCaptures();
    // The camera at device index goes (its tube was pulled, or its device).
    void dropCamera(int index);
    // One look of the family camera's tube watch; present: the tube answered. True when the
    // search must run again (a tube came in and no family camera is known).
    bool tubeWatch(bool present);

private:
    bool frameLost() const;
    void finishReopen(int index);

    CameraChoice m_choice;
    cv::Mat m_frame;
    platform::Capture* m_frameSource = nullptr; // the capture m_frame and its age belong to
    uint32_t m_lastNewFrame = 0;                // clock tick of its last new frame
    uint32_t m_frameTakenAt = 0;                // the camera's clock tick for m_frame
    cv::Mat m_work;
    std::unique_ptr<platform::Capture> m_reopen; // opened on tube input, not yet confirmed
    uint32_t m_reopenAt = 0;
    bool m_tubeIn = true;
};
