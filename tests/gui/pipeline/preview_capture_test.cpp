#include "pipeline/display_picture.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/time_stamp.h"
#include "support/frame_harness.h"
#include "unit/pipeline/ffprobe.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>

namespace
{

const char* const kCamera = "Q720 60HD";

platform::LocalTime at(int hour, int minute, int second)
{
    platform::LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 7;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

class CaptureOnRig : public PreviewFixture
{
protected:
    virtual int fps() const { return 30; }
    std::string scenario() const override
    {
        return "camera \"" + std::string(kCamera) + "\" size 1280x720 fps " +
               std::to_string(fps()) + " scene pipe\n";
    }
    void SetUp() override
    {
        PreviewFixture::SetUp();
        startUp();
        ASSERT_NE(preview->capture(), nullptr) << log.text();
        screen = dynamic_cast<COrvexScreen*>(frame->screen());
        ASSERT_NE(screen, nullptr);
    }

    std::string storage() const { return toUtf8(g_StoragePath); }
    std::vector<std::string> files(const std::string& ext) const
    {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(storage()))
            if (e.path().extension() == ext)
                out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    void mouse(wxWindow* w, wxEventType type)
    {
        wxMouseEvent e(type);
        e.SetEventObject(w);
        e.SetId(w->GetId());
        w->GetEventHandler()->ProcessEvent(e);
    }
    // Frame timer ticks of stepMs each (10 ms is the real timer's).
    void run(int ms, int stepMs = 10)
    {
        for (int t = 0; t < ms; t += stepMs) {
            rig->clock->advance(static_cast<uint32_t>(stepMs));
            frame->frameTick();
        }
    }
    // A recording of ms, started and stopped with Ctrl+R.
    std::string recordFor(int ms, int stepMs = 10)
    {
        preview->keyCtrlR();
        EXPECT_TRUE(recordingRuns());
        run(ms, stepMs);
        preview->keyCtrlR();
        EXPECT_FALSE(recordingRuns());
        const std::vector<std::string> avi = files(".avi");
        return avi.empty() ? std::string() : avi.back();
    }

    COrvexScreen* screen = nullptr;
};

class SlowCamera : public CaptureOnRig
{
    int fps() const override { return 5; }
};

class NoCameraAtAll : public PreviewFixture
{
    std::string scenario() const override { return "usb vid 1D6B pid 0002 class 09/00/01\n"; }
};

// How red each pixel of the bottom-left corner is (red over the larger of green and blue).
cv::Mat redness(const cv::Mat& bgr)
{
    cv::Mat corner = bgr(cv::Rect(0, bgr.rows - 80, 420, 80)), out(80, 420, CV_32F);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 420; ++x) {
            const cv::Vec3b p = corner.at<cv::Vec3b>(y, x);
            out.at<float>(y, x) = std::max(0.0f, static_cast<float>(p[2]) - std::max(p[0], p[1]));
        }
    return out;
}

// Normalised correlation of two redness maps: 1 for the same strokes.
double likeness(const cv::Mat& a, const cv::Mat& b)
{
    return a.dot(b) / std::sqrt(a.dot(a) * b.dot(b) + 1e-9);
}

} // namespace

TEST_F(CaptureOnRig, HoldingTheSnapshotButtonFreezesAndSavesAfterTheRelease)
{
    g_TimeStamp = 1;
    rig->clock->setLocalTime(at(9, 5, 59));
    SkinBitmap* snap = preview->toolButton(0);
    mouse(snap, wxEVT_LEFT_DOWN);
    EXPECT_TRUE(g_Freeze);
    EXPECT_TRUE(g_SnapPending);
    EXPECT_EQ(g_SettleTime, 500);
    EXPECT_TRUE(preview->toolButton(0)->shown().IsOk());
    run(600);
    const wxImage early = screen->lastPicture().Copy();
    run(1400); // two seconds held
    EXPECT_TRUE(files(".jpg").empty()) << "nothing is saved while the button is held";
    const wxImage late = screen->lastPicture();
    EXPECT_TRUE(std::equal(early.GetData(),
                           early.GetData() + early.GetWidth() * early.GetHeight() * 3,
                           late.GetData()))
        << "the picture stands still";

    mouse(snap, wxEVT_LEFT_UP);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    run(100);
    const std::vector<std::string> jpg = files(".jpg");
    ASSERT_EQ(jpg.size(), 1u);
    EXPECT_EQ(jpg[0], "2026-03-07 09_06_01.jpg") << "named when it was saved";
    EXPECT_FALSE(g_SnapPending);
    EXPECT_EQ(g_LastFileName, wxString(jpg[0]));

    // Stamped with the time of the press, not of the save.
    const cv::Mat saved = cv::imread(storage() + "/" + jpg[0]);
    ASSERT_EQ(saved.size(), cv::Size(1280, 720));
    cv::Mat pressText = cv::Mat::zeros(saved.size(), CV_8UC3), saveText = pressText.clone();
    drawTimeStamp(pressText, "2026/03/07 09:05:59");
    drawTimeStamp(saveText, "2026/03/07 09:06:01");
    // Only the minutes and seconds differ: compare there.
    int baseline = 0;
    const int from =
        16 + cv::getTextSize("2026/03/07 09:", cv::FONT_HERSHEY_SIMPLEX, 1.0, 1, &baseline).width;
    const cv::Rect digits(from, 0, 420 - from, 80);
    const cv::Mat got = redness(saved)(digits).clone();
    const double press = likeness(got, redness(pressText)(digits).clone());
    const double save = likeness(got, redness(saveText)(digits).clone());
    EXPECT_GT(press, 0.4);
    EXPECT_GT(press, save + 0.1) << press << " " << save;
}

