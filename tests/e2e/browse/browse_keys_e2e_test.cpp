// orvex --simulate with a storage folder holding a photo and a video: keys 1 and 2 open
// them, Space saves the shown video frame as a new capture and does nothing on a photo,
// Escape goes back to the live view. Each key is pressed once; the keys are handled in the
// order they were sent, so a file that appears proves that every key before it arrived.
#include "support/gui_helpers.h"
#include "support/numbered_video.h"
#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_input.h"
#include "support/x_windows.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <memory>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::Program;
using e2e::waitFor;

class BrowseKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fs::exists(std::string(ORVEX_BINARY_DIR) + "/orvex"))
            GTEST_SKIP() << "the program is not built";
        if (!xinput::available())
            GTEST_SKIP() << "no X display";
        fs::create_directories(dcim);
        ASSERT_TRUE(cv::imwrite(photo, numbered::frame(7, cv::Size(640, 480))));
        ASSERT_TRUE(numbered::ffmpegVideo((dcim / "2026-03-07 09_00_01.avi").string(),
                                          cv::Size(320, 240), 45, 15,
                                          "-c:v mpeg4 -vtag DIVX -q:v 3 -f avi"));
    }

    // Starts the program and waits until its window is up, the keyboard goes to it and the
    // scope's pictures arrive.
    void start(bool windowManager)
    {
        m_program = std::make_unique<Program>(home.str(), "PATH " + dcim.string() + "\n");
        ASSERT_GT(m_program->pid(), 0);
        unsigned long window = 0;
        ASSERT_TRUE(
            waitFor([&] { return (window = xwindows::viewableWindowOf(m_program->pid())); }, 60000))
            << "no window";
        if (windowManager) {
            ASSERT_TRUE(waitFor([&] { return xwindows::hasFocus(window); }, 20000))
                << "the window manager did not focus the window";
        } else {
            // Without one the keyboard follows the pointer: over the window, no click.
            xwindows::Rect r;
            ASSERT_TRUE(xwindows::placeOf(window, r));
            ASSERT_TRUE(xinput::moveTo(r.x + r.width / 2, r.y + r.height / 2));
        }
        ASSERT_TRUE(
            waitFor([&] { return log().find("QueryFrame OK") != std::string::npos; }, 60000))
            << log();
    }

    std::string log() const { return readFile((data / "log.txt").string()); }
    size_t snaps() const { return filesWith(dcim, ".jpg").size(); }

    void keysOpenAndSave()
    {
        // The photo: Space saves nothing. The video, paused on its first frame: Space saves
        // exactly that frame.
        for (const char* k : {"1", "space", "2", "space"})
            ASSERT_TRUE(xinput::key(k)) << k;
        ASSERT_TRUE(waitFor([&] { return snaps() >= 2u; }, 20000)) << log();
        ASSERT_EQ(snaps(), 2u) << "Space on the photo saved something";
        std::string saved;
        for (const std::string& f : filesWith(dcim, ".jpg"))
            if (f != photo)
                saved = f;
        const cv::Mat frame = cv::imread(saved);
        EXPECT_EQ(frame.size(), cv::Size(320, 240));
        EXPECT_EQ(numbered::read(frame), 0);

        // Escape: the live view again, whose snapshot is the scope's picture.
        for (const char* k : {"Escape", "space"})
            ASSERT_TRUE(xinput::key(k)) << k;
        ASSERT_TRUE(waitFor([&] { return snaps() == 3u; }, 20000)) << log();
        bool live = false;
        for (const std::string& f : filesWith(dcim, ".jpg"))
            live = live || cv::imread(f).size() == cv::Size(1280, 960);
        EXPECT_TRUE(live);

        const int status = m_program->stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    TempDir home;
    const fs::path data = home.path() / "Orvex";
    const fs::path dcim = data / "DCIM";
    const std::string photo = (dcim / "2026-03-07 09_00_00.jpg").string();
    std::unique_ptr<Program> m_program;
};

} // namespace

TEST_F(BrowseKeys, OpenAndSaveByKeysOnABareServer)
{
    ASSERT_NO_FATAL_FAILURE(start(false));
    keysOpenAndSave();
}

TEST_F(BrowseKeys, OpenAndSaveByKeysUnderAWindowManager)
{
    xwindows::WindowManager wm;
    ASSERT_TRUE(wm.ready()) << wm.error();
    ASSERT_NO_FATAL_FAILURE(start(true));
    keysOpenAndSave();
}
