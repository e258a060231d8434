#include "app/notice.h"
#include "browse/orvex_browse_state.h"
#include "browse/orvex_progress_bar.h"
#include "browse/orvex_video_control_box.h"
#include "browse/player_math.h"
#include "pipeline/capture_state.h"
#include "support/dates.h"
#include "support/frame_harness.h"
#include "support/hostile_media.h"
#include "support/numbered_video.h"
#include "support/window_pixels.h"

#include <wx/scrolbar.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>
#include <fstream>

#include <climits>
#include <unistd.h>

namespace
{

const char* const kPhoto = "2026-03-07 09_00_00.jpg";
const char* const kVideo = "2026-03-07 09_00_01.mov";
const cv::Size kPhotoSize(640, 480);

// Frames first .. first+count-1 as MJPEG in an AVI, as another program might write it.
bool numberedAvi(const std::string& path, int first, int count)
{
    const cv::Size size(320, 240);
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15, size);
    for (int n = first; n < first + count && w.isOpened(); ++n)
        w.write(numbered::frame(n, size));
    return w.isOpened();
}

// Descriptors of this process open on the file at path, also after it was deleted (or only
// after: deletedOnly).
int descriptorsOn(const std::string& path, bool deletedOnly = false)
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        char target[PATH_MAX];
        const ssize_t len = ::readlink(e.path().c_str(), target, sizeof target);
        const std::string t(target, len > 0 ? static_cast<size_t>(len) : 0);
        n += (t == path && !deletedOnly) || t == path + " (deleted)";
    }
    return n;
}

class BrowseTab : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        if (HasFatalFailure())
            return;
        clock->setLocalTime(march7());
        storage = toUtf8(g_StoragePath);
        ASSERT_TRUE(cv::imwrite(storage + "/" + kPhoto, numbered::frame(7, kPhotoSize)));
        ASSERT_TRUE(numbered::h264Mov(storage + "/" + kVideo, cv::Size(320, 240), 30, 15));
        strip = dynamic_cast<COrvexBrowsePanel*>(frame->browsePanel());
        ASSERT_NE(strip, nullptr);
        strip->scanFolder(FilterAll);
        ASSERT_EQ(strip->fileCount(), 2u);
        for (COrvexState* s : g_States)
            if (auto* b = dynamic_cast<COrvexBrowseState*>(s))
                browse = b;
        ASSERT_NE(browse, nullptr);
        player = browse->player();
    }

    // Ticks the frame until the screen has made one more drawing pass.
    void drawPass()
    {
        const int before = screen->draws;
        for (int i = 0; i < 20 && screen->draws == before; ++i)
            tick();
        ASSERT_EQ(screen->draws, before + 1);
    }
    // The picture the last pass painted, back in the frame's channel order.
    cv::Mat painted() const
    {
        const wxImage& p = screen->lastPicture();
        cv::Mat rgb(p.GetHeight(), p.GetWidth(), CV_8UC3, p.GetData());
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        return bgr;
    }
    int paintedNumber() const
    {
        cv::Mat p = painted();
        cv::Mat full;
        cv::resize(p, full, kPhotoSize, 0, 0, cv::INTER_AREA);
        return numbered::read(full);
    }
    void open(int slot)
    {
        strip->selectSlot(slot);
        pumpEvents(20);
    }
    std::vector<std::string> jpegs() const
    {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(storage))
            if (e.path().extension() == ".jpg")
                out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    void mouse(wxWindow* w, wxEventType type, int x = 1, int y = 1, bool leftHeld = false)
    {
        wxMouseEvent e(type);
        e.SetEventObject(w);
        e.SetId(w->GetId());
        e.SetPosition(wxPoint(x, y));
        e.m_leftDown = leftHeld;
        w->GetEventHandler()->ProcessEvent(e);
    }
    bool shownAt(wxWindow* w, int x, int y) const
    {
        return w->IsShown() && w->GetPosition() == wxPoint(x, y);
    }

    std::string storage;
    COrvexBrowsePanel* strip = nullptr;
    COrvexBrowseState* browse = nullptr;
    COrvexVideoControlBox* player = nullptr;
};