TEST_F(CaptureOnRig, TwoSnapshotsInOneSecondGiveTwoFiles)
{
    rig->clock->setLocalTime(at(9, 5, 33));
    preview->keySpace();
    run(560);
    preview->keySpace();
    run(400);
    EXPECT_EQ(files(".jpg"),
              (std::vector<std::string>{"2026-03-07 09_05_33.jpg", "2026-03-07 09_05_33_2.jpg"}));
}

TEST_F(CaptureOnRig, ASnapshotDuringARecordingNeitherFreezesNorSettles)
{
    preview->keyCtrlR();
    ASSERT_TRUE(recordingRuns());
    run(500);
    preview->keySpace();
    EXPECT_TRUE(g_SnapInRecord);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_SettleTime, 0);
    const uint32_t before = g_FramesWritten;
    run(100);
    EXPECT_EQ(files(".jpg").size(), 1u);
    EXPECT_GT(g_FramesWritten, before) << "the recording goes on";
    EXPECT_TRUE(recordingRuns());
    preview->keyCtrlR();
}

TEST_F(CaptureOnRig, AThirtyFpsCameraFillsTheFileAtFifteen)
{
    rig->clock->setLocalTime(at(9, 5, 33));
    const std::string name = recordFor(4000);
    EXPECT_EQ(name, "2026-03-07 09_05_33.avi");
    EXPECT_FALSE(preview->recording());
    const ProbedVideo v = probeVideo(storage() + "/" + name);
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.codecTag, "DIVX");
    EXPECT_EQ(v.frameRate, "15/1");
    EXPECT_NEAR(v.frames, 60, 1);
    EXPECT_NEAR(v.duration, 4.0, 0.07);
    EXPECT_EQ(g_LastFileName, wxString(name));
}

TEST_F(CaptureOnRig, ASecondRecordingInTheSameSecondStarts)
{
    rig->clock->setLocalTime(at(9, 5, 33));
    recordFor(200);
    recordFor(200);
    EXPECT_EQ(files(".avi"),
              (std::vector<std::string>{"2026-03-07 09_05_33.avi", "2026-03-07 09_05_33_2.avi"}));
}

TEST_F(SlowCamera, FourSecondsOfASlowCameraPlayFourSeconds)
{
    // Five passes a second, as a 5 fps camera or a busy machine gives them.
    const std::string name = recordFor(4000, 200);
    const ProbedVideo v = probeVideo(storage() + "/" + name);
    ASSERT_TRUE(v.ok);
    EXPECT_NEAR(v.frames, 60, 1);
    EXPECT_NEAR(v.duration, 4.0, 1.0 / 15 + 0.001);
}

TEST_F(CaptureOnRig, PullingTheCameraClosesTheFileAndReleasesTheButton)
{
    const wxBitmap idleLook = preview->toolButton(1)->shown();
    preview->keyCtrlR();
    ASSERT_TRUE(preview->recording());
    EXPECT_FALSE(sameBitmap(preview->toolButton(1)->shown(), idleLook));
    run(1000);
    scopesim::plug(kCamera, false);
    settleEvents();
    run(100);
    EXPECT_FALSE(recordingRuns());
    EXPECT_FALSE(preview->recording());
    EXPECT_TRUE(sameBitmap(preview->toolButton(1)->shown(), idleLook));
    const std::vector<std::string> avi = files(".avi");
    ASSERT_EQ(avi.size(), 1u);
    const ProbedVideo v = probeVideo(storage() + "/" + avi[0]);
    EXPECT_TRUE(v.ok);
    EXPECT_GE(v.frames, 14);
}

