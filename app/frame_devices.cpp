// The frame's side of hot-plugging: a video device that came or went is noted for the live
// view and handed to the current tab.
#include "app/data_files.h"
#include "app/hot_plug.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"

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