TEST_F(BrowseTab, ClickingAThumbnailInTheLiveViewShowsThePhoto)
{
    ASSERT_EQ(g_CurrentState->id(), StatePreview);
    ASSERT_TRUE(clickOnWindow(strip->slot(0)));
    ASSERT_TRUE(pumpUntil([] { return g_CurrentState->id() == StateBrowse; }));
    EXPECT_TRUE(strip->isViewing());
    EXPECT_TRUE(strip->slot(0)->selected);
    EXPECT_FALSE(browse->isVideo());
    tick();
    EXPECT_EQ(toUtf8(g_StatusText), kPhoto);
    EXPECT_EQ(g_StatusColour, wxColour(255, 255, 255));
    drawPass();
    EXPECT_EQ(paintedNumber(), 7);
    // Shown anew on every pass: still there on the next.
    drawPass();
    EXPECT_EQ(paintedNumber(), 7);
}

TEST_F(BrowseTab, EnteringResetsZoomMirrorAndRotation)
{
    g_Mirror = true;
    g_Rotation = 3;
    g_ZoomFactor = 0.5f;
    open(0);
    ASSERT_EQ(g_CurrentState->id(), StateBrowse);
    EXPECT_FALSE(g_Mirror);
    EXPECT_EQ(g_Rotation, 0);
    EXPECT_EQ(g_ZoomFactor, 1.0f);
    EXPECT_EQ(browse->zoomBar()->GetThumbPosition(), 20);
    EXPECT_FALSE(browse->mirrorOn());
    EXPECT_EQ(browse->rotationStep(), 0);
}

TEST_F(BrowseTab, APhotoHasMirrorAndRotateAtTheTopAndNoSnapshotOrPlayer)
{
    open(0);
    const SkinRect& column = frame->geometry()[19];
    const int x = column.x + 4, y = column.y + 4;
    EXPECT_FALSE(browse->toolButton(ID_BROWSE_SNAPSHOT)->IsShown());
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_MIRROR), x, y));
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_ROTATE), x, y + 108 + 4));
    EXPECT_FALSE(player->visible);
    EXPECT_FALSE(player->progressBar()->IsShown());
    EXPECT_FALSE(player->button(ID_VIDEO_PLAY)->IsShown());
}

TEST_F(BrowseTab, AVideoHasSnapshotMirrorRotateAndThePlayerStrip)
{
    open(1);
    ASSERT_TRUE(browse->isVideo());
    const SkinRect& column = frame->geometry()[19];
    const int x = column.x + 4, y = column.y + 4;
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_SNAPSHOT), x, y));
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_MIRROR), x, y + 112));
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_ROTATE), x, y + 224));
    const SkinRect& strip22 = frame->geometry()[22];
    const PlayerGeometry g =
        playerGeometry(strip22.w, strip22.h, column.x + column.w, column.y + column.h - strip22.h);
    EXPECT_EQ(rectOf(player->progressBar()), wxRect(g.bar.x, g.bar.y, g.bar.w, g.bar.h));
    EXPECT_EQ(rectOf(player->timeLabel()), wxRect(g.label.x, g.label.y, g.label.w, g.label.h));
    EXPECT_TRUE(shownAt(player->button(ID_VIDEO_PLAY), g.buttons[0].x, g.buttons[0].y));
    EXPECT_TRUE(shownAt(player->button(ID_VIDEO_PAUSE), g.buttons[1].x, g.buttons[1].y));
    EXPECT_TRUE(shownAt(player->button(ID_VIDEO_STOP), g.buttons[2].x, g.buttons[2].y));
    EXPECT_TRUE(player->progressBar()->IsShown());
    EXPECT_TRUE(player->timeLabel()->IsShown());
    EXPECT_EQ(player->playState(), PlayPaused);
    tick();
    EXPECT_EQ(toUtf8(g_StatusText), kVideo);
    // From a video back to the photo: the tools move up, the player goes.
    strip->selectSlot(0);
    EXPECT_FALSE(browse->toolButton(ID_BROWSE_SNAPSHOT)->IsShown());
    EXPECT_TRUE(shownAt(browse->toolButton(ID_BROWSE_MIRROR), x, y));
    EXPECT_FALSE(player->progressBar()->IsShown());
}

TEST_F(BrowseTab, KeysPlayPauseAndStopTheVideo)
{
    open(1);
    drawPass();
    EXPECT_EQ(paintedNumber(), 0);
    frame->dispatchKey(16, false); // Ctrl+P
    EXPECT_EQ(player->playState(), PlayPlaying);
    for (int k = 1; k <= 4; ++k) {
        drawPass();
        ASSERT_EQ(paintedNumber(), k);
    }
    frame->dispatchKey(16, false);
    EXPECT_EQ(player->playState(), PlayPaused);
    drawPass();
    EXPECT_EQ(paintedNumber(), 4);
    frame->dispatchKey(19, false); // Ctrl+S
    drawPass();
    EXPECT_EQ(paintedNumber(), 0);
    EXPECT_EQ(player->playState(), PlayPaused);
}

