#include "app/data_files.h"
#include "app/label_drawing.h"
#include "app/orvex_frame.h"
#include "frame_feed_state.h"
#include "pipeline/capture_state.h"
#include "pipeline/display_picture.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/picture_transforms.h"
#include "pipeline/time_stamp.h"
#include "support/gui_helpers.h"
#include "support/temp_dir.h"
#include "support/viewer_globals.h"
#include "support/virtual_time.h"
#include "unit/pipeline/ffprobe.h"

#include "support/dates.h"

#include <gtest/gtest.h>

#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>

namespace
{

cv::Mat scene(int w, int h, int seed = 0)
{
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>((x + seed) * 255 / w % 256),
                                              static_cast<uchar>(40 + y * 200 / h), 90);
    cv::circle(m, cv::Point(w / 3, h / 2), h / 5, cv::Scalar(20, 240, 30), -1, cv::LINE_AA);
    return m;
}

cv::Mat pictureMat(const wxImage& img)
{
    return cv::Mat(img.GetHeight(), img.GetWidth(), CV_8UC3, img.GetData()).clone();
}

// Red stamp pixels in an RGB picture.
int redPixels(const cv::Mat& rgb)
{
    int n = 0;
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) {
            const cv::Vec3b p = rgb.at<cv::Vec3b>(y, x);
            n += p[0] > 120 && p[1] < 60 && p[2] < 60;
        }
    return n;
}

double meanDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3;
}

class ScreenPass : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_StoragePath = wxString::FromUTF8(storage.str());
        g_ProgramDir = ORVEX_BINARY_DIR;
        top = new wxFrame(nullptr, wxID_ANY, "screen", wxDefaultPosition, wxSize(1700, 1100));
        // The screen sits on a panel: a frame would stretch a lone child over itself.
        panel = new wxPanel(top);
        top->Show();
        useScreen(1000, 700);
        useState(StatePreview);
        pumpEvents(30);
    }
    void TearDown() override
    {
        finishRecording();
        g_CurrentState = nullptr;
        top->Destroy();
        pumpEvents(20);
    }

    void useScreen(int w, int h)
    {
        if (screen)
            screen->Destroy();
        screen = new COrvexScreen(panel, wxSize(w, h), wxPoint(0, 0));
        screen->SetSize(0, 0, w, h);
        pumpUntil([&] { return screen->GetClientSize() == wxSize(w, h); }, 500);
    }
    void useState(int id)
    {
        if (state)
            state->Destroy();
        state = new FrameFeedState(panel, id);
        g_CurrentState = state;
    }
    // One pass, 60 ms after the last.
    void pass()
    {
        clock->advance(60);
        screen->drawFrame();
    }
    std::vector<std::string> files() const
    {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(storage.path()))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    ViewerGlobals globals;
    TempDir storage;
    VirtualTime time{march7()};
    platform::VirtualClock* const clock = time.clock;
    wxFrame* top = nullptr;
    wxPanel* panel = nullptr;
    COrvexScreen* screen = nullptr;
    FrameFeedState* state = nullptr;
};

} // namespace

TEST_F(ScreenPass, FramesAreFittedAndCentredAsTheToolkitWouldPaintThem)
{
    struct Case {
        int w, h, W, H;
        wxRect want;
    };
    for (const Case& c : {Case{1280, 720, 1000, 700, {0, 69, 1000, 562}},
                          Case{1280, 720, 1400, 600, {167, 0, 1066, 600}},
                          Case{800, 800, 1000, 700, {150, 0, 700, 700}}}) {
        useScreen(c.W, c.H);
        state->source = scene(c.w, c.h);
        pass();
        const wxImage& p = screen->lastPicture();
        EXPECT_EQ(wxRect(screen->lastOffset(), wxSize(p.GetWidth(), p.GetHeight())), c.want)
            << c.w << "x" << c.h;
        EXPECT_EQ(g_LastDrawSize, c.want.GetSize());
        cv::Mat rgb;
        cv::cvtColor(state->source, rgb, cv::COLOR_BGR2RGB);
        wxImage want =
            wxImage(rgb.cols, rgb.rows, rgb.data, true).Scale(c.want.width, c.want.height);
        EXPECT_TRUE(std::equal(p.GetData(), p.GetData() + c.want.width * c.want.height * 3,
                               want.GetData()));
    }
    EXPECT_EQ(state->releases, 3) << "every frame is handed back";
}

