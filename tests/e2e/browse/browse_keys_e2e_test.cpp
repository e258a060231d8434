// orvex --simulate with a storage folder holding a photo and a video: keys 1 and 2 open
// them, Space saves the shown video frame as a new capture and does nothing on a photo,
// Escape goes back to the live view.
#include "support/gui_helpers.h"
#include "support/numbered_video.h"
#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_input.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::Program;
using e2e::waitFor;

TEST(BrowseKeys, KeysOpenPhotoAndVideoAndSpaceSavesTheVideoFrame)
{
    if (!fs::exists(std::string(ORVEX_BINARY_DIR) + "/orvex"))
        GTEST_SKIP() << "the program is not built";
    TempDir home;
    const fs::path data = home.path() / "Orvex";
    const fs::path dcim = data / "DCIM";
    fs::create_directories(dcim);
    const std::string photo = (dcim / "2026-03-07 09_00_00.jpg").string();
    ASSERT_TRUE(cv::imwrite(photo, numbered::frame(7, cv::Size(640, 480))));
    ASSERT_TRUE(numbered::ffmpegVideo((dcim / "2026-03-07 09_00_01.avi").string(),
                                      cv::Size(320, 240), 45, 15,
                                      "-c:v mpeg4 -vtag DIVX -q:v 3 -f avi"));
    Program orvex(home.str(), "PATH " + dcim.string() + "\n");
    ASSERT_TRUE(orvex.running());
    const std::string logPath = (data / "log.txt").string();
    ASSERT_TRUE(waitFor(
        [&] { return readFile(logPath).find("QueryFrame OK") != std::string::npos; }, 30000))
        << readFile(logPath);
    ::usleep(1000000);
    // With no window manager the keys go where the pointer is: over the picture.
    ASSERT_TRUE(xinput::moveTo(800, 450));
    ASSERT_TRUE(xinput::click());
    ::usleep(300000);
    auto snaps = [&] { return filesWith(dcim, ".jpg").size(); };

    // The photo: Space saves nothing.
    ASSERT_TRUE(xinput::key("1"));
    ::usleep(800000);
    ASSERT_TRUE(xinput::key("space"));
    ::usleep(1500000);
    EXPECT_EQ(snaps(), 1u);

    // The video, paused on its first frame: Space saves exactly that frame. Opening it again
    // shows the same first frame, so a key the X server dropped is simply pressed again.
    bool savedOne = false;
    for (int attempt = 0; attempt < 3 && !savedOne; ++attempt) {
        ASSERT_TRUE(xinput::key("2"));
        ::usleep(800000);
        ASSERT_TRUE(xinput::key("space"));
        savedOne = waitFor([&] { return snaps() == 2u; }, 8000);
    }
    ASSERT_TRUE(savedOne) << readFile(logPath);
    std::string saved;
    for (const std::string& f : filesWith(dcim, ".jpg"))
        if (f != photo)
            saved = f;
    const cv::Mat frame = cv::imread(saved);
    EXPECT_EQ(frame.size(), cv::Size(320, 240));
    EXPECT_EQ(numbered::read(frame), 0);

    // Escape: the live view again, whose snapshot is the scope's picture.
    ASSERT_TRUE(xinput::key("Escape"));
    ::usleep(800000);
    ASSERT_TRUE(xinput::key("space"));
    ASSERT_TRUE(waitFor([&] { return snaps() == 3u; }, 8000)) << readFile(logPath);
    bool live = false;
    for (const std::string& f : filesWith(dcim, ".jpg"))
        live = live || cv::imread(f).size() == cv::Size(1280, 960);
    EXPECT_TRUE(live);

    const int status = orvex.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
