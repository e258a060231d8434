// orvex --simulate with six photos: one press of Delete asks once and deletes one file, the
// question answered with a real key on the real dialog; the deletion is logged once.
#include "support/key_session.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace
{

namespace fs = std::filesystem;
using e2e::filesWith;
using e2e::KeySession;
using e2e::waitFor;

class DeleteKey : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = KeySession::cannotRun(); !why.empty())
            GTEST_SKIP() << why;
        fs::create_directories(s.dcim);
        for (int k = 0; k < 6; ++k) {
            const fs::path p = s.dcim / ("2026-03-07 09_00_0" + std::to_string(k) + ".jpg");
            ASSERT_TRUE(cv::imwrite(p.string(), cv::Mat(120, 160, CV_8UC3, cv::Scalar(40 * k))));
            photos.push_back(p.string());
        }
    }

    unsigned long question() const { return xwindows::viewableWindowOf(s.pid(), "Question"); }

    // Keyboard input goes where the pointer is on a bare server; a window manager focuses.
    // The frame is pointed at its left edge, away from the question centred on the screen.
    void pointAt(unsigned long window, bool centre)
    {
        xwindows::Rect r;
        ASSERT_TRUE(xwindows::placeOf(window, r));
        ASSERT_TRUE(xinput::moveTo(r.x + (centre ? r.width / 2 : 20), r.y + r.height / 2));
    }

    void run(bool windowManager)
    {
        ASSERT_NO_FATAL_FAILURE(s.start(windowManager));
        const unsigned long frame = xwindows::viewableWindowOf(s.pid());
        s.press({"1", "Delete"});
        unsigned long ask = 0;
        ASSERT_TRUE(s.awaitEffect("question", [&] { return (ask = question()) != 0; })) << s.log();
        if (!windowManager) {
            ASSERT_NO_FATAL_FAILURE(pointAt(ask, true));
        }
        // No is the default: Yes is chosen by its mnemonic.
        s.press({"alt+y"});
        ASSERT_TRUE(s.awaitEffect("answered", [&] { return question() != ask; }));
        ASSERT_TRUE(waitFor([&] { return filesWith(s.dcim, ".jpg").size() == 5u; },
                            KeySession::kEffectBound));
        if (!windowManager) {
            ASSERT_NO_FATAL_FAILURE(pointAt(frame, false));
        }

        // Keys are handled in order: once the live snapshot that follows exists, a second
        // question for the same press would have been up before it (and, modal, would have
        // kept these keys from the frame).
        s.press({"Escape", "space"});
        ASSERT_TRUE(s.awaitEffect("snapshot or second question", [&] {
            return question() != 0 || filesWith(s.dcim, ".jpg").size() == 6u;
        }));
        EXPECT_EQ(question(), 0u) << "one press asked twice";
        std::vector<std::string> gone;
        const std::vector<std::string> left = filesWith(s.dcim, ".jpg");
        for (const std::string& p : photos)
            if (std::find(left.begin(), left.end(), p) == left.end())
                gone.push_back(p);
        ASSERT_EQ(gone.size(), 1u);

        const std::string log = s.log();
        const std::string line = "Browse deleteFile() " + gone[0] + " deleted\n";
        EXPECT_NE(log.find(line), std::string::npos) << log;
        EXPECT_EQ(log.find("deleteFile()"), log.rfind("deleteFile()")) << log;
        s.finish();
    }

    KeySession s;
    std::vector<std::string> photos;
};

} // namespace

TEST_F(DeleteKey, OnePressAsksOnceOnABareServer)
{
    run(false);
}

TEST_F(DeleteKey, OnePressAsksOnceUnderAWindowManager)
{
    xwindows::WindowManager wm;
    ASSERT_TRUE(wm.ready()) << wm.error();
    run(true);
}