// What the window shows at the picture's place, read back from the X server.
static cv::Mat onWindow(COrvexScreen* screen)
{
    const wxImage& p = screen->lastPicture();
    const wxPoint at = screen->lastOffset();
    wxBitmap back(p.GetWidth(), p.GetHeight(), 24);
    {
        wxClientDC from(screen);
        wxMemoryDC to(back);
        to.Blit(0, 0, p.GetWidth(), p.GetHeight(), &from, at.x, at.y);
    }
    wxImage img = back.ConvertToImage();
    return pictureMat(img).clone();
}

TEST_F(ScreenPass, EveryPassOfTheSameSizeShowsItsOwnFrame)
{
    useScreen(640, 480);
    pumpEvents(20);
    const cv::Mat a = scene(1280, 960);
    cv::Mat b; // the same scene mirrored: every pixel row changes
    cv::flip(a, b, 1);
    for (const cv::Mat* f : std::initializer_list<const cv::Mat*>{&a, &b, &a}) {
        state->source = *f;
        pass();
        const cv::Mat want = pictureMat(screen->lastPicture()).clone();
        EXPECT_EQ(cv::norm(pictureMat(screen->shownPicture()), want, cv::NORM_L1), 0.0);
        EXPECT_LT(meanDifference(onWindow(screen), want), 1.0);
    }
}

// The painter keeps its picture surface between passes: a screen that moved or changed size
// must still be painted where it now is, and an expose repaints the picture.
TEST_F(ScreenPass, AMovedOrResizedScreenIsPaintedWhereItIsAndExposesRepaint)
{
    useScreen(640, 480);
    pumpEvents(20);
    const cv::Mat a = scene(1280, 960);
    cv::Mat b;
    cv::flip(a, b, 0);
    state->source = a;
    pass();
    ASSERT_LT(meanDifference(onWindow(screen), pictureMat(screen->lastPicture())), 1.0);

    screen->Move(200, 100);
    pumpUntil([&] { return screen->GetPosition() == wxPoint(200, 100); }, 500);
    state->source = b;
    pass();
    const cv::Mat moved = pictureMat(screen->lastPicture()).clone();
    EXPECT_LT(meanDifference(onWindow(screen), moved), 1.0);

    screen->SetSize(320, 240);
    pumpUntil([&] { return screen->GetClientSize() == wxSize(320, 240); }, 500);
    state->source = a;
    pass();
    const cv::Mat smaller = pictureMat(screen->lastPicture()).clone();
    ASSERT_EQ(smaller.size(), cv::Size(320, 240));
    EXPECT_LT(meanDifference(onWindow(screen), smaller), 1.0);

    // Something else drawn over the window, then an expose: the picture comes back.
    {
        wxClientDC dc(screen);
        dc.SetBrush(*wxWHITE_BRUSH);
        dc.DrawRectangle(0, 0, 320, 240);
    }
    ASSERT_GT(meanDifference(onWindow(screen), smaller), 20.0);
    screen->Refresh();
    EXPECT_TRUE(pumpUntil([&] { return meanDifference(onWindow(screen), smaller) < 1.0; }, 2000));
}

TEST_F(ScreenPass, AnIdlePassShowsWhatACapturePassShows)
{
    useScreen(640, 480);
    state->source = scene(1280, 960);
    g_Mirror = true;
    g_ZoomFactor = 0.75f;
    g_Rotation = 1;
    pass();
    const cv::Mat idle = pictureMat(screen->lastPicture());
    EXPECT_TRUE(files().empty());

    state->toggleRecord(); // the recording pass transforms the whole frame
    ASSERT_TRUE(recordingRuns());
    pass();
    const cv::Mat recorded = pictureMat(screen->lastPicture());
    EXPECT_LT(meanDifference(idle, recorded), 3.0);

    cv::Mat unturned;
    g_Rotation = 0;
    pass();
    unturned = pictureMat(screen->lastPicture());
    EXPECT_GT(meanDifference(unturned, recorded), 20.0) << "the turn is visible";
}

