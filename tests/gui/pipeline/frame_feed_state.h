// A tab that hands the screen frames the test makes, records the way the live view does and
// notes what the pass asks of it.
#pragma once

#include "app/capture_notice.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"

#include <opencv2/core/mat.hpp>

#include <string>

class FrameFeedState : public COrvexState
{
public:
    FrameFeedState(wxWindow* parent, int id) : COrvexState(parent, id) {}

    cv::Mat* grabFrame() override
    {
        if (source.empty())
            return nullptr;
        source.copyTo(work);
        return &work;
    }
    void releaseFrame() override
    {
        work.release();
        ++releases;
    }
    void snapshotRelease() override { ++snapshotReleases; }
    void toggleRecord() override
    {
        ++toggles;
        if (recordingRuns()) {
            showCaptureResult(finishRecording());
        } else if (!source.empty()) {
            const CaptureResult started =
                startRecording(source.size(), platform::clock().localTime());
            if (started.kept)
                g_InfoTime = 0;
            else
                showCaptureResult(started);
            recordFile = started.name;
        }
    }

    cv::Mat source;
    cv::Mat work;
    std::string recordFile;
    int releases = 0;
    int snapshotReleases = 0;
    int toggles = 0;
};
