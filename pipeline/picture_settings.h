// Picture and recording values shared by every tab: the states set them, the screen reads
// them on each pass, and the tab switch refuses while a recording runs.
#pragma once

#include <memory>

namespace cv {
class VideoWriter;
}

extern bool g_Mirror;
extern int g_Rotation;       // quarter turns clockwise, 0..3
extern float g_ZoomFactor;   // fraction of width and height kept, 0.5..1.0
extern bool g_FullScreen;
// Non-null while a recording runs.
extern std::unique_ptr<cv::VideoWriter> g_VideoWriter;

inline bool recordingRuns() { return g_VideoWriter != nullptr; }
