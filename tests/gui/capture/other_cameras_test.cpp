#include "support/frame_harness.h"

namespace
{

class Desk : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720 scene gradient
camera "Q3400 39HD Camera" size 800x800,640x480,400x400 scene pipe
scope "USB Inspection Camera" tube in
)";
    }
};

class Chooser : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "N9 HD Scope" size 1920x1080,1280x720
camera "RF550 HD" size 640x480
camera "Q720 60HD" size 1280x720,640x480
camera "Q3400 39" size 400x400,640x480
)";
    }
};

class K1100 : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720
em28xx "Pellar Q720 60HD USB 2861 Video" size 720x576
registry "Pellar Q720 60HD USB 2861 Video"
)";
    }
};

class NoCamera : public PreviewFixture
{
    std::string scenario() const override { return "usb vid 1D6B pid 0002 class 09/00/01\n"; }
};

class Unopenable : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720
camera "Q3400 39HD Camera" size 800x800 unopenable
)";
    }
};

class UnknownOnly : public PreviewFixture
{
    std::string scenario() const override { return "camera \"Integrated Camera\" size 1280x720\n"; }
};

} // namespace

TEST_F(Desk, OnlyTheNamedCameraIsOpenedAtItsSize)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() Q3400 39HD(1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Index(1) QueryFrame OK!"));
    EXPECT_EQ(preview->cameraKind(), KindGeneric);
    EXPECT_EQ(preview->capture(), preview->cameraAt(1));
    cv::Mat* f = preview->grabFrame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cols, 800);
    EXPECT_EQ(f->rows, 800);
    preview->releaseFrame();
    EXPECT_FALSE(log.has("Preview refreshCamera() haveKelmo(TRUE), Count(3)")) << "no family test";
}

TEST_F(Chooser, SizeSlotsByPriority)
{
    startUp();
    // Hd1080 beats Hd720 beats Square400 beats Vga480.
    EXPECT_TRUE(log.has("Preview refreshCamera() N9 HD(0)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() RF550 HD(1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Q720 60HD(2)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Q3400 39(3)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Index(0) QueryFrame OK!"));
    cv::Mat* f = preview->grabFrame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cols, 1920);
    EXPECT_EQ(f->rows, 1080);
    preview->releaseFrame();
}

TEST_F(K1100, PellarNameWinsAndTheBridgeIsSetUp)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() K1100(1)"));
    EXPECT_FALSE(log.has("Preview refreshCamera() Q720 60HD(1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() K1100(1) QueryFrame OK!"));
    EXPECT_EQ(preview->cameraKind(), KindK1100);
    EXPECT_TRUE(preview->toolButton(3)->IsShown()) << "the rotate button belongs to this camera";
    ASSERT_NE(preview->bridge(), nullptr);
    const std::string name = "Pellar Q720 60HD USB 2861 Video";
    EXPECT_EQ(scopesim::em28xxIndirect(name, 14), 0x005F);
    EXPECT_EQ(scopesim::em28xxIndirect(name, 26), 0x0000);
    EXPECT_EQ(scopesim::em28xxIndirect(name, 28), 0x0F0F);

    // F2 turns the picture and the rotate button shows it.
    const wxBitmap idle = preview->toolButton(3)->shown();
    frame->dispatchKey(341, false);
    EXPECT_EQ(g_Rotation, 1);
    EXPECT_FALSE(sameBitmap(preview->toolButton(3)->shown(), idle));
}

TEST_F(K1100, CameraSnapshotButtonIsPolledAndConsumed)
{
    startUp();
    ASSERT_EQ(preview->cameraKind(), KindK1100);
    const std::string name = "Pellar Q720 60HD USB 2861 Video";
    scopesim::pressButton(name, scopesim::Button::Snapshot);
    tick(3);
    EXPECT_FALSE(*scopesim::em28xxRegister(name, 0x0C) & 0x20) << "the latch was read and cleared";
    EXPECT_TRUE(g_SnapPending) << "a snapshot was taken";
}

TEST_F(NoCamera, NoDevicesEndTheSearchAtOnce)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() DeviceCamCount(0)"));
    EXPECT_EQ(preview->cameraKind(), KindNone);
    EXPECT_EQ(preview->grabFrame(), nullptr);
    tick(20); // the pipeline finds nothing to draw and nothing breaks
}

