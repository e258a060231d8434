// A snapshot: the processed frame of this pass saved as a JPEG in the storage folder.
#pragma once

#include <opencv2/core/mat.hpp>

// Saves frame under a free name of the current second, hands the file to the browse strip
// and shows its name; a failed save shows why, in red. Either way the current state's snapshot
// button is released. True when the file was written.
bool saveSnapshot(const cv::Mat& frame);