TEST_F(ScreenPass, ACapturePassPaintsWhatTheFileHolds)
{
    // The screen paints from the untouched frame with the stamp at the painted scale; the
    // file gets the whole frame transformed and stamped. Both must show the same picture.
    useScreen(640, 480);
    state->source = scene(1280, 960, 3);
    g_Mirror = true;
    g_ZoomFactor = 0.75f;
    g_Rotation = 1;
    g_TimeStamp = 1;
    g_CaptureTime = march7();
    state->toggleRecord();
    ASSERT_TRUE(recordingRuns());
    pass();
    const cv::Mat painted = pictureMat(screen->lastPicture()).clone();

    cv::Mat kept = state->source.clone();
    FrameTransformer t;
    t.apply(kept, true, 0.75f, 1);
    drawTimeStamp(kept, stampText(march7(), 1));
    cv::Mat reference(480, 640, CV_8UC3);
    fitToRgb(kept, 640, 480, reference.data);

    EXPECT_LT(meanDifference(painted, reference), 3.0);
    // The stamp shows in the same corner, about as large.
    const cv::Rect corner(0, 400, 400, 80);
    const int want = redPixels(reference(corner)), got = redPixels(painted(corner));
    EXPECT_GT(want, 50);
    EXPECT_GT(got, want * 7 / 10) << want;
    EXPECT_LT(got, want * 14 / 10) << want;
    EXPECT_LT(meanDifference(painted(corner), reference(corner)), 3.0);
    EXPECT_EQ(redPixels(painted(cv::Rect(0, 0, 640, 400))), 0);
    state->toggleRecord();
}

TEST_F(ScreenPass, StampOnlyInThePreviewWhileACaptureIsUnderWay)
{
    useScreen(640, 480);
    state->source = cv::Mat(960, 1280, CV_8UC3, cv::Scalar(60, 60, 60));
    g_TimeStamp = 1;
    pass();
    EXPECT_EQ(redPixels(pictureMat(screen->lastPicture())), 0) << "idle: no stamp";

    g_SnapPending = g_Freeze = true; // a held snapshot
    pass();
    const cv::Mat held = pictureMat(screen->lastPicture());
    EXPECT_GT(redPixels(held), 100);
    EXPECT_EQ(redPixels(held(cv::Rect(0, 0, 640, 400))), 0) << "bottom-left only";
    EXPECT_EQ(redPixels(held(cv::Rect(320, 0, 320, 480))), 0);

    g_TimeStamp = 0;
    pass();
    EXPECT_EQ(redPixels(pictureMat(screen->lastPicture())), 0) << "the setting asks for none";

    g_TimeStamp = 2;
    useState(StateBrowse);
    state->source = cv::Mat(960, 1280, CV_8UC3, cv::Scalar(60, 60, 60));
    pass();
    EXPECT_EQ(redPixels(pictureMat(screen->lastPicture())), 0) << "not in the browse tab";
}

TEST_F(ScreenPass, AHeldSnapshotIsSavedOnTheFirstPassAfterItsRelease)
{
    useScreen(640, 480);
    state->source = scene(1280, 960);
    g_TimeStamp = 3;
    g_CaptureTime = clock->localTime();
    g_SnapPending = g_Freeze = true;
    pass();
    pass();
    EXPECT_TRUE(files().empty()) << "frozen: the save waits";
    g_Freeze = false;
    clock->advance(2000);
    pass();
    ASSERT_EQ(files(), std::vector<std::string>{"2026-03-07 09_05_35.jpg"});
    EXPECT_FALSE(g_SnapPending);
    EXPECT_EQ(state->snapshotReleases, 1);
    EXPECT_EQ(g_LastFileName, wxString("2026-03-07 09_05_35.jpg"));

    // The file is the processed frame with the stamp of the press.
    cv::Mat want = scene(1280, 960);
    drawTimeStamp(want, "07/03/2026 09:05:33");
    const cv::Mat saved = cv::imread(storage / files()[0]);
    EXPECT_LT(meanDifference(saved, want), 1.5);
    pass();
    EXPECT_EQ(files().size(), 1u) << "one snapshot, one file";
}

