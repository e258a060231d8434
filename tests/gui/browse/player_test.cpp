#include "gui/browse/player_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace
{

enum class Source { Recorder, FfmpegMov };

class PlayerOnFiles : public PlayerFixture, public ::testing::WithParamInterface<Source>
{
protected:
    std::string make(int count)
    {
        return GetParam() == Source::Recorder ? recorded(count) : mov(count);
    }
};

TEST_P(PlayerOnFiles, OpeningShowsTheFirstFramePausedAtZero)
{
    const std::string path = make(40);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(box->position(), 1);
    EXPECT_EQ(box->frameCount(), 40);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  0");
    EXPECT_EQ(bar()->painted(), 0);
    EXPECT_TRUE(box->pauseOn());
    EXPECT_FALSE(box->playOn());
    // Paused: the passes keep showing the first frame.
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(pass(), 0);
}

TEST_P(PlayerOnFiles, PlayRunsFrameByFrameToTheLastThenPausesOnIt)
{
    const int n = 40;
    const std::string path = make(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    box->play();
    EXPECT_TRUE(box->playOn());
    const long before = box->source().decodes();
    for (int k = 1; k < n; ++k)
        ASSERT_EQ(pass(), k);
    EXPECT_EQ(box->source().decodes() - before, n - 1); // one decode per pass
    EXPECT_EQ(bar()->painted(), bar()->width);
    // The end: the last frame stays, the player pauses with the file rewound.
    EXPECT_EQ(pass(), n - 1);
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_EQ(box->position(), 0);
    EXPECT_EQ(pass(), n - 1);
    // Play again starts from the first frame.
    box->play();
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(pass(), 1);
}

TEST_P(PlayerOnFiles, ClickingTheBarSeeksToExactlyThatFrame)
{
    const int n = 90;
    const std::string path = make(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    const int w = bar()->width;
    ASSERT_EQ(w, 564);
    for (int x : {w - 1, 7, 300, 150, 151, 33, 520, 0, 400}) {
        mouse(bar(), wxEVT_LEFT_DOWN, x, 8);
        mouse(bar(), wxEVT_LEFT_UP, x, 8);
        const int want = frameAtX(x, n, w);
        ASSERT_EQ(shown(), want) << "x " << x;
        EXPECT_EQ(box->position(), want + 1);
    }
    // Playback goes on from the frame after the one sought.
    mouse(bar(), wxEVT_LEFT_DOWN, 200, 8);
    mouse(bar(), wxEVT_LEFT_UP, 200, 8);
    box->play();
    EXPECT_EQ(pass(), frameAtX(200, n, w) + 1);
}

TEST_P(PlayerOnFiles, DraggingShowsKeyFramesAndReleaseLandsOnTheExactFrame)
{
    const int n = 150;
    const std::string path = make(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    const int w = bar()->width;
    box->play();
    mouse(bar(), wxEVT_LEFT_DOWN, 10, 8);
    int target = frameAtX(10, n, w);
    ASSERT_EQ(shown(), target); // the click itself is exact
    const long decodesBefore = box->source().decodes();
    for (int x : {100, 101, 250, 480, 470, 37, 333}) {
        mouse(bar(), wxEVT_MOTION, x, 8, true);
        target = frameAtX(x, n, w);
        // The bar and the time follow the pointer; the picture is the key frame before it.
        EXPECT_EQ(bar()->painted(), x);
        EXPECT_EQ(box->timeShown(), timeText(target / box->frameRate())) << "x " << x;
        const int got = shown();
        EXPECT_LE(got, target) << "x " << x;
        EXPECT_LT(target - got, 30) << "x " << x;
        EXPECT_EQ(pass(), got); // no playback while the button is held
    }
    EXPECT_EQ(box->source().decodes(), decodesBefore) << "moves decoded whole runs of frames";
    mouse(bar(), wxEVT_LEFT_UP, 333, 8);
    EXPECT_EQ(shown(), target);
    EXPECT_EQ(box->position(), target + 1);
    EXPECT_EQ(pass(), target + 1);

    // A drag whose button-up never arrives (the pointer was taken away) lands all the same.
    box->pause();
    mouse(bar(), wxEVT_LEFT_DOWN, 200, 8);
    mouse(bar(), wxEVT_MOTION, 400, 8, true);
    wxMouseCaptureLostEvent lost(bar()->GetId());
    lost.SetEventObject(bar());
    bar()->GetEventHandler()->ProcessEvent(lost);
    EXPECT_FALSE(box->dragging());
    EXPECT_EQ(shown(), frameAtX(400, n, w));
    EXPECT_EQ(pass(), frameAtX(400, n, w));
}

// Cuts a file a third of the way; in an AVI where a frame's chunk begins, so that no damaged
// frame is left at the end, its picture concealed with the one before.
void cutAThirdOfTheWay(const std::string& path, bool atAChunk)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    size_t at = bytes.size() / 3;
    if (atAChunk)
        at = bytes.find("00dc", at);
    ASSERT_LT(at, bytes.size());
    std::filesystem::resize_file(path, at);
}

// The header still counts every frame, the data stops a third of the way.
TEST_P(PlayerOnFiles, SeeksPastWhereTheFileWasCutShowTheTimeAndBarOfThePictureShown)
{
    const int n = 300;
    const bool avi = GetParam() == Source::Recorder;
    std::string path = avi ? recorded(n) : storage / "index_in_front.mov";
    // A MOV made for streaming keeps its index of all frames at the front.
    if (!avi)
        ASSERT_TRUE(numbered::ffmpegVideo(path, cv::Size(320, 240), n, 25,
                                          "-c:v libx264 -preset veryfast -bf 0 -g 30 -pix_fmt "
                                          "yuv420p -movflags +faststart -f mov"));
    ASSERT_FALSE(path.empty());
    ASSERT_NO_FATAL_FAILURE(cutAThirdOfTheWay(path, avi));
    box->openVideo(path);
    if (avi)
        ASSERT_EQ(box->frameCount(), n); // the index at the end is gone: the header is all
    else
        ASSERT_LT(box->frameCount(), n / 2); // the index lists frames the file no longer has
    const int w = bar()->width;
    auto followsPicture = [&](const char* when) {
        const int at = shown();
        ASSERT_GE(at, 0) << when;
        EXPECT_EQ(box->timeShown(), timeText(at / box->frameRate())) << when;
        EXPECT_EQ(bar()->position, at) << when;
        const int total = box->frameCount();
        EXPECT_LE(std::abs(bar()->painted() - fillWidth(at, total, w)), w / total + 1) << when;
        EXPECT_EQ(box->position(), at + 1) << when;
    };
    for (int x : {w / 6, w / 2, w * 5 / 6, w / 5, w - 1}) {
        mouse(bar(), wxEVT_LEFT_DOWN, x, 8);
        mouse(bar(), wxEVT_LEFT_UP, x, 8);
        followsPicture(("click at " + std::to_string(x)).c_str());
    }
    mouse(bar(), wxEVT_LEFT_DOWN, w / 5, 8);
    mouse(bar(), wxEVT_LEFT_UP, w / 5, 8);
    ASSERT_EQ(shown(), frameAtX(w / 5, box->frameCount(), w)); // before the cut: exact
    box->play();
    int last = shown();
    for (int guard = 0; box->playState() == PlayPlaying && guard < 2 * n; ++guard) {
        const int got = pass();
        ASSERT_GE(got, last);
        last = got;
    }
    // The end came early: that is the file's length now, the bar full on its last frame.
    ASSERT_EQ(box->playState(), PlayPaused);
    ASSERT_LT(last, n / 2);
    EXPECT_EQ(box->frameCount(), last + 1);
    EXPECT_EQ(bar()->painted(), w);
    EXPECT_EQ(box->timeShown(), timeText((last + 1) / box->frameRate()));
    mouse(bar(), wxEVT_LEFT_DOWN, w - 1, 8);
    mouse(bar(), wxEVT_LEFT_UP, w - 1, 8);
    EXPECT_EQ(shown(), last);
    followsPicture("click at the end");
}

INSTANTIATE_TEST_SUITE_P(Files, PlayerOnFiles,
                         ::testing::Values(Source::Recorder, Source::FfmpegMov),
                         [](const auto& info) {
                             return std::string(info.param == Source::Recorder ? "Recorder"
                                                                               : "FfmpegMov");
                         });

TEST_F(PlayerFixture, BarEndsSeekToTheLastFrameAndToFrameZero)
{
    const int n = 60;
    const std::string path = mov(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    mouse(bar(), wxEVT_LEFT_DOWN, bar()->width - 1, 8);
    EXPECT_TRUE(box->dragging());
    EXPECT_EQ(shown(), n - 1);
    // Dragged left past the bar's start: frame 0.
    mouse(bar(), wxEVT_MOTION, -40, 8, true);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(box->position(), 1);
    EXPECT_EQ(bar()->painted(), 0);
    // While dragging the passes do not advance.
    box->play();
    EXPECT_EQ(pass(), 0);
    mouse(bar(), wxEVT_LEFT_UP, -40, 8);
    EXPECT_FALSE(box->dragging());
    EXPECT_FALSE(bar()->HasCapture());
    EXPECT_EQ(pass(), 1);
}

TEST_F(PlayerFixture, ButtonsChangeOnlyWhatTheySay)
{
    const std::string path = mov(30);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    SkinBitmap* play = box->button(ID_VIDEO_PLAY);
    SkinBitmap* pause = box->button(ID_VIDEO_PAUSE);
    SkinBitmap* stop = box->button(ID_VIDEO_STOP);
    const wxBitmap playOff = play->shown(), pauseOn = pause->shown();

    mouse(pause, wxEVT_LEFT_DOWN); // already paused
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_TRUE(sameBitmap(pause->shown(), pauseOn));

    mouse(play, wxEVT_LEFT_DOWN);
    EXPECT_EQ(box->playState(), PlayPlaying);
    EXPECT_FALSE(sameBitmap(play->shown(), playOff));
    EXPECT_FALSE(sameBitmap(pause->shown(), pauseOn));
    for (int k = 1; k <= 5; ++k)
        ASSERT_EQ(pass(), k);
    const wxBitmap playOn = play->shown();
    mouse(play, wxEVT_LEFT_DOWN); // already playing: nothing changes, not even the position
    EXPECT_EQ(box->playState(), PlayPlaying);
    EXPECT_EQ(box->position(), 6);
    EXPECT_TRUE(sameBitmap(play->shown(), playOn));
    EXPECT_EQ(pass(), 6);

    mouse(stop, wxEVT_LEFT_DOWN);
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  0");
    EXPECT_TRUE(sameBitmap(play->shown(), playOff));
    EXPECT_TRUE(sameBitmap(pause->shown(), pauseOn));
    EXPECT_EQ(pass(), 0);
}

TEST_F(PlayerFixture, ReleaseWithNothingCapturedAndWobbleOnAButtonAreHarmless)
{
    const std::string path = mov(30);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    for (int k = 0; k < 5; ++k)
        box->play(), pass();
    box->pause();
    const int at = box->position();
    SkinBitmap* play = box->button(ID_VIDEO_PLAY);
    mouse(play, wxEVT_LEFT_UP);
    EXPECT_FALSE(bar()->HasCapture());
    EXPECT_FALSE(box->dragging());
    // A pointer that moves a little while pressing a button does not seek.
    mouse(box->button(ID_VIDEO_PAUSE), wxEVT_LEFT_DOWN, 30, 30);
    mouse(box->button(ID_VIDEO_PAUSE), wxEVT_MOTION, 33, 31, true);
    mouse(box->button(ID_VIDEO_PAUSE), wxEVT_LEFT_UP, 33, 31);
    EXPECT_EQ(box->position(), at);
    EXPECT_EQ(shown(), at - 1);
}

TEST_F(PlayerFixture, TwentyFiveFramesASecondAtPosition1500ShowsOneMinute)
{
    const int n = 1510;
    const std::string path = mov(n, 25, cv::Size(160, 120));
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    ASSERT_EQ(box->frameRate(), 25);
    ASSERT_EQ(box->frameCount(), n);
    mouse(bar(), wxEVT_LEFT_DOWN, 558, 8); // near the end
    mouse(bar(), wxEVT_LEFT_UP, 558, 8);
    ASSERT_LT(box->position(), 1500);
    box->play();
    while (box->position() < 1500)
        ASSERT_GE(pass(), 0);
    EXPECT_EQ(shown(), 1499);
    EXPECT_EQ(box->timeShown(), " 0 :  1 :  0");
    pass();
    EXPECT_EQ(box->timeShown(), " 0 :  1 :  0");
}

TEST_F(PlayerFixture, FullScreenPlaysOnWithoutCountingThenEndsAtTheLastFrame)
{
    const std::string path = mov(30, 5);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    box->play();
    for (int k = 1; k <= 9; ++k)
        ASSERT_EQ(pass(), k);
    const std::string label = box->timeShown();
    const int fill = bar()->painted();
    EXPECT_EQ(label, " 0 :  0 :  2");
    g_FullScreen = true;
    for (int k = 10; k <= 20; ++k)
        ASSERT_EQ(pass(), k);
    EXPECT_EQ(box->position(), 10);
    EXPECT_EQ(box->timeShown(), label);
    EXPECT_EQ(bar()->painted(), fill);
    // Back in the window the count goes on from where it stopped, and the end is the read
    // that finds nothing more, not the count: every frame is still shown once.
    g_FullScreen = false;
    for (int k = 21; k <= 29; ++k)
        ASSERT_EQ(pass(), k);
    EXPECT_EQ(box->position(), 19);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  3");
    EXPECT_EQ(bar()->painted(), fillWidth(19, 30, bar()->width));
    EXPECT_EQ(pass(), 29);
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_EQ(box->position(), 0);
    EXPECT_EQ(shown(), 29);
}

TEST_F(PlayerFixture, AFileThatIsNotAVideoShowsNothingAndBreaksNothing)
{
    box->openVideo(storage.write("broken.avi", std::string(20000, '\x17')));
    EXPECT_FALSE(box->hasVideo());
    EXPECT_EQ(box->nextFrame(), nullptr);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  0");
    box->play();
    EXPECT_EQ(box->nextFrame(), nullptr);
    EXPECT_EQ(box->playState(), PlayPaused);
    mouse(bar(), wxEVT_LEFT_DOWN, 300, 8);
    mouse(bar(), wxEVT_MOTION, 400, 8, true);
    mouse(bar(), wxEVT_LEFT_UP, 400, 8);
    EXPECT_EQ(bar()->painted(), 0);
    EXPECT_EQ(box->nextFrame(), nullptr);
}

TEST_F(PlayerFixture, TruncatedWhilePlayingPausesOnTheLastFrameItHas)
{
    const int n = 75;
    const std::string path = recorded(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    box->play();
    for (int k = 1; k <= 10; ++k)
        ASSERT_EQ(pass(), k);
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
    int last = 10;
    for (int guard = 0; box->playState() == PlayPlaying && guard < 4 * n; ++guard) {
        const int got = pass();
        ASSERT_GE(got, last) << "frames went backwards or were garbage";
        last = got;
    }
    EXPECT_EQ(box->playState(), PlayPaused);
    EXPECT_LT(last, n - 1);
    EXPECT_EQ(shown(), last);
    EXPECT_EQ(pass(), last);
}

TEST_F(PlayerFixture, RemovedWhilePlayingPlaysOnToItsEnd)
{
    const int n = 30;
    const std::string path = mov(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    box->play();
    ASSERT_EQ(pass(), 1);
    std::filesystem::remove(path);
    for (int k = 2; k < n; ++k)
        ASSERT_EQ(pass(), k);
    EXPECT_EQ(pass(), n - 1);
    EXPECT_EQ(box->playState(), PlayPaused);
}

TEST_F(PlayerFixture, ARealDragAcrossTheBarFollowsThePointer)
{
    if (!xinput::available())
        GTEST_SKIP() << "no X input";
    const int n = 120;
    const std::string path = recorded(n);
    ASSERT_FALSE(path.empty());
    box->openVideo(path);
    window->Raise();
    pumpEvents(50);
    const wxPoint origin = bar()->ClientToScreen(wxPoint(0, 8));
    const int w = bar()->width;
    ASSERT_TRUE(xinput::moveTo(origin.x + w * 3 / 4, origin.y));
    ASSERT_TRUE(xinput::press());
    ASSERT_TRUE(pumpUntil([&] { return box->dragging(); }));
    EXPECT_EQ(shown(), frameAtX(w * 3 / 4, n, w));
    ASSERT_TRUE(xinput::moveTo(origin.x + w / 4, origin.y + 30)); // off the bar, still held
    ASSERT_TRUE(pumpUntil([&] { return bar()->position == frameAtX(w / 4, n, w); }));
    EXPECT_LE(shown(), frameAtX(w / 4, n, w)); // the key frame before it, while dragging
    ASSERT_TRUE(xinput::moveTo(origin.x + w / 2, origin.y));
    ASSERT_TRUE(pumpUntil([&] { return bar()->position == frameAtX(w / 2, n, w); }));
    ASSERT_TRUE(xinput::release());
    ASSERT_TRUE(pumpUntil([&] { return !box->dragging(); }));
    EXPECT_FALSE(bar()->HasCapture());
    EXPECT_EQ(shown(), frameAtX(w / 2, n, w)); // released: exactly there
}

} // namespace

namespace
{

struct OddFile {
    const char* name;
    const char* codec; // ffmpeg output options
    int rate;          // what the player may trust: 0 none
};

class PlayerOnOddFiles : public PlayerFixture, public ::testing::WithParamInterface<OddFile>
{
};

// Streams without an index report a negative or huge frame count and sometimes a rate of
// tens of thousands: the player must not divide by them, and still play every frame.
TEST_P(PlayerOnOddFiles, NonsenseCountOrRatePlaysToTheLastFrameWithAnEmptyBar)
{
    const OddFile& f = GetParam();
    const std::string path = storage / f.name;
    ASSERT_TRUE(numbered::ffmpegVideo(path, cv::Size(320, 240), 50, 25, f.codec));
    box->openVideo(path);
    ASSERT_TRUE(box->hasVideo());
    EXPECT_EQ(box->frameCount(), 0);
    EXPECT_EQ(box->frameRate(), f.rate);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  0");
    box->play();
    for (int k = 1; k < 50; ++k)
        ASSERT_EQ(pass(), k);
    EXPECT_EQ(bar()->painted(), 0);
    // 50 frames at 25 a second: position 50 by the rate; by the container's clock the
    // last frame starts at 1.96 s.
    EXPECT_EQ(box->timeShown(), f.rate > 0 ? " 0 :  0 :  2" : " 0 :  0 :  1");
    EXPECT_EQ(pass(), 49);
    EXPECT_EQ(box->playState(), PlayPaused);
    // A bar without a length has no positions to seek to.
    mouse(bar(), wxEVT_LEFT_DOWN, 300, 8);
    mouse(bar(), wxEVT_LEFT_UP, 300, 8);
    EXPECT_EQ(shown(), 49);
    EXPECT_EQ(bar()->painted(), 0);
    // Rewound all the same: play again starts from the first frame.
    box->play();
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(pass(), 1);
    box->stop();
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(box->timeShown(), " 0 :  0 :  0");
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PlayerOnOddFiles,
    ::testing::Values(OddFile{"bare_h264.avi",
                              "-c:v libx264 -preset veryfast -pix_fmt yuv420p -f h264", 25},
                      OddFile{"transport.mov", "-c:v mpeg4 -q:v 3 -f mpegts", 0},
                      OddFile{"elementary.avi", "-c:v mpeg4 -q:v 3 -f m4v", 0}),
    [](const auto& info) {
        std::string n = info.param.name;
        return n.substr(0, n.find('.'));
    });

} // namespace
