#include "support/frame_harness.h"

#include "app/skin_bitmap.h"

#include <wx/combobox.h>

namespace
{

std::string between(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t a = text.find(from);
    const size_t b = text.find(to, a);
    if (a == std::string::npos || b == std::string::npos)
        return {};
    return text.substr(a, b + to.size() - a);
}

bool testPictureOn()
{
    return scopesim::scopeState("USB Inspection Camera")->testPicture;
}

} // namespace

using DefaultRig = PreviewFixture;

TEST_F(DefaultRig, NoSearchBeforeTheFirstLayout)
{
    // The frame has not run a tick yet, so nothing was laid out by its timer either.
    EXPECT_FALSE(log.has("Preview onTimer() initState(1)"));
    EXPECT_EQ(preview->cameraKind(), KindNone);
}

TEST_F(DefaultRig, FindsTheScopeBehindTheLaptopWebcam)
{
    startUp();
    const std::string search = between(log.text(), "Preview refreshCamera() Count(0)",
                                       "Preview refreshCamera() K2200(1) QueryFrame OK!");
    ASSERT_FALSE(search.empty()) << log.text();
    const char* expected[] = {
        "Preview onTimer() initState(1)",
        "Preview refreshCamera() search camera",
        "Preview refreshCamera() DeviceCamCount(2)",
        "Preview refreshCamera() No=0, camera(TRUE)",
        "Preview refreshCamera() Camera(0) CamName(Integrated Camera)",
        "Preview refreshCamera() No=1, camera(TRUE)",
        "Preview refreshCamera() Camera(1) CamName(USB Inspection Camera)",
        "Preview refreshCamera() haveKelmo(TRUE), Count(2)",
        "Preview refreshCamera() camera(0) NoQueryFrame",
        "Preview refreshCamera() camera(1) Is K2200",
    };
    size_t at = 0;
    const std::string all = log.text();
    for (const char* line : expected) {
        size_t p = all.find(std::string(line) + "\n", at);
        ASSERT_NE(p, std::string::npos) << "missing or out of order: " << line << "\n" << all;
        at = p;
    }
    EXPECT_EQ(preview->cameraKind(), KindKelmo);
    EXPECT_EQ(preview->modelIndex(SlotKelmo), 1);
    ASSERT_NE(preview->capture(), nullptr);
    EXPECT_EQ(preview->capture(), preview->cameraAt(1));
    // The test picture was switched off again: the live picture shows.
    EXPECT_FALSE(testPictureOn());
    auto bus = scopesim::busLog();
    bool closing = false;
    for (const auto& a : bus)
        closing |= a.write && a.device == 0x7A && a.address == 0x8400 && a.value == 2;
    EXPECT_TRUE(closing);
    // The pass gets the camera's 640 x 480 frame; its files are 1280 x 960.
    cv::Mat* f = preview->grabFrame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size(), cv::Size(640, 480));
    EXPECT_EQ(preview->fileFrameSize(*f), cv::Size(1280, 960));
    preview->releaseFrame();
    // The device box shows its six controls for the scope.
    EXPECT_NE(preview->ioBox()->unit(), nullptr);
    for (int c = 0; c < COrvexIOControlBox::kControls; ++c)
        EXPECT_TRUE(
            preview->ioBox()->control(static_cast<COrvexIOControlBox::Control>(c))->IsShown())
            << c;
}

TEST_F(DefaultRig, ASearchTheUnitAnsweredTooLateForRunsAgainOnceItAnswers)
{
    startUp();
    // The unit stalls through the search's question: that search goes on without the scope.
    scopesim::stall("USB Inspection Camera", 3000);
    preview->refreshCamera();
    for (int i = 0; i < 3000 && preview->searching(); ++i)
        tick();
    EXPECT_TRUE(log.has("IOControlBox checkKelmo() the extension unit does not answer"));
    EXPECT_EQ(preview->capture(), nullptr);
    ASSERT_TRUE(preview->ioBox()->lookMissed());
    const size_t found = log.count("Preview refreshCamera() camera(1) Is K2200");
    tick(200); // past the stall
    finishSearch();
    EXPECT_EQ(log.count("Preview refreshCamera() camera(1) Is K2200"), found + 1) << log.text();
    EXPECT_EQ(preview->capture(), preview->cameraAt(1));
}