TEST_F(ScreenPass, ASnapshotDuringARecordingIsTheFrameRecordedInThatPass)
{
    useScreen(640, 480);
    state->source = scene(640, 480, 0);
    state->toggleRecord();
    ASSERT_TRUE(recordingRuns());
    int snapAt = -1;
    for (int n = 0; n < 30; ++n) {
        state->source = scene(640, 480, n * 40); // every pass its own picture
        if (n == 17) {
            g_SnapInRecord = true;
            snapAt = static_cast<int>(g_FramesWritten);
        }
        pass();
    }
    state->toggleRecord();
    EXPECT_FALSE(g_Freeze);
    EXPECT_EQ(g_SettleTime, 0);
    const std::vector<std::string> f = files();
    ASSERT_EQ(f.size(), 2u);
    ASSERT_EQ(f[0], state->recordFile);
    const cv::Mat snap = cv::imread(storage / f[1]);
    ASSERT_FALSE(snap.empty()) << f[1];
    cv::VideoCapture video(storage / state->recordFile, cv::CAP_FFMPEG);
    int best = -1;
    double bestDiff = 1e9;
    cv::Mat frame;
    for (int i = 0; video.read(frame); ++i) {
        const double d = meanDifference(frame, snap);
        if (d < bestDiff) {
            bestDiff = d;
            best = i;
        }
    }
    EXPECT_EQ(best, snapAt);
    EXPECT_LT(bestDiff, 4.0);
}

TEST_F(ScreenPass, LosingTheFramesClosesTheRecording)
{
    state->source = scene(640, 480);
    state->toggleRecord();
    for (int n = 0; n < 10; ++n)
        pass();
    const wxImage before = screen->lastPicture().Copy();
    state->source.release();
    pass();
    EXPECT_FALSE(recordingRuns());
    EXPECT_EQ(state->toggles, 2);
    const ProbedVideo v = probeVideo(storage / state->recordFile);
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.codecTag, "DIVX");
    EXPECT_TRUE(std::equal(before.GetData(),
                           before.GetData() + before.GetWidth() * before.GetHeight() * 3,
                           screen->lastPicture().GetData()))
        << "nothing new is painted";
}

TEST_F(ScreenPass, FullScreenPastesTheExitPicture)
{
    useScreen(1600, 1000);
    g_FullScreen = true;
    screen->layoutFullScreen();
    state->source = cv::Mat(720, 1280, CV_8UC3, cv::Scalar(0, 0, 0));
    pass();
    const wxImage& p = screen->lastPicture();
    EXPECT_EQ(p.GetWidth(), 1600);
    EXPECT_EQ(p.GetHeight(), 1000);
    const wxRect r = rectOf(screen->exitFullScreenButton());
    EXPECT_EQ(r, wxRect(1560, 960, 32, 32));
    const wxImage exit = screen->exitFullScreenButton()->shown().ConvertToImage();
    ASSERT_TRUE(exit.IsOk()) << "the skin has the exit picture";
    EXPECT_TRUE(std::equal(exit.GetData(), exit.GetData() + 32 * 3,
                           p.GetData() + (static_cast<size_t>(r.y) * 1600 + r.x) * 3));
}

TEST_F(ScreenPass, ZoomLabelsAndTheSettleGuard)
{
    wxBitmap plain(32, 20);
    {
        wxMemoryDC dc(plain);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
    }
    for (auto [level, text, factor] :
         {std::tuple{20, "4.0x", 0.5f}, std::tuple{10, "1.8x", 0.75f}}) {
        const wxBitmap label = state->makeZoomLabel(level, plain);
        EXPECT_EQ(g_ZoomFactor, factor);
        wxBitmap want = plain.GetSubBitmap(wxRect(0, 0, 32, 20));
        drawZoomText(want, text);
        EXPECT_TRUE(sameBitmap(label, want)) << text;
        EXPECT_FALSE(sameBitmap(label, plain));
    }
    EXPECT_TRUE(sameBitmap(state->makeZoomLabel(0, plain), plain));
    EXPECT_EQ(g_ZoomFactor, 1.0f);

    g_SettleTime = 500;
    state->setMirror(true);
    state->setRotation(2);
    EXPECT_FALSE(g_Mirror);
    EXPECT_EQ(g_Rotation, 0);
    g_SettleTime = 0;
    state->setMirror(true);
    state->setRotation(2);
    EXPECT_TRUE(g_Mirror);
    EXPECT_EQ(g_Rotation, 2);
}
