// The camera search on the simulated rig without a window: the camera it chooses, what it
// tells the tab's list, and the scope's picture it leaves behind.
#include "capture/camera_search.h"

#include "support/log_capture.h"
#include "support/rig_session.h"

#include <scopesim/rig.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A search whose scope answers as told and whose hooks write down what they were asked.
struct SearchOnRig {
    explicit SearchOnRig(const std::string& scenario, bool barsAnswer = false)
        : rig(scenario), bars(barsAnswer)
    {
    }

    CameraSearch::Hooks hooks()
    {
        CameraSearch::Hooks h;
        h.barsOn = [this] {
            calls.push_back("bars on");
            return bars;
        };
        h.livePicture = [this] { calls.push_back("live picture"); };
        h.showsBars = [this](const uint8_t*) { return bars; };
        h.listCleared = [this] { calls.push_back("cleared"); };
        h.cameraAdded = [this](int i) { calls.push_back("added " + std::to_string(i)); };
        return h;
    }

    // Runs the steps on virtual time until they end or `until` holds; false when they did not
    // end in a minute of it.
    bool step(const std::function<bool()>& until = [] { return false; })
    {
        for (int i = 0; i < 6000 && task.running() && !until(); ++i) {
            rig.time.advance(10);
            task.resume();
        }
        return !task.running();
    }

    RigSession rig;
    LogCapture log;
    bool bars;
    std::vector<std::string> calls;
    CameraChoice choice;
    CameraSearch search{choice, hooks()};
    SteppedTask task = search.run();
};

using Calls = std::vector<std::string>;

} // namespace

TEST(CameraSearch, ANamedModelIsOpenedAndEveryOtherCameraReleased)
{
    SearchOnRig s(R"(camera "Integrated Camera" size 1280x720
camera "Q3400 39HD Camera" size 800x800
)");
    ASSERT_TRUE(s.step()) << s.log.text();
    EXPECT_EQ(s.calls, (Calls{"cleared", "added 0", "added 1"})); // a named model needs no bars
    EXPECT_EQ(s.choice.modelIndex[SlotSquare800], 1);
    EXPECT_EQ(s.choice.kind, KindGeneric);
    ASSERT_EQ(s.choice.captures.size(), 2u);
    EXPECT_EQ(s.choice.capture, s.choice.at(1));
    EXPECT_NE(s.choice.capture, nullptr);
    EXPECT_EQ(s.choice.at(0), nullptr); // its bus is free for other programs
    EXPECT_FALSE(s.choice.rotateShown);
    EXPECT_TRUE(s.log.has("Preview refreshCamera() Index(1) QueryFrame OK!"));
}

TEST(CameraSearch, TheFamilyCameraIsFoundByItsBarsAndTheLivePictureIsPutBack)
{
    SearchOnRig found("scope \"USB Inspection Camera\" tube in\n", true);
    ASSERT_TRUE(found.step()) << found.log.text();
    EXPECT_EQ(found.calls, (Calls{"cleared", "added 0", "bars on", "live picture"}));
    EXPECT_EQ(found.choice.kind, KindKelmo);
    EXPECT_EQ(found.choice.modelIndex[SlotKelmo], 0);
    EXPECT_EQ(found.choice.capture, found.choice.at(0));
    EXPECT_TRUE(found.log.has("Preview refreshCamera() K2200(0) QueryFrame OK!"));

    // Abandoned while the bars are on (started over, or the window closed): the live picture
    // comes back once, when the steps are destroyed.
    SearchOnRig abandoned("scope \"USB Inspection Camera\" tube in\n", true);
    abandoned.step([&] { return !abandoned.calls.empty() && abandoned.calls.back() == "bars on"; });
    ASSERT_TRUE(abandoned.task.running());
    abandoned.task.reset();
    EXPECT_EQ(abandoned.calls, (Calls{"cleared", "added 0", "bars on", "live picture"}));
}

TEST(CameraSearch, AQueryGivesOnlyAFrameTakenAfterIt)
{
    RigSession rig("scope \"USB Inspection Camera\" tube in\n");
    std::unique_ptr<platform::Capture> scope = platform::captures().openCamera(0);
    ASSERT_NE(scope, nullptr);
    cv::Mat f;
    auto query = [&] {
        SteppedTask t = CameraSearch::newestFrame(scope.get(), f);
        for (int i = 0; i < 200 && t.running(); ++i) {
            rig.time.advance(10);
            t.resume();
        }
        return !f.empty();
    };
    EXPECT_TRUE(query());
    // A camera that takes no more frames (a reader that fell behind on a busy machine) does not
    // give its last one again: that may show the picture from before a register write.
    scopesim::setFrames("USB Inspection Camera", false);
    EXPECT_FALSE(query());
    scopesim::setFrames("USB Inspection Camera", true);
    EXPECT_TRUE(query());
}