TEST_F(BrowseTab, EscapeReturnsToTheLiveViewAndThePlayerKeepsItsFile)
{
    open(1);
    frame->dispatchKey(16, false);
    drawPass();
    frame->dispatchKey(27, false);
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_FALSE(strip->isViewing());
    EXPECT_FALSE(strip->slot(1)->selected);
    EXPECT_TRUE(player->hasVideo());
    EXPECT_EQ(player->playState(), PlayPlaying);
    EXPECT_FALSE(player->progressBar()->IsShown());
    EXPECT_FALSE(browse->toolButton(ID_BROWSE_SNAPSHOT)->IsShown());
    EXPECT_FALSE(browse->zoomBar()->IsShown());
}

TEST_F(BrowseTab, OneWheelNotchForwardRaisesTheZoomByOneLevel)
{
    open(0);
    frame->wheel(120, 120);
    EXPECT_EQ(browse->zoomBar()->GetThumbPosition(), 19);
    EXPECT_FLOAT_EQ(g_ZoomFactor, 1.0f - 0.5f / 20.0f);
    frame->dispatchKey(315, false); // Up: one more
    EXPECT_EQ(browse->zoomBar()->GetThumbPosition(), 18);
    frame->dispatchKey(317, false); // Down: one back
    frame->dispatchKey(317, false);
    EXPECT_EQ(browse->zoomBar()->GetThumbPosition(), 20);
    EXPECT_EQ(g_ZoomFactor, 1.0f);
}

TEST_F(BrowseTab, MirrorAndTurnsApplyToThePhotoAtOnce)
{
    open(0);
    drawPass();
    const cv::Mat plain = painted().clone();
    frame->dispatchKey(13, false); // Enter: mirror
    EXPECT_TRUE(g_Mirror);
    EXPECT_TRUE(browse->mirrorOn());
    drawPass();
    cv::Mat expected;
    cv::flip(plain, expected, 1);
    EXPECT_LT(cv::norm(painted(), expected, cv::NORM_L1) / plain.total(), 6.0);
    EXPECT_GT(cv::norm(painted(), plain, cv::NORM_L1) / plain.total(), 30.0);
    frame->dispatchKey(13, false);
    EXPECT_FALSE(g_Mirror);
    for (int step : {1, 2, 3, 0}) {
        frame->dispatchKey(341, false); // F2: a quarter turn
        EXPECT_EQ(g_Rotation, step);
        EXPECT_EQ(browse->rotationStep(), step);
    }
    // The rotate button on screen does the same.
    mouse(browse->toolButton(ID_BROWSE_ROTATE), wxEVT_LEFT_DOWN);
    EXPECT_EQ(g_Rotation, 1);
    drawPass();
    EXPECT_EQ(screen->lastPicture().GetSize(), wxSize(screen->GetClientSize()));
}

TEST_F(BrowseTab, PassesPaintTheSameTransformedPictureAndLeaveTheSourceAlone)
{
    open(0);
    const cv::Mat decoded = browse->photo().clone();
    frame->dispatchKey(13, false);  // mirror
    frame->dispatchKey(341, false); // a quarter turn
    drawPass();
    const cv::Mat first = painted().clone();
    drawPass();
    EXPECT_EQ(cv::norm(painted(), first, cv::NORM_L1), 0.0);
    EXPECT_EQ(cv::norm(browse->photo(), decoded, cv::NORM_L1), 0.0);

    // A video frame saved mirrored is written mirrored, and the frame the player keeps is
    // not: the next pass paints what the one before painted.
    open(1);
    for (int i = 0; i < 3; ++i)
        frame->dispatchKey(341, false); // the turn back to upright; the mirror stays
    ASSERT_EQ(g_Rotation, 0);
    ASSERT_TRUE(g_Mirror);
    drawPass();
    const cv::Mat shown = painted().clone();
    const cv::Mat kept = player->frameCopy().clone();
    frame->dispatchKey(32, false);
    drawPass();
    EXPECT_EQ(cv::norm(player->frameCopy(), kept, cv::NORM_L1), 0.0);
    drawPass();
    EXPECT_EQ(cv::norm(painted(), shown, cv::NORM_L1), 0.0);
    const auto files = jpegs();
    ASSERT_EQ(files.size(), 2u);
    const cv::Mat saved = cv::imread(storage + "/" + files[1]);
    cv::Mat mirrored;
    cv::flip(kept, mirrored, 1);
    const cv::Rect clean(0, 0, saved.cols, saved.rows * 3 / 4);
    EXPECT_LT(cv::norm(saved(clean), mirrored(clean), cv::NORM_L1) / clean.area(), 4.0);
}