TEST_F(NoCameraAtAll, RecordWithoutACameraDoesNothing)
{
    startUp();
    const wxBitmap idleLook = preview->toolButton(1)->shown();
    preview->keyCtrlR();
    preview->keySpace();
    tick(50);
    EXPECT_FALSE(recordingRuns());
    EXPECT_FALSE(preview->recording());
    EXPECT_FALSE(g_SnapPending);
    EXPECT_TRUE(sameBitmap(preview->toolButton(1)->shown(), idleLook));
    EXPECT_TRUE(std::filesystem::is_empty(toUtf8(g_StoragePath)));
}

namespace
{
// The default rig: the family scope, whose own buttons the device box polls.
class ScopeButtons : public PreviewFixture
{
};
} // namespace

TEST_F(ScopeButtons, TheCamerasButtonsSnapAndRecord)
{
    startUp();
    ASSERT_EQ(preview->cameraKind(), KindKelmo) << log.text();
    const std::string scope = "USB Inspection Camera";
    const std::string storage = toUtf8(g_StoragePath);
    auto count = [&](const char* ext) {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(storage))
            n += e.path().extension() == ext;
        return n;
    };
    // Held for a second: frozen while held, saved after the release.
    scopesim::pressButton(scope, scopesim::Button::Snapshot, 1000);
    tick(50);
    EXPECT_TRUE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 2);
    EXPECT_EQ(count(".jpg"), 0u);
    tick(150);
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_ButtonSource, 0);
    EXPECT_EQ(count(".jpg"), 1u);

    scopesim::pressButton(scope, scopesim::Button::Record, 200);
    tick(100);
    EXPECT_TRUE(recordingRuns());
    EXPECT_TRUE(preview->recording());
    tick(200);
    scopesim::pressButton(scope, scopesim::Button::Record, 200);
    tick(100);
    EXPECT_FALSE(recordingRuns());
    EXPECT_EQ(count(".avi"), 1u);
}

// The family camera gives 640 x 480 and its files are 1280 x 960. A pass that only paints
// fits the camera's own frame (not a rescale of an enlarged copy); the enlarged frame is
// made for the snapshot and the recording alone.
TEST_F(ScopeButtons, TheFamilyCameraPaintsItsOwnPixelsAndFilesGetTwiceItsSize)
{
    startUp();
    ASSERT_EQ(preview->cameraKind(), KindKelmo) << log.text();
    auto* screen = dynamic_cast<COrvexScreen*>(frame->screen());
    ASSERT_NE(screen, nullptr);
    tick(10);
    cv::Mat* f = preview->grabFrame();
    ASSERT_NE(f, nullptr);
    const cv::Mat camera = f->clone();
    preview->releaseFrame();
    ASSERT_EQ(camera.size(), cv::Size(640, 480));
    // No time passes: the pass paints the same frame.
    const uint64_t painted = g_FramesPainted;
    screen->drawFrame();
    EXPECT_EQ(g_FramesPainted, painted + 1);
    const wxImage& picture = screen->lastPicture();
    ASSERT_TRUE(picture.IsOk());
    const size_t bytes = static_cast<size_t>(picture.GetWidth()) * picture.GetHeight() * 3;
    std::vector<unsigned char> want(bytes);
    fitToRgb(camera, picture.GetWidth(), picture.GetHeight(), want.data());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), picture.GetData()))
        << "painted from the camera's frame at " << picture.GetWidth() << "x"
        << picture.GetHeight();

    const std::string storage = toUtf8(g_StoragePath);
    auto newest = [&](const char* ext) {
        std::string found;
        for (const auto& e : std::filesystem::directory_iterator(storage))
            if (e.path().extension() == ext)
                found = e.path().string();
        return found;
    };
    preview->keySpace();
    tick(60);
    const std::string jpg = newest(".jpg");
    ASSERT_FALSE(jpg.empty());
    const cv::Mat saved = cv::imread(jpg);
    EXPECT_EQ(saved.size(), cv::Size(1280, 960));
    // The saved picture is the camera's, enlarged: halved again it is close to it.
    cv::Mat halved;
    cv::resize(saved, halved, camera.size(), 0, 0, cv::INTER_AREA);
    EXPECT_LT(cv::norm(halved, camera, cv::NORM_L1) / static_cast<double>(camera.total() * 3), 6.0);

    preview->keyCtrlR();
    ASSERT_TRUE(recordingRuns());
    tick(30);
    preview->keyCtrlR();
    ASSERT_FALSE(recordingRuns());
    cv::VideoCapture video(newest(".avi"));
    ASSERT_TRUE(video.isOpened());
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_WIDTH), 1280);
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_HEIGHT), 960);
}
