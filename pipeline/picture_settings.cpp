#include "pipeline/picture_settings.h"

#include <opencv2/videoio.hpp>

bool g_Mirror = false;
int g_Rotation = 0;
float g_ZoomFactor = 1.0f;
bool g_FullScreen = false;
std::unique_ptr<cv::VideoWriter> g_VideoWriter;