TEST_F(BrowseTab, SpaceOnAPhotoSavesNothing)
{
    open(0);
    frame->dispatchKey(32, false);
    EXPECT_FALSE(g_SnapInRecord);
    EXPECT_FALSE(browse->snapshotHeld());
    drawPass();
    drawPass();
    EXPECT_EQ(jpegs(), std::vector<std::string>{kPhoto});
}

TEST_F(BrowseTab, SpaceOnAVideoSavesTheShownFrameAsANewCapture)
{
    open(1);
    COrvexProgressBar* bar = player->progressBar();
    mouse(bar, wxEVT_LEFT_DOWN, bar->width * 12 / 30 + 1, 8);
    mouse(bar, wxEVT_LEFT_UP, 0, 8);
    const int at = numbered::read(player->frameCopy());
    ASSERT_EQ(at, frameAtX(bar->width * 12 / 30 + 1, 30, bar->width));
    const cv::Mat shownFrame = player->frameCopy().clone();
    const wxBitmap release = browse->toolButton(ID_BROWSE_SNAPSHOT)->shown();

    frame->dispatchKey(32, false);
    EXPECT_TRUE(browse->snapshotHeld());
    EXPECT_FALSE(sameBitmap(browse->toolButton(ID_BROWSE_SNAPSHOT)->shown(), release));
    drawPass();
    const std::string saved = "2026-03-07 09_05_33.jpg";
    ASSERT_EQ(jpegs(), (std::vector<std::string>{kPhoto, saved}));
    const cv::Mat file = cv::imread(storage + "/" + saved);
    ASSERT_EQ(file.size(), shownFrame.size());
    EXPECT_EQ(numbered::read(file), at);
    // The same picture up to the JPEG's loss (judged above the noise band, which JPEG
    // cannot keep).
    const cv::Rect clean(0, 0, file.cols, file.rows * 3 / 4);
    EXPECT_LT(cv::norm(file(clean), shownFrame(clean), cv::NORM_L1) / clean.area(), 4.0);
    // The strip lists it, the button is released and the notice names it.
    const auto& files = strip->files();
    EXPECT_NE(std::find(files.begin(), files.end(), storage + "/" + saved), files.end());
    EXPECT_FALSE(browse->snapshotHeld());
    EXPECT_TRUE(sameBitmap(browse->toolButton(ID_BROWSE_SNAPSHOT)->shown(), release));
    EXPECT_EQ(toUtf8(g_LastFileName), saved);

    // A second one in the same second gets a name of its own.
    mouse(browse->toolButton(ID_BROWSE_SNAPSHOT), wxEVT_LEFT_DOWN);
    drawPass();
    EXPECT_EQ(jpegs().size(), 3u);
}

TEST_F(BrowseTab, ASnapshotAskedForJustBeforeLeavingIsNotTakenFromTheLiveView)
{
    open(1);
    frame->dispatchKey(32, false);
    ASSERT_TRUE(g_SnapInRecord);
    frame->dispatchKey(27, false);
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_FALSE(g_SnapInRecord);
    EXPECT_FALSE(browse->snapshotHeld());
}

TEST_F(BrowseTab, ReleasingTheMediaClosesTheVideoBeforeItIsDeleted)
{
    open(1);
    drawPass();
    browse->releaseMedia();
    EXPECT_FALSE(player->hasVideo());
    EXPECT_EQ(browse->grabFrame(), nullptr);
    std::filesystem::remove(storage + "/" + kVideo);
    drawPass(); // nothing to paint, nothing breaks
    frame->dispatchKey(16, false);
    drawPass();
}

