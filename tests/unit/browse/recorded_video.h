// Numbered test videos made the way users' files are made: by the program's own recorder
// (through its 15-per-second timeline on the virtual clock) and by ffmpeg.
#pragma once

#include "pipeline/capture_state.h"
#include "pipeline/recording.h"
#include "platform/clock.h"
#include "support/numbered_video.h"

#include <string>

// Records frames 0 .. count-1, each exactly once, into the storage folder; the file's path,
// or empty when the recorder refused or wrote a frame twice.
inline std::string recordNumbered(platform::VirtualClock& clock, cv::Size size, int count)
{
    if (!startRecording(size, clock.localTime()).kept)
        return {};
    const std::string path = recordingPath();
    for (int n = 0; n < count; ++n) {
        if (n > 0)
            clock.advance(n % 3 == 0 ? 66 : 67); // 15 frames a second
        const uint32_t before = g_FramesWritten;
        if (!writeRecordingFrame(numbered::frame(n, size)) || g_FramesWritten != before + 1) {
            finishRecording();
            return {};
        }
    }
    finishRecording();
    return path;
}
