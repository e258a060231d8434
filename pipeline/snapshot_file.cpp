#include "pipeline/snapshot_file.h"

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "pipeline/capture_names.h"

#include <opencv2/imgcodecs.hpp>

#include <filesystem>

bool saveSnapshot(const cv::Mat& frame)
{
    ensureStorageFolder();
    const std::string name = freeCaptureName(platform::clock().localTime(), ".jpg");
    const wxString path = storageFile(wxString::FromUTF8(name));
    const std::string file = toUtf8(path);
    bool saved = false;
    try {
        saved = !frame.empty() && cv::imwrite(file, frame);
    } catch (const cv::Exception& e) {
        logLine("Screen saveSnapshot() %s\n", e.what());
    }
    if (saved) {
        if (g_BrowsePanel)
            g_BrowsePanel->addFile(path);
        g_LastFileName = wxString::FromUTF8(name);
        g_InfoTime = 3000;
    } else {
        // A half-written picture would show up in the browser as a broken capture.
        std::error_code ec;
        std::filesystem::remove(file, ec);
        logLine("Screen saveSnapshot() cannot write %s\n", file.c_str());
    }
    if (g_CurrentState)
        g_CurrentState->snapshotRelease();
    return saved;
}