TEST_F(BrowseTab, DeletingTheOpenVideoThroughTheStripLetsGoOfItFirst)
{
    open(1);
    frame->dispatchKey(16, false); // Ctrl+P: playing
    drawPass();
    ASSERT_TRUE(player->hasVideo());
    strip->setDeleteQuestion([] { return true; });
    // The slot's delete icon, clicked as the user does.
    mouse(strip->deleteIcon(1), wxEVT_LEFT_DOWN);
    EXPECT_FALSE(std::filesystem::exists(storage + "/" + kVideo));
    EXPECT_FALSE(player->hasVideo());
    EXPECT_TRUE(player->frameCopy().empty());
    // The strip opens the photo that is left: no player strip, the photo painted.
    EXPECT_FALSE(browse->isVideo());
    EXPECT_FALSE(player->button(ID_VIDEO_PLAY)->IsShown());
    drawPass();
    EXPECT_EQ(paintedNumber(), 7);
    // The last file gone: back to the live view.
    mouse(strip->deleteIcon(0), wxEVT_LEFT_DOWN);
    EXPECT_FALSE(std::filesystem::exists(storage + "/" + kPhoto));
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    strip->setDeleteQuestion({});
}

TEST_F(BrowseTab, DeletedOrVanishedVideosAreClosedEverywhere)
{
    const std::string folder = std::filesystem::canonical(storage).string();
    const std::string mov = folder + "/" + kVideo;
    const std::string avi = folder + "/2026-03-07 09_00_02.avi";
    const std::string gone = folder + "/2026-03-07 09_00_03.avi";
    ASSERT_TRUE(numberedAvi(avi, 0, 10));
    ASSERT_TRUE(numberedAvi(gone, 0, 10));
    strip->scanFolder(FilterAll);
    ASSERT_EQ(strip->fileCount(), 4u);
    strip->setDeleteQuestion([] { return true; });

    // Played and dragged (the key-frame reader opens it too), then left for the live view,
    // where the player keeps it: deleted there through its icon.
    open(1);
    frame->dispatchKey(16, false);
    drawPass();
    COrvexProgressBar* bar = player->progressBar();
    mouse(bar, wxEVT_LEFT_DOWN, bar->width / 2, 8);
    mouse(bar, wxEVT_MOTION, bar->width / 3, 8, true);
    mouse(bar, wxEVT_LEFT_UP, bar->width / 3, 8);
    frame->dispatchKey(27, false);
    ASSERT_EQ(g_CurrentState->id(), StatePreview);
    ASSERT_GE(descriptorsOn(mov), 2) << "player and thumbnail hold it";
    mouse(strip->deleteIcon(1), wxEVT_LEFT_DOWN);
    ASSERT_FALSE(std::filesystem::exists(mov));
    EXPECT_EQ(descriptorsOn(mov), 0);

    // Shown while viewing, deleted with the Delete key.
    ASSERT_EQ(strip->slotPath(1), avi);
    open(1);
    ASSERT_TRUE(player->hasVideo());
    ASSERT_GE(descriptorsOn(avi), 2);
    frame->dispatchKey(127, false);
    ASSERT_FALSE(std::filesystem::exists(avi));
    EXPECT_EQ(descriptorsOn(avi), 0);

    // Removed behind the program's back while the player keeps it, then a rescan.
    ASSERT_EQ(strip->slotPath(1), gone);
    open(1);
    frame->dispatchKey(27, false);
    ASSERT_GE(descriptorsOn(gone), 2);
    std::filesystem::remove(gone);
    strip->scanFolder(FilterAll);
    EXPECT_EQ(descriptorsOn(gone), 0);
    EXPECT_FALSE(player->hasVideo());

    // Replaced by another file of the same name: the old one is let go of all the same.
    ASSERT_TRUE(numberedAvi(gone, 50, 10));
    strip->scanFolder(FilterAll);
    open(1);
    frame->dispatchKey(27, false);
    std::filesystem::remove(gone);
    ASSERT_TRUE(numberedAvi(gone, 60, 10));
    ASSERT_EQ(descriptorsOn(gone, true), 2);
    strip->scanFolder(FilterAll);
    EXPECT_EQ(descriptorsOn(gone, true), 0);
    strip->setDeleteQuestion({});
}

