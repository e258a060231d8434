// The hand-over between the capture triggers (buttons, keys, the camera's own buttons) and
// the display pass that writes the snapshot and recording files.
#pragma once

#include "platform/clock.h"

#include <cstdint>

extern bool g_Freeze;                     // the picture stands still (a held snapshot)
extern bool g_SnapPending;                // a snapshot is saved at the next pass after the release
extern bool g_SnapInRecord;               // a snapshot of the next recorded frame
extern int g_ButtonSource;                // 0 none, 1 on-screen button, 2 the camera's button
extern platform::LocalTime g_CaptureTime; // what the stamp prints
extern uint32_t g_RecordStartTick;        // ms tick count at the start of the recording
extern uint32_t g_FramesWritten;          // frames in the recording so far