TEST_F(Unopenable, ARefusedCameraIsFoundByNameAndGivesNoPicture)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() DeviceCamCount(2)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() No=1, camera(FALSE)"));
    EXPECT_TRUE(log.has(
        "Preview refreshCamera() Camera(1) Permission denied: the user is not in the video group"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Q3400 39HD(1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() Index(1) QueryFrame Fail!"));
    EXPECT_EQ(preview->capture(), nullptr);
    EXPECT_EQ(preview->grabFrame(), nullptr);
    tick(20);
}

TEST_F(UnknownOnly, AnUnknownWebcamIsNeverOpened)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() haveKelmo(FALSE), Count(1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() M1900(-1)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() ICATCH(-1) NoQueryFrame"));
    EXPECT_EQ(preview->cameraKind(), KindGeneric);
    EXPECT_EQ(preview->capture(), nullptr);
    // No scope, no device controls.
    for (int c = 0; c < COrvexIOControlBox::kControls; ++c)
        EXPECT_FALSE(
            preview->ioBox()->control(static_cast<COrvexIOControlBox::Control>(c))->IsShown())
            << c;
}

namespace
{

class ScopeThird : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720 scene gradient
camera "Document Camera" size 640x480 scene pipe
scope "USB Inspection Camera" tube in
)";
    }
};

// The closing write that takes the scope's test picture off again.
bool pictureModeRestored()
{
    for (const auto& a : scopesim::busLog())
        if (a.write && a.device == 0x7A && a.address == 0x8400 && a.value == 2)
            return true;
    return false;
}

} // namespace

TEST_F(ScopeThird, ColourBarsPickTheScopeAmongThree)
{
    startUp();
    // A 640 x 480 camera that is not the scope fails the bar test.
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(0) NoQueryFrame"));
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(1) Not Kelmo"));
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(2) Is K2200"));
    EXPECT_TRUE(log.has("Preview refreshCamera() K2200(2) QueryFrame OK!"));
    EXPECT_EQ(preview->capture(), preview->cameraAt(2));
    EXPECT_TRUE(pictureModeRestored());
    EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
}

TEST_F(ScopeThird, NoBarsStillEndsTheTestPicture)
{
    // The tube answers but the camera sends nothing: kind Kelmo without a capture.
    scopesim::setFrames("USB Inspection Camera", false);
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() haveKelmo(TRUE), Count(3)"));
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(2) NoQueryFrame"));
    EXPECT_EQ(preview->cameraKind(), KindKelmo);
    EXPECT_EQ(preview->capture(), nullptr);
    EXPECT_EQ(preview->modelIndex(SlotKelmo), -1);
    EXPECT_TRUE(pictureModeRestored());
    EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
}

namespace
{

// A scope in poor light: 2 frames a second, so the frame in hand when the colour bars are
// switched on was mostly taken before them.
class SlowScope : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720
scope "USB Inspection Camera" fps 2
)";
    }
};

} // namespace

TEST_F(SlowScope, TheBarTestWaitsForAFrameTakenAfterTheBarsWentOn)
{
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(1) Is K2200")) << log.text();
    // Each search starts with the live picture in hand, at another point of the frame period;
    // every one must find the scope.
    for (int search = 0; search < 5; ++search) {
        rig->clock->advance(130);
        const size_t found = log.count("Preview refreshCamera() camera(1) Is K2200");
        searchAgain();
        EXPECT_EQ(log.count("Preview refreshCamera() camera(1) Is K2200"), found + 1)
            << "search " << search << "\n"
            << log.text();
        EXPECT_EQ(preview->capture(), preview->cameraAt(1));
    }
    EXPECT_FALSE(log.has("Preview refreshCamera() camera(1) Not Kelmo"));
    EXPECT_FALSE(scopesim::scopeState("USB Inspection Camera")->testPicture);
}

TEST_F(K1100, CameraRecordButtonStartsAndStopsARecording)
{
    startUp();
    ASSERT_EQ(preview->cameraKind(), KindK1100);
    const std::string name = "Pellar Q720 60HD USB 2861 Video";
    // Held for 35 ms: exactly one of the polls, every third 10 ms tick, sees it.
    scopesim::pressButton(name, scopesim::Button::Record, 35);
    tick(4);
    EXPECT_TRUE(recordingRuns());
    EXPECT_TRUE(preview->recording());
    tick(9);
    EXPECT_TRUE(recordingRuns()) << "a released button changes nothing";
    scopesim::pressButton(name, scopesim::Button::Record, 35);
    tick(4);
    EXPECT_FALSE(recordingRuns());
}

TEST_F(K1100, ASearchLeftForAnotherTabEndsBehindIt)
{
    tick(4);
    ASSERT_TRUE(preview->searching());
    switchState(StateSetup);
    ASSERT_EQ(g_CurrentState->id(), StateSetup) << "the tab changes at once";
    finishSearch();
    EXPECT_EQ(preview->cameraKind(), KindK1100);
    EXPECT_NE(preview->capture(), nullptr);
    EXPECT_FALSE(preview->toolButton(3)->IsShown()) << "the rotate button is the live tab's";
    switchState(StatePreview);
    EXPECT_TRUE(preview->toolButton(3)->IsShown());
}