TEST_F(BrowseTab, NamesThatAreNotUtf8ListOpenPlayAndDelete)
{
    const std::string latin = "\xe9t\xe9"; // "été" as Latin-1 bytes
    const std::string shown = "\xef\xbf\xbdt\xef\xbf\xbd";
    ASSERT_TRUE(numberedAvi(storage + "/" + latin + ".avi", 100, 10));
    ASSERT_TRUE(cv::imwrite(storage + "/" + latin + ".jpg", numbered::frame(9, kPhotoSize)));
    strip->scanFolder(FilterAll);
    ASSERT_EQ(strip->fileCount(), 4u);
    ASSERT_EQ(strip->slotPath(2), storage + "/" + latin + ".avi");
    EXPECT_EQ(strip->slot(2)->kind, SlotVideo);
    EXPECT_TRUE(strip->slot(2)->captureOpen());
    EXPECT_EQ(strip->slot(3)->kind, SlotPhoto);
    EXPECT_TRUE(strip->slot(3)->photo.IsOk());

    // From another video, playing, to this one: its own frames, named with marks.
    open(1);
    frame->dispatchKey(16, false);
    drawPass();
    open(2);
    tick();
    EXPECT_EQ(toUtf8(g_StatusText), shown + ".avi");
    ASSERT_TRUE(browse->isVideo());
    drawPass();
    EXPECT_EQ(paintedNumber(), 100);
    frame->dispatchKey(16, false);
    drawPass();
    EXPECT_EQ(paintedNumber(), 101);
    open(3);
    tick();
    EXPECT_EQ(toUtf8(g_StatusText), shown + ".jpg");
    drawPass();
    EXPECT_EQ(paintedNumber(), 9);

    // Delete takes exactly the file shown.
    open(2);
    strip->setDeleteQuestion([] { return true; });
    frame->dispatchKey(127, false);
    strip->setDeleteQuestion({});
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(storage))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{kPhoto, kVideo, latin + ".jpg"}));
    EXPECT_EQ(strip->fileCount(), 3u);
}

// Files whose headers claim gigabytes: a blank slot and a blank big view, never decoded.
TEST_F(BrowseTab, APhotoOrVideoBeyondTheBudgetIsShownBlank)
{
    const std::string photo = "2026-03-07 09_00_02.jpg", video = "2026-03-07 09_00_03.avi";
    std::ofstream(storage + "/" + photo, std::ios::binary)
        << hostile::progressiveJpeg(40000, 40000);
    std::ofstream(storage + "/" + video, std::ios::binary)
        << hostile::mjpegAvi(hostile::greyJpeg(16000, 16000), 16000, 16000);
    strip->scanFolder(FilterAll);
    ASSERT_EQ(strip->fileCount(), 4u);
    for (const std::string& name : {photo, video}) {
        int slot = -1;
        for (int k = 0; k < 4; ++k)
            if (strip->slotPath(k) == storage + "/" + name)
                slot = k;
        ASSERT_GE(slot, 0);
        const COrvexBrowseImage* s = strip->slot(slot);
        EXPECT_EQ(s->kind, name == photo ? SlotPhoto : SlotVideo);
        EXPECT_FALSE(s->captureOpen());
        EXPECT_FALSE(s->photo.IsOk());
        // Under All a video slot carries its mark; a photo slot is black throughout.
        if (name == photo) {
            const wxImage pic = s->thumbnail().ConvertToImage();
            const cv::Mat rgb(pic.GetHeight(), pic.GetWidth(), CV_8UC3, pic.GetData());
            EXPECT_EQ(cv::countNonZero(rgb.reshape(1)), 0);
        }
        open(slot);
        EXPECT_EQ(toUtf8(browse->statusText()), name);
        EXPECT_TRUE(browse->photo().empty());
        EXPECT_FALSE(player->hasVideo());
        for (int i = 0; i < 5; ++i)
            tick(); // passes over it break nothing
        if (name == photo) {
            drawPass();
            EXPECT_TRUE(windowpixels::allBlack(screen->shownPicture()));
            EXPECT_EQ(toUtf8(g_LastFileName), "Cannot read " + photo);
        } else {
            EXPECT_EQ(browse->grabFrame(), nullptr);
        }
    }
}

