#include "app/hot_plug.h"

#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"

int g_UsbState = 0;

bool isHandle(const std::string& name)
{
    auto has = [&](const char* s) { return name.find(s) != std::string::npos; };
    return (has("Vid_05e3") && has("Pid_0510")) || (has("VID_05E3") && has("PID_0510")) ||
           (has("COACH") && has("CAP"));
}

void COrvexFrame::onDeviceChange(const std::string& name, bool arrived)
{
    logLine("Frame MSWWindowProc() dbcc_name(%s)\n", name.c_str());
    const bool own = isHandle(name);
    g_UsbState |= own ? kUsbOwnBridge : kUsbOtherDevice;
    if (arrived) {
        logLine("Frame MSWWindowProc() DBT_DEVICEARRIVAL isHandle(%d) g_UsbState(%d)\n",
                own ? 1 : 0, g_UsbState);
        if (g_CurrentState)
            g_CurrentState->deviceArrived(own);
    } else {
        logLine("Frame MSWWindowProc() DBT_DEVICEREMOVECOMPLETE isHandle(%d) g_UsbState(%d)\n",
                own ? 1 : 0, g_UsbState);
        if (g_CurrentState)
            g_CurrentState->deviceRemoved(own);
    }
}