TEST_F(DefaultRig, FramesThatStopForASecondAreATubeFail)
{
    startUp();
    tick(10);
    ASSERT_NE(preview->capture(), nullptr);
    scopesim::setFrames("USB Inspection Camera", false);
    // The last frame stays on screen while the camera is silent for less than a second.
    tick(90);
    EXPECT_FALSE(log.has("Preview onTimer() Orvex(1), Tube Fail"));
    ASSERT_NE(preview->capture(), nullptr);
    EXPECT_NE(preview->grabFrame(), nullptr);
    preview->releaseFrame();
    tick(20);
    EXPECT_TRUE(log.has("Preview onTimer() Orvex(1), Tube Fail"));
    EXPECT_EQ(preview->capture(), nullptr);
    scopesim::setFrames("USB Inspection Camera", true);
    tick(12);
    EXPECT_TRUE(log.has("Preview onTimer() Orvex(1), QueryFrame OK!"));
    EXPECT_NE(preview->capture(), nullptr);
}

TEST_F(DefaultRig, AShortStopKeepsTheRecordingGoing)
{
    startUp();
    frame->dispatchKey(18, false); // Ctrl+R
    ASSERT_TRUE(recordingRuns());
    tick(50);
    scopesim::setFrames("USB Inspection Camera", false);
    tick(10); // 100 ms without frames
    scopesim::setFrames("USB Inspection Camera", true);
    tick(50);
    EXPECT_TRUE(recordingRuns());
    EXPECT_FALSE(log.has("Preview onTimer() Orvex(1), Tube Fail"));
    // The frame kept on screen during the stop was recorded too: the file's time holds.
    frame->dispatchKey(18, false);
    EXPECT_FALSE(recordingRuns());
    for (auto& e : std::filesystem::directory_iterator(home / "Orvex/DCIM"))
        if (e.path().extension() == ".avi") {
            cv::VideoCapture check(e.path().string(), cv::CAP_FFMPEG);
            ASSERT_TRUE(check.isOpened());
            // 1.1 s of passes every 60 ms.
            EXPECT_GE(check.get(cv::CAP_PROP_FRAME_COUNT), 17);
        }
}

TEST_F(DefaultRig, LedAndBoostKeysActOnTheScope)
{
    startUp();
    ASSERT_EQ(preview->cameraKind(), KindKelmo);
    const int before = scopesim::scopeState("USB Inspection Camera")->ledLevel;
    frame->dispatchKey(316, false); // Right
    frame->dispatchKey(316, false);
    EXPECT_EQ(scopesim::scopeState("USB Inspection Camera")->ledLevel, std::min(before + 2, 15));
    frame->dispatchKey(314, false); // Left
    EXPECT_EQ(scopesim::scopeState("USB Inspection Camera")->ledLevel,
              std::min(before + 2, 15) - 1);
    frame->dispatchKey(340, false); // F1
    EXPECT_TRUE(scopesim::scopeState("USB Inspection Camera")->boost);
    frame->dispatchKey(342, false); // F3
    EXPECT_TRUE(scopesim::scopeState("USB Inspection Camera")->ledSwitch);
    frame->dispatchKey(341, false); // F2 turns the picture
    tick();
    EXPECT_EQ(g_Rotation, 1);
}

