#include "pipeline/capture_state.h"

bool g_Freeze = false;
bool g_SnapPending = false;
bool g_SnapInRecord = false;
int g_ButtonSource = 0;
platform::LocalTime g_CaptureTime;
uint32_t g_RecordStartTick = 0;
uint32_t g_FramesWritten = 0;
