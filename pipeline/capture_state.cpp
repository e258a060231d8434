#include "pipeline/capture_state.h"

bool g_Freeze = false;
bool g_SnapPending = false;
bool g_SnapInRecord = false;
ButtonSource g_ButtonSource = kNoButton;
int g_SettleTime = 0;
platform::LocalTime g_CaptureTime;
uint32_t g_RecordStartTick = 0;
uint32_t g_FramesWritten = 0;

bool pressSnapshot(ButtonSource by, bool recording)
{
    switch (by) {
    case kScreenButton:
        if (g_ButtonSource == kCameraButton)
            return false;
        break;
    case kCameraButton:
        if (g_Freeze || recording)
            return false;
        break;
    case kNoButton:
        return false;
    }
    g_ButtonSource = by;
    return true;
}

void releaseSnapshot(ButtonSource by)
{
    if (by == kScreenButton) {
        if (g_ButtonSource == kScreenButton) {
            g_Freeze = false;
            g_ButtonSource = kNoButton;
        }
    } else if (by == kCameraButton) {
        g_ButtonSource = kNoButton;
    }
}

void tapSnapshot(const std::function<void()>& press)
{
    g_ButtonSource = kScreenButton;
    if (press)
        press();
    g_Freeze = false;
    g_ButtonSource = kNoButton;
}

void cameraButtonLost()
{
    if (g_ButtonSource == kCameraButton)
        g_Freeze = false;
    g_ButtonSource = kNoButton;
}

bool recordTriggerFree()
{
    return g_ButtonSource == kNoButton;
}

bool releaseStill()
{
    if (!g_Freeze)
        return false;
    g_Freeze = false;
    return true;
}

void snapshotDue(bool keepsMoving)
{
    if (keepsMoving) {
        g_SnapInRecord = true;
        return;
    }
    g_SnapPending = true;
    g_SettleTime = kSnapshotSettle;
    g_Freeze = true;
    g_CaptureTime = platform::clock().localTime();
}

void dropFrameSnapshot()
{
    g_SnapInRecord = false;
}

void stillSnapshotTaken()
{
    g_SnapPending = false;
}

void frameSnapshotTaken()
{
    g_SnapInRecord = false;
}

void settleTick()
{
    if (g_SettleTime > 0)
        g_SettleTime -= kSettleTick;
}