TEST_F(DefaultRig, ScopeUnpluggedAndBackWhileTheLiveViewIsCurrent)
{
    startUp();
    ASSERT_TRUE(scopesim::plug("USB Inspection Camera", false));
    settleEvents();
    EXPECT_TRUE(log.has("Frame MSWWindowProc() DBT_DEVICEREMOVECOMPLETE isHandle(1) g_UsbState(2)"))
        << log.text();
    EXPECT_NE(log.text().find("Frame MSWWindowProc() dbcc_name("), std::string::npos);
    EXPECT_EQ(preview->ioBox()->unit(), nullptr);
    EXPECT_EQ(preview->capture(), nullptr);
    EXPECT_EQ(preview->cameraCount(), 1u);

    ASSERT_TRUE(scopesim::plug("USB Inspection Camera", true));
    settleEvents();
    EXPECT_TRUE(log.has("Frame MSWWindowProc() DBT_DEVICEARRIVAL isHandle(1) g_UsbState(2)"))
        << log.text();
    EXPECT_NE(preview->ioBox()->unit(), nullptr);
    EXPECT_EQ(preview->cameraKind(), KindKelmo);
    EXPECT_NE(preview->capture(), nullptr);
}

TEST_F(DefaultRig, AnotherCameraStillRefreshesTheSearch)
{
    startUp();
    const size_t searches = log.count("Preview refreshCamera() search camera");
    ASSERT_TRUE(scopesim::plug("Integrated Camera", false));
    settleEvents();
    EXPECT_TRUE(log.has("Frame MSWWindowProc() DBT_DEVICEREMOVECOMPLETE isHandle(0) g_UsbState(1)"))
        << log.text();
    EXPECT_EQ(log.count("Preview refreshCamera() search camera"), searches + 1);
    // The scope is now the only camera, at index 0.
    EXPECT_EQ(preview->modelIndex(SlotKelmo), 0);
    EXPECT_NE(preview->capture(), nullptr);
}

TEST_F(DefaultRig, ChangesOnAnotherTabAreReplayedOnReturn)
{
    startUp();
    // A capture to browse, so the browse tab can be entered.
    cv::Mat m(48, 64, CV_8UC3, cv::Scalar(1, 2, 3));
    ASSERT_TRUE(cv::imwrite(toUtf8(g_StoragePath) + "/2026-03-07 09_05_33.jpg", m));
    frame->browsePanel()->scanFolder(2);
    switchState(StateBrowse);
    ASSERT_EQ(g_CurrentState->id(), StateBrowse);
    EXPECT_EQ(g_UsbState, 0);

    const size_t searches = log.count("Preview refreshCamera() search camera");
    scopesim::plug("USB Inspection Camera", false);
    settleEvents();
    scopesim::plug("USB Inspection Camera", true);
    settleEvents();
    EXPECT_EQ(g_UsbState, 2);
    EXPECT_EQ(log.count("Preview refreshCamera() search camera"), searches)
        << "the browse tab ignores it";

    switchState(StatePreview);
    EXPECT_EQ(g_UsbState, 0);
    finishSearch();
    EXPECT_EQ(log.count("Preview refreshCamera() search camera"), searches + 1);
    EXPECT_NE(preview->ioBox()->unit(), nullptr);
    EXPECT_EQ(preview->cameraKind(), KindKelmo);
}

TEST_F(DefaultRig, StatusTextIsTheDateAndTime)
{
    rig->clock->setLocalTime({2026, 3, 7, 9, 5, 33});
    startUp();
    EXPECT_EQ(g_StatusText, "2026/03/07 09:05");
    EXPECT_EQ(g_StatusColour, wxColour(255, 255, 255));
}

TEST_F(DefaultRig, ZoomBarAndWheel)
{
    startUp();
    EXPECT_EQ(g_ZoomFactor, 1.0f);
    frame->wheel(120, 120); // one notch up
    EXPECT_FLOAT_EQ(g_ZoomFactor, 1.0f - 0.025f);
    for (int i = 0; i < 30; ++i)
        preview->wheelStep(-1);
    EXPECT_FLOAT_EQ(g_ZoomFactor, 0.5f) << "level 20 at most";
    preview->wheelStep(10);
    EXPECT_FLOAT_EQ(g_ZoomFactor, 0.75f);
}

