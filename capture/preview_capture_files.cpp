// The preview's capture triggers: the snapshot button and key, and the recording switch. The
// files themselves are written by the display pass.
#include "app/capture_notice.h"
#include "app/notice.h"
#include "capture/orvex_preview_state.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"

void COrvexPreviewState::snapshotPress()
{
    // A second press while frozen is the release of a held snapshot.
    if (releaseStill())
        return;
    // The frame only tells that there is a picture at all.
    if (!grabFrame())
        return;
    releaseFrame();
    snapshotDue(recordingRuns());
    m_snapshotHeld = true;
    clearNotice();
    showSnapshotLook(true);
}

void COrvexPreviewState::snapshotRelease()
{
    m_snapshotHeld = false;
    showSnapshotLook(false);
}

void COrvexPreviewState::toggleRecord()
{
    if (recordingRuns()) {
        showCaptureResult(finishRecording());
        m_toolLook[0] = false;
        showRecordLook(false);
        return;
    }
    cv::Mat* frame = grabFrame();
    if (!frame || frame->empty()) {
        if (frame)
            releaseFrame();
        return;
    }
    const cv::Size size = fileFrameSize(*frame);
    releaseFrame();
    const platform::LocalTime now = platform::clock().localTime();
    m_recordStart = now;
    const CaptureResult started = startRecording(size, now);
    if (started.kept)
        clearNotice(); // the last notice goes as the recording starts
    else
        showCaptureResult(started);
    m_recordFile = wxString::FromUTF8(started.name);
    m_toolLook[0] = started.kept;
    showRecordLook(started.kept);
}
