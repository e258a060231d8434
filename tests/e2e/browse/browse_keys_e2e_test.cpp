// orvex --simulate with a storage folder holding a photo and a video: keys 1 and 2 open
// them, Space saves the shown video frame as a new capture and does nothing on a photo,
// Escape goes back to the live view. Each key is pressed once; the keys are handled in the
// order they were sent, so a file that appears proves that every key before it arrived.
#include "support/key_session.h"
#include "support/numbered_video.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::KeySession;

class BrowseKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = KeySession::cannotRun(); !why.empty())
            GTEST_SKIP() << why;
        fs::create_directories(s.dcim);
        ASSERT_TRUE(cv::imwrite(photo, numbered::frame(7, cv::Size(640, 480))));
        ASSERT_TRUE(numbered::ffmpegVideo((s.dcim / "2026-03-07 09_00_01.avi").string(),
                                          cv::Size(320, 240), 45, 15,
                                          "-c:v mpeg4 -vtag DIVX -q:v 3 -f avi"));
    }

    size_t snaps() const { return filesWith(s.dcim, ".jpg").size(); }

    void keysOpenAndSave()
    {
        // The photo: Space saves nothing. The video, paused on its first frame: Space saves
        // exactly that frame.
        s.press({"1", "space", "2", "space"});
        ASSERT_TRUE(s.awaitEffect("video frame saved", [&] { return snaps() >= 2u; })) << s.log();
        ASSERT_EQ(snaps(), 2u) << "Space on the photo saved something";
        std::string saved;
        for (const std::string& f : filesWith(s.dcim, ".jpg"))
            if (f != photo)
                saved = f;
        const cv::Mat frame = cv::imread(saved);
        EXPECT_EQ(frame.size(), cv::Size(320, 240));
        EXPECT_EQ(numbered::read(frame), 0);

        // Escape: the live view again, whose snapshot is the scope's picture.
        s.press({"Escape", "space"});
        ASSERT_TRUE(s.awaitEffect("live snapshot", [&] { return snaps() == 3u; })) << s.log();
        bool live = false;
        for (const std::string& f : filesWith(s.dcim, ".jpg"))
            live = live || cv::imread(f).size() == cv::Size(1280, 960);
        EXPECT_TRUE(live);
        s.finish();
    }

    void run(bool windowManager)
    {
        ASSERT_NO_FATAL_FAILURE(s.start(windowManager));
        keysOpenAndSave();
    }

    KeySession s;
    const std::string photo = (s.dcim / "2026-03-07 09_00_00.jpg").string();
};

} // namespace

TEST_F(BrowseKeys, OpenAndSaveByKeysOnABareServer)
{
    run(false);
}

TEST_F(BrowseKeys, OpenAndSaveByKeysUnderAWindowManager)
{
    xwindows::WindowManager wm;
    ASSERT_TRUE(wm.ready()) << wm.error();
    run(true);
}