TEST_F(DefaultRig, ToolsAndTheirPlaces)
{
    startUp();
    EXPECT_EQ(rectOf(preview->toolButton(0)), wxRect(140, 20, 108, 108));
    EXPECT_EQ(rectOf(preview->toolButton(2)), wxRect(140, 246, 108, 108));
    EXPECT_TRUE(preview->toolButton(0)->IsShown());
    EXPECT_FALSE(preview->toolButton(3)->IsShown()) << "no rotate button for the scope";
    EXPECT_EQ(rectOf(preview->zoomBar()), wxRect(270, 68, 14, 300));
    EXPECT_EQ(rectOf(preview->zoomLabel()), wxRect(252, 48, 32, 20));

    // Mirror by Enter: state, picture and look follow.
    const wxBitmap before = preview->toolButton(2)->shown();
    frame->dispatchKey(13, false);
    EXPECT_TRUE(g_Mirror);
    EXPECT_FALSE(sameBitmap(preview->toolButton(2)->shown(), before));
    frame->dispatchKey(13, false);
    EXPECT_FALSE(g_Mirror);
}

TEST_F(DefaultRig, ClosingDuringARecordingFinishesTheFile)
{
    startUp();
    frame->dispatchKey(18, false); // Ctrl+R
    ASSERT_TRUE(recordingRuns());
    tick(100);
    frame->Close(true);
    pumpUntil([] { return g_MainFrame == nullptr; });
    EXPECT_FALSE(recordingRuns());
    int avis = 0;
    for (auto& e : std::filesystem::directory_iterator(home / "Orvex/DCIM"))
        if (e.path().extension() == ".avi") {
            ++avis;
            cv::VideoCapture check(e.path().string(), cv::CAP_FFMPEG);
            EXPECT_TRUE(check.isOpened());
            EXPECT_GT(check.get(cv::CAP_PROP_FRAME_COUNT), 5);
        }
    EXPECT_EQ(avis, 1);
}

// Any window size the user drags to, in each tab, lays out without toolkit complaints (the
// tests run with warnings fatal) and the picture tab comes back as it was.
TEST_F(DefaultRig, TinyWindowsInEveryTab)
{
    startUp();
    // A capture to browse, so the browse tab can be entered.
    cv::Mat m(48, 64, CV_8UC3, cv::Scalar(1, 2, 3));
    ASSERT_TRUE(cv::imwrite(toUtf8(g_StoragePath) + "/2026-03-07 09_05_33.jpg", m));
    frame->browsePanel()->scanFolder(2);
    auto resize = [&](int w, int h) {
        frame->SetClientSize(w, h);
        pumpUntil([&] { return frame->GetClientSize() == wxSize(w, h); });
        pumpEvents(20);
        tick(3);
        pumpEvents(20);
        EXPECT_EQ(frame->canvas().GetSize(), wxSize(w, h));
    };
    for (StateId tab : {StatePreview, StateBrowse, StateSetup}) {
        resize(1152, 684);
        // A tab change waits until the picture has settled.
        for (int i = 0; i < 100 && g_SettleTime > 0; ++i)
            tick();
        switchState(tab);
        pumpEvents(20);
        ASSERT_EQ(g_CurrentState->id(), tab);
        for (const wxSize s : {wxSize(400, 260), wxSize(160, 100), wxSize(60, 40), wxSize(12, 8),
                               wxSize(1, 1), wxSize(1000, 30), wxSize(30, 900)})
            resize(s.x, s.y);
    }
    resize(1152, 684);
    for (int i = 0; i < 100 && g_SettleTime > 0; ++i)
        tick();
    switchState(StatePreview);
    pumpEvents(20);
    ASSERT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_EQ(rectOf(preview->zoomBar()), wxRect(270, 68, 14, 300));
}
