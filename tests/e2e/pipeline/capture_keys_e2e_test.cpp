// orvex --simulate as a user starts it: keys work from the moment its window shows, with no
// click first, on a bare X server and under a window manager. Space takes a stamped
// snapshot, Ctrl+R records the scope, F11 goes full screen and back; each key is pressed
// once. The program prints no toolkit warnings on the way.
#include "support/key_session.h"
#include "unit/pipeline/ffprobe.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <filesystem>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::KeySession;

// True while process pid has the file open for writing: the recorder holds its file so until
// it is done (the strip's thumbnail may go on reading it).
bool writing(pid_t pid, const std::string& file)
{
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(file, ec);
    const std::string proc = "/proc/" + std::to_string(pid);
    for (fs::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code lec;
        if (fs::read_symlink(it->path(), lec) != wanted)
            continue;
        std::ifstream info(proc + "/fdinfo/" + it->path().filename().string());
        for (std::string key; info >> key;) {
            if (key != "flags:")
                continue;
            std::string octal;
            info >> octal;
            if ((std::stoi(octal, nullptr, 8) & O_ACCMODE) != O_RDONLY)
                return true;
        }
    }
    return false;
}

class CaptureKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = KeySession::cannotRun(); !why.empty())
            GTEST_SKIP() << why;
    }

    size_t snaps() const { return filesWith(s.dcim, ".jpg").size(); }

    // A snapshot file appears under its name only once it is complete.
    void snapshotAndRecord()
    {
        s.press({"space"});
        ASSERT_TRUE(s.awaitEffect("snapshot", [&] { return snaps() > 0; }))
            << "Space took no snapshot\n"
            << s.printed() << s.log();
        const cv::Mat snap = cv::imread(filesWith(s.dcim, ".jpg").at(0));
        EXPECT_EQ(snap.size(), cv::Size(1280, 960)) << "the family scope's picture";
        // The stamp is red, in the bottom-left corner.
        cv::Mat red;
        cv::inRange(snap(cv::Rect(0, 880, 500, 80)), cv::Scalar(0, 0, 140),
                    cv::Scalar(100, 100, 255), red);
        EXPECT_GT(cv::countNonZero(red), 100);

        s.press({"ctrl+r"});
        ASSERT_TRUE(
            s.awaitEffect("recording", [&] { return !filesWith(s.dcim, ".avi").empty(); }))
            << "Ctrl+R started no recording\n"
            << s.log();
        const std::string avi = filesWith(s.dcim, ".avi").at(0);
        // A second of the scope's frames in the growing file.
        ASSERT_TRUE(s.awaitEffect("15 frames", [&] { return probeVideo(avi).frames >= 15; }))
            << "the recording gathered no frames\n"
            << s.log();
        s.press({"ctrl+r"});
        // Done when the recorder lets go of its file.
        ASSERT_TRUE(s.awaitEffect("recording closed", [&] { return !writing(s.pid(), avi); }))
            << "Ctrl+R did not stop the recording";
        const ProbedVideo v = probeVideo(avi);
        ASSERT_TRUE(v.ok) << "the recording does not play";
        EXPECT_EQ(v.codecTag, "DIVX");
        EXPECT_EQ(v.frameRate, "15/1");
        EXPECT_GE(v.frames, 15);
        // Its length is that of the frames it holds, at 15 a second.
        EXPECT_NEAR(v.duration, v.frames / 15.0, 1.5 / 15) << v.frames << " frames";
    }

    // F11 lays the window out anew (the picture fills it, then the skin returns); keys are
    // handled in order, so each Space comes after that relayout and must still arrive.
    void snapshotAfterFullScreen()
    {
        const size_t before = snaps();
        s.press({"F11", "space"});
        ASSERT_TRUE(s.awaitEffect("full-screen snapshot", [&] { return snaps() > before; }))
            << "Space in full screen took no snapshot";
        s.press({"F11", "space"});
        ASSERT_TRUE(s.awaitEffect("snapshot after full screen",
                                  [&] { return snaps() > before + 1; }))
            << "Space after leaving full screen took no snapshot";
    }

    void run(bool windowManager)
    {
        ASSERT_NO_FATAL_FAILURE(s.start(windowManager));
        ASSERT_NO_FATAL_FAILURE(snapshotAndRecord());
        ASSERT_NO_FATAL_FAILURE(snapshotAfterFullScreen());
        s.finish();
    }

    KeySession s{"TIMESTAMP 1\n"};
};

} // namespace

TEST_F(CaptureKeys, KeysWorkAtOnceOnABareServer)
{
    run(false);
}

TEST_F(CaptureKeys, KeysWorkAtOnceUnderAWindowManager)
{
    xwindows::WindowManager wm;
    ASSERT_TRUE(wm.ready()) << wm.error();
    run(true);
}
