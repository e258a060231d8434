// A snapshot: the processed frame of this pass saved as a JPEG in the storage folder.
#pragma once

#include "pipeline/capture_result.h"

#include <opencv2/core/mat.hpp>

// Saves frame under a free name of the current second: kept, with its name and path, when the
// file was written; otherwise the reason is in the log and the notice's words in failure.
CaptureResult saveSnapshot(const cv::Mat& frame);
