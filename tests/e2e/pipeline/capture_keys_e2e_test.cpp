// orvex --simulate as a user starts it: Space takes a stamped snapshot, Ctrl+R records four
// seconds of the scope, the files land in the storage folder and play as they should.
#include "support/gui_helpers.h"
#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_input.h"
#include "unit/pipeline/ffprobe.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::Program;
using e2e::waitFor;

} // namespace

TEST(CaptureKeys, SpaceSnapsAndCtrlRRecordsIntoTheStorageFolder)
{
    if (!fs::exists(std::string(ORVEX_BINARY_DIR) + "/orvex"))
        GTEST_SKIP() << "the program is not built";
    TempDir home;
    const fs::path data = home.path() / "Orvex";
    const fs::path dcim = data / "DCIM";
    Program orvex(home.str(), "PATH " + dcim.string() + "\nTIMESTAMP 1\n");
    ASSERT_TRUE(orvex.running());
    const std::string logPath = (data / "log.txt").string();
    ASSERT_TRUE(waitFor(
        [&] { return readFile(logPath).find("QueryFrame OK") != std::string::npos; }, 30000))
        << readFile(logPath);
    ::usleep(1500000); // the first pictures are on screen
    // With no window manager the keys go where the pointer is: over the picture, centred.
    ASSERT_TRUE(xinput::moveTo(800, 500));
    ASSERT_TRUE(xinput::click());
    ::usleep(300000);

    // Synthetic input from another client now and then gets lost on its way through the X
    // server; a key that shows no effect is pressed again (a user would do the same).
    auto pressUntil = [&](const char* key, const std::function<bool()>& effect) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!xinput::key(key))
                return false;
            if (waitFor(effect, 4000))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(pressUntil("space", [&] { return !filesWith(dcim, ".jpg").empty(); }))
        << readFile(logPath);
    const cv::Mat snap = cv::imread(filesWith(dcim, ".jpg").at(0));
    EXPECT_EQ(snap.size(), cv::Size(1280, 960)) << "the family scope's picture";
    // The stamp is red, in the bottom-left corner.
    cv::Mat red;
    cv::inRange(snap(cv::Rect(0, 880, 500, 80)), cv::Scalar(0, 0, 140), cv::Scalar(100, 100, 255),
                red);
    EXPECT_GT(cv::countNonZero(red), 100);

    ::usleep(1000000);
    ASSERT_TRUE(pressUntil("ctrl+r", [&] { return !filesWith(dcim, ".avi").empty(); }));
    ::usleep(4000000);
    ASSERT_TRUE(xinput::key("ctrl+r"));
    const std::string avi = filesWith(dcim, ".avi").at(0);
    ProbedVideo v;
    // The file is finished (its length known) only once the second Ctrl+R has been handled,
    // which a busy machine may take a while to do.
    ASSERT_TRUE(waitFor([&] { return (v = probeVideo(avi)).ok && v.duration > 0; }, 15000));
    EXPECT_EQ(v.codecTag, "DIVX");
    EXPECT_EQ(v.frameRate, "15/1");
    // Four seconds of wall clock, whatever the machine managed to draw (keys take their time).
    EXPECT_NEAR(v.duration, 4.0, 0.6);

    const int status = orvex.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
