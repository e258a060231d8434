// A recording: the processed frames of the display passes written to a DIVX AVI at 15
// frames per second of wall-clock time.
#pragma once

#include "pipeline/capture_result.h"
#include "platform/clock.h"

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <functional>
#include <string>

constexpr double kRecordFps = 15.0;
// Most frames one pass adds to catch up: after a long stall the file catches up over the
// next passes instead of blocking one pass with seconds of encoding.
constexpr uint32_t kMaxCatchUp = 30;

// Frames to write at a pass elapsedMs into the recording with written frames in the file:
// one while the file holds fewer than (elapsed seconds + 1) x 15; more when the passes have
// fallen behind the 15-per-second timeline by more than one frame, never past that cap.
uint32_t framesDue(uint32_t written, uint32_t elapsedMs);
// Frames to add when the recording stops, so the file lasts as long as it ran.
uint32_t framesAtStop(uint32_t written, uint32_t elapsedMs);

// Opens a recording of frames of this size named after now (a free name of that second) and
// starts its timeline: kept, with its name and path. Not kept, with nothing open, the reason in
// the log and the notice's words in failure, when the file cannot be created or the writer does
// not open (a size without pixels gives no words). A recording still open is finished first;
// its result is lost, so a caller finishes and shows its own before.
CaptureResult startRecording(const cv::Size& size, const platform::LocalTime& now);

// The recording step of a display pass. False when the recording cannot go on (its file has
// gone, the disk is nearly full, the writer fails): the caller stops it.
bool writeRecordingFrame(const cv::Mat& frame);

// Closes the open recording so the file is complete and playable, and says what came of it:
// kept when the file is still there (path empty when its folder was renamed away from the
// storage folder), failure when it had stopped on its own. Nothing happens, and the result is
// empty, when none is open.
CaptureResult finishRecording();

// Path of the open recording (empty when none).
std::string recordingPath();

// Free bytes where the storage folder is; tests give a full disk.
using SpaceProbe = std::function<uint64_t(const std::string& folder)>;
void setSpaceProbe(SpaceProbe probe);
// A recording stops while this much is still free, so its index can still be written.
constexpr uint64_t kRecordingReserve = 32ull << 20;
