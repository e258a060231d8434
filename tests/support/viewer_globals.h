// Every process-wide value of the viewer, noted when a test starts and put back when it ends,
// so that no test starts from what the one before it left. A whole-frame fixture holds one as
// its first member: members go in reverse, so the values come back after the frame has closed.
#pragma once

#include "app/data_files.h"
#include "app/hot_plug.h"
#include "app/notice.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "pipeline/capture_state.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/picture_settings.h"

#include <opencv2/videoio.hpp>

#include <array>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <type_traits>

// The list: each g_ value the program declares, but the owned ones (the log file, the
// recorder's writer) and the log's line buffer, which ViewerGlobals handles by hand.
inline auto viewerValues()
{
    return std::tie(g_ProgramDir, g_Title, g_AppName, g_DataDir, g_StoragePath, g_ConfigPath,
                    g_TimeStamp, g_UsbState, g_NoticeColour, g_MainFrame, g_SettleTime, g_InfoTime,
                    g_LastFileName, g_StatusText, g_StatusColour, g_TabHost, g_CurrentState,
                    g_States, g_Screen, g_BrowsePanel, g_Mirror, g_Rotation, g_ZoomFactor,
                    g_FullScreen, g_Freeze, g_SnapPending, g_SnapInRecord, g_ButtonSource,
                    g_CaptureTime, g_RecordStartTick, g_FramesWritten, g_LastDrawSize,
                    g_FramesPainted, g_FrameAgeMsTotal);
}

class ViewerGlobals
{
public:
    ViewerGlobals() : m_values(viewerValues()), m_logFile(g_LogFile)
    {
        std::memcpy(m_logLine.data(), g_LogLine, sizeof g_LogLine);
    }
    ~ViewerGlobals()
    {
        // What the test left open is closed: the saved ones are pointers, not copies.
        g_VideoWriter.reset();
        if (g_LogFile && g_LogFile != m_logFile)
            std::fclose(g_LogFile);
        g_LogFile = m_logFile;
        std::memcpy(g_LogLine, m_logLine.data(), sizeof g_LogLine);
        viewerValues() = m_values;
    }
    ViewerGlobals(const ViewerGlobals&) = delete;
    ViewerGlobals& operator=(const ViewerGlobals&) = delete;

private:
    template <class... T> static std::tuple<std::remove_volatile_t<T>...> copies(std::tuple<T&...>);

    decltype(copies(viewerValues())) m_values;
    FILE* m_logFile;
    std::array<char, sizeof g_LogLine> m_logLine{};
};
