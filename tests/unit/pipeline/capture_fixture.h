// A storage folder of its own, a virtual clock on 7 March 2026 09:05:33 and the log in a
// temporary file, for the capture files of one test.
#pragma once

#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"
#include "platform/clock.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/viewer_globals.h"
#include "support/virtual_time.h"

#include "support/dates.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>
#include <memory>

class CaptureFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_StoragePath = wxString::FromUTF8(storage.str());
        g_InfoTime = 0;
        g_LastFileName.clear();
    }
    void TearDown() override
    {
        finishRecording();
        setSpaceProbe({});
    }

    // Starts a recording of frames of this size now; its name, or empty when it did not start.
    bool start(cv::Size size, std::string& name)
    {
        started = startRecording(size, clock->localTime());
        name = started.name;
        return started.kept;
    }
    void finish() { finished = finishRecording(); }

    std::string file(const std::string& name) const { return storage / name; }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
    static size_t entriesIn(const std::string& folder)
    {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
            ++n;
        return n;
    }

    // A frame that tells which pass made it: its brightness.
    static cv::Mat numbered(int n, cv::Size size = cv::Size(320, 240))
    {
        cv::Mat f(size, CV_8UC3, cv::Scalar(20 + (n * 7) % 200, 40, 200 - (n * 7) % 180));
        cv::circle(f, cv::Point(size.width / 2, size.height / 2), size.height / 4,
                   cv::Scalar(255, 255, 255), -1);
        return f;
    }

    CaptureResult started;  // of the last start()
    CaptureResult finished; // of the last finish()
    ViewerGlobals globals;
    TempDir storage;
    LogCapture log;
    VirtualTime time{march7()};
    platform::VirtualClock* const clock = time.clock;
};