// A damaged photo after a good one: the screen turns black and a red notice names the file.
TEST_F(BrowseTab, AnUnreadablePhotoBlanksTheScreenAndSaysSo)
{
    const std::string damaged = "2026-03-07 09_00_02 \xE9.jpg";
    std::ofstream(storage + "/" + damaged, std::ios::binary) << "\xFF\xD8\xFF\xE0 not a picture";
    strip->scanFolder(FilterAll);
    ASSERT_EQ(strip->fileCount(), 3u);
    open(0);
    drawPass();
    ASSERT_EQ(paintedNumber(), 7);
    for (int k = 0; k < 3; ++k)
        if (strip->slotPath(k) == storage + "/" + damaged)
            open(k);
    drawPass();
    EXPECT_TRUE(windowpixels::allBlack(screen->lastPicture()));
    EXPECT_TRUE(windowpixels::allBlack(screen->shownPicture()));
    EXPECT_EQ(screen->lastPicture().GetSize(), wxSize(screen->GetClientSize()));
    EXPECT_EQ(toUtf8(g_LastFileName), "Cannot read 2026-03-07 09_00_02 \xEF\xBF\xBD.jpg");
    EXPECT_TRUE(noticeIsFailure());
    EXPECT_EQ(toUtf8(browse->statusText()), "2026-03-07 09_00_02 \xEF\xBF\xBD.jpg");
}

TEST_F(BrowseTab, AStripOfAnotherSizeIsFollowed)
{
    open(1);
    resizeClient(900, 540);
    const SkinRect& column = frame->geometry()[19];
    const SkinRect& strip22 = frame->geometry()[22];
    const PlayerGeometry g =
        playerGeometry(strip22.w, strip22.h, column.x + column.w, column.y + column.h - strip22.h);
    EXPECT_EQ(rectOf(player->progressBar()), wxRect(g.bar.x, g.bar.y, g.bar.w, g.bar.h));
    EXPECT_EQ(player->progressBar()->width, g.bar.w);
    EXPECT_TRUE(player->progressBar()->IsShown());
    EXPECT_EQ(rectOf(player->button(ID_VIDEO_STOP)),
              wxRect(g.buttons[2].x, g.buttons[2].y, g.buttons[2].w, g.buttons[2].h));
    EXPECT_TRUE(browse->toolButton(ID_BROWSE_SNAPSHOT)->IsShown());
    EXPECT_LT(browse->toolButton(ID_BROWSE_MIRROR)->GetSize().x, 108);
}

TEST_F(BrowseTab, RealKeysPressedDuringARealDragOnTheBarAreActedOnAtOnce)
{
    if (!xinput::available())
        GTEST_SKIP() << "no X input";
    open(1);
    frame->Raise();
    COrvexProgressBar* bar = player->progressBar();
    const wxPoint origin = bar->ClientToScreen(wxPoint(0, bar->GetSize().y / 2));
    const int w = bar->width;
    ASSERT_TRUE(xinput::moveTo(origin.x + w / 4, origin.y));
    pumpEvents(50);
    frame->takeFocus();
    ASSERT_TRUE(xinput::press());
    ASSERT_TRUE(pumpUntil([&] { return player->dragging(); }));
    ASSERT_TRUE(xinput::moveTo(origin.x + w * 3 / 4, origin.y));
    ASSERT_TRUE(pumpUntil([&] { return bar->position == frameAtX(w * 3 / 4, 30, w); }));

    // Enter mirrors, once: a key handled twice would mirror back.
    ASSERT_TRUE(xinput::key("Return"));
    EXPECT_TRUE(pumpUntil([&] { return browse->mirrorOn(); }));
    pumpEvents(50);
    EXPECT_TRUE(browse->mirrorOn());
    EXPECT_TRUE(g_Mirror);
    // Space saves the picture on the screen.
    ASSERT_TRUE(xinput::key("space"));
    ASSERT_TRUE(pumpUntil([&] { return browse->snapshotHeld(); }));
    ASSERT_TRUE(player->dragging());
    const int shownNumber = numbered::read(player->frameCopy());
    drawPass();
    const std::vector<std::string> saved = jpegs();
    ASSERT_EQ(saved.size(), 2u);
    const std::string capture = saved[0] == kPhoto ? saved[1] : saved[0];
    cv::Mat file = cv::imread(storage + "/" + capture);
    cv::flip(file, file, 1); // saved as painted, mirrored
    EXPECT_EQ(numbered::read(file), shownNumber);

    ASSERT_TRUE(xinput::release());
    ASSERT_TRUE(pumpUntil([&] { return !player->dragging(); }));
    EXPECT_EQ(numbered::read(player->frameCopy()), frameAtX(w * 3 / 4, 30, w));
    // Without the drag the keys go the usual way, once each.
    ASSERT_TRUE(xinput::key("Return"));
    EXPECT_TRUE(pumpUntil([&] { return !browse->mirrorOn(); }));
}

} // namespace
