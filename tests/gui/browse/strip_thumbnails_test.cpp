#include "strip_fixture.h"

#include "app/capture_notice.h"
#include "pipeline/recording.h"
#include "support/dates.h"
#include "support/window_pixels.h"

#include <opencv2/videoio.hpp>

#include <cstdlib>

namespace fs = std::filesystem;

namespace
{

class StripThumbnails : public StripFixture
{
protected:
    std::string ffmpegClip(const std::string& name, const std::string& args)
    {
        const std::string path = storage + "/" + name;
        const std::string cmd =
            "ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " '" + path + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return path;
    }

    // Pixels of the video mark (its non-black ones) that the slot's picture shows where
    // the mark belongs, as a share of all of them.
    double markShown(int k, int side)
    {
        const wxImage pic = strip->slot(k)->thumbnail().ConvertToImage();
        const wxImage mark = loadSkinPicture("video.bmp", side, side).ConvertToImage();
        const int ox = (pic.GetWidth() - side) / 2, oy = (pic.GetHeight() - side) / 2;
        int total = 0, same = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const unsigned char r = mark.GetRed(x, y), g = mark.GetGreen(x, y),
                                    b = mark.GetBlue(x, y);
                if (r == 0 && g == 0 && b == 0)
                    continue;
                ++total;
                same += pic.GetRed(ox + x, oy + y) == r && pic.GetGreen(ox + x, oy + y) == g &&
                        pic.GetBlue(ox + x, oy + y) == b;
            }
        return total ? double(same) / total : 0.0;
    }

    // Share of the picture's pixels within tol of the colour (RGB).
    double shareOf(int k, int r, int g, int b, int tol = 40)
    {
        return windowpixels::shareNear(strip->slot(k)->thumbnail().ConvertToImage(), r, g, b, tol);
    }

    // Slot k as the screen shows it once slot 0's last change is painted (the toolkit paints
    // every pending change of the window in one pass); slot 0 is compared below its delete
    // icon.
    wxImage onScreen(int k)
    {
        const wxImage want = strip->slot(0)->shown().ConvertToImage();
        const int from = 3 * want.GetWidth() * (rectOf(strip->deleteIcon(0)).GetBottom() + 1);
        const bool painted = pumpUntil([&] {
            const wxImage now = windowpixels::shown(strip->slot(0));
            return now.IsOk() && now.GetSize() == want.GetSize() &&
                   std::equal(want.GetData() + from,
                              want.GetData() + 3 * want.GetWidth() * want.GetHeight(),
                              now.GetData() + from);
        });
        EXPECT_TRUE(painted);
        return windowpixels::shown(strip->slot(k));
    }

    void expectRect(const wxWindow* w, int x, int y, int width, int height)
    {
        EXPECT_EQ(rectOf(w), wxRect(x, y, width, height)) << w->GetId();
    }
};

} // namespace

TEST_F(StripThumbnails, LayoutAtTheReferenceSize)
{
    photos(4);
    strip->scanFolder(FilterAll);
    strip->layoutPanel(10, 20, 184, 652);
    for (int i = 0; i < 3; ++i)
        expectRect(strip->filterButton(i), 10 + 32 + 52 * i, 28, 48, 54);
    expectRect(strip->prevButton(), 10 + 54, 20 + 78, 108, 36);
    expectRect(strip->nextButton(), 10 + 54, 20 + 652 - 46, 108, 36);
    for (int k = 0; k < 4; ++k) {
        expectRect(strip->slot(k), 42, 20 + 131 + 115 * k, 152, 115);
        expectRect(strip->deleteIcon(k), 122, 6, 24, 24);
        EXPECT_TRUE(strip->deleteIcon(k)->IsShown());
    }
    EXPECT_EQ(strip->slot(0)->thumbnail().GetSize(), wxSize(148, 111));
}

TEST_F(StripThumbnails, LayoutOfATallerAWiderAndAHalfSizeStrip)
{
    strip->layoutPanel(0, 0, 184, 1000);
    for (int k = 0; k < 4; ++k)
        expectRect(strip->slot(k), 32, 305 + 115 * k, 152, 115);

    strip->layoutPanel(0, 0, 300, 652);
    for (int k = 0; k < 4; ++k)
        expectRect(strip->slot(k), 87, 123 + 119 * k, 157, 119);
    expectRect(strip->filterButton(0), 32, 8, 48, 54);

    strip->layoutPanel(0, 0, 92, 326);
    for (int i = 0; i < 3; ++i)
        expectRect(strip->filterButton(i), 16 + 26 * i, 4, 24, 27);
    for (int k = 0; k < 4; ++k) {
        expectRect(strip->slot(k), 16, 64 + 58 * k, 76, 58);
        expectRect(strip->deleteIcon(k), 61, 3, 12, 12);
    }
}

TEST_F(StripThumbnails, FullScreenHidesTheStrip)
{
    photos(2);
    strip->scanFolder(FilterAll);
    frame->toggleFullScreen();
    pumpEvents(50);
    for (int k = 0; k < 4; ++k)
        EXPECT_FALSE(strip->slot(k)->IsShown());
    EXPECT_FALSE(strip->filterButton(0)->IsShown());
    EXPECT_FALSE(strip->prevButton()->IsShown());
    frame->toggleFullScreen();
    pumpEvents(50);
    EXPECT_TRUE(strip->slot(3)->IsShown());
    EXPECT_TRUE(strip->deleteIcon(1)->IsShown());
    EXPECT_FALSE(strip->deleteIcon(2)->IsShown());
}

TEST_F(StripThumbnails, TheSelectionFrameIsYellowAndEightPixelsWide)
{
    photos(1);
    strip->scanFolder(FilterAll);
    strip->layoutPanel(0, 0, 184, 652);
    enterBrowse(0);
    const wxImage shown = strip->slot(0)->shown().ConvertToImage();
    for (const wxPoint p : {wxPoint(0, 0), wxPoint(3, 50), wxPoint(151, 114), wxPoint(76, 1)}) {
        EXPECT_EQ(shown.GetRed(p.x, p.y), 255) << p.x << "," << p.y;
        EXPECT_EQ(shown.GetGreen(p.x, p.y), 255);
        EXPECT_EQ(shown.GetBlue(p.x, p.y), 0);
    }
    // Inside the frame the photo shows.
    EXPECT_NE(shown.GetBlue(76, 57), 0);
}

TEST_F(StripThumbnails, RecordedVideoShowsItsFirstFrameWithTheMark)
{
    const std::string name = startRecording(cv::Size(320, 240), march7()).name;
    ASSERT_FALSE(name.empty());
    for (int i = 0; i < 3; ++i) {
        clock->advance(70);
        ASSERT_TRUE(writeRecordingFrame(cv::Mat(240, 320, CV_8UC3, cv::Scalar(255, 0, 0))));
    }
    // What the recording came to hands its file to the strip.
    showCaptureResult(finishRecording());
    g_VideoWriter.reset();
    ASSERT_EQ(page()[0], name);
    EXPECT_EQ(strip->slot(0)->kind, SlotVideo);
    EXPECT_TRUE(strip->slot(0)->captureOpen());
    strip->layoutPanel(0, 0, 184, 652);
    EXPECT_EQ(markShown(0, 80), 1.0);
    EXPECT_GT(shareOf(0, 0, 0, 255), 0.5); // blue frame around the mark
    EXPECT_TRUE(strip->slot(0)->durationText().empty());
}

TEST_F(StripThumbnails, FfmpegClipsUnderAllAndUnderVideo)
{
    ffmpegClip("a 75 s.avi",
               "-f lavfi -i color=c=red:size=160x120:rate=15 -t 75 -c:v mpeg4 -vtag DIVX");
    ffmpegClip("b h264.MOV",
               "-f lavfi -i color=c=green:size=160x120:rate=25 -t 3 -c:v libx264 -pix_fmt yuv420p");
    strip->scanFolder(FilterAll);
    strip->layoutPanel(0, 0, 184, 652);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(strip->slot(k)->kind, SlotVideo);
        EXPECT_EQ(markShown(k, 80), 1.0) << k;
    }
    EXPECT_GT(shareOf(0, 255, 0, 0), 0.5);
    EXPECT_GT(shareOf(1, 0, 128, 0), 0.5);

    strip->scanFolder(FilterVideo);
    strip->layoutPanel(0, 0, 184, 652);
    EXPECT_EQ(strip->slot(0)->durationText(), " 0 :  1 : 15");
    EXPECT_EQ(strip->slot(1)->durationText(), " 0 :  0 :  3");
    EXPECT_LT(markShown(0, 80), 0.5);
    EXPECT_GT(shareOf(0, 255, 255, 255, 0), 0.0); // the white label
    EXPECT_GT(shareOf(0, 255, 0, 0), 0.5);
}

TEST_F(StripThumbnails, TheMarkShrinksOnASmallSlot)
{
    ffmpegClip("clip.avi",
               "-f lavfi -i color=c=red:size=160x120:rate=15 -t 1 -c:v mpeg4 -vtag DIVX");
    strip->scanFolder(FilterAll);
    strip->layoutPanel(0, 0, 92, 326);
    ASSERT_EQ(strip->slot(0)->thumbnail().GetSize(), wxSize(72, 54));
    EXPECT_EQ(markShown(0, 50), 1.0);
}

TEST_F(StripThumbnails, DamagedAndEmptyVideosShowBlankNeverThePreviousPicture)
{
    // The slots first show green photos.
    photo("1.jpg", cv::Scalar(0, 255, 0));
    photo("2.jpg", cv::Scalar(0, 255, 0));
    strip->scanFolder(FilterAll);
    ASSERT_GT(shareOf(0, 0, 255, 0), 0.9);
    const std::string good = ffmpegClip(
        "good.avi", "-f lavfi -i color=c=red:size=160x120:rate=15 -t 5 -c:v mpeg4 -vtag DIVX");
    std::string bytes = readFile(good);
    TempDir scratch;
    scratch.write("damaged.avi", bytes.substr(0, 3000));
    fs::remove(storage + "/1.jpg");
    fs::remove(storage + "/2.jpg");
    fs::remove(good);
    fs::copy_file(scratch / "damaged.avi", storage + "/1 damaged.avi");
    std::ofstream(storage + "/2 empty.avi").flush();
    strip->scanFolder(FilterAll);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(strip->slot(k)->kind, SlotVideo);
        EXPECT_EQ(shareOf(k, 0, 255, 0), 0.0) << k;
        EXPECT_EQ(markShown(k, 80), 1.0) << k;
    }
    strip->scanFolder(FilterVideo);
    EXPECT_EQ(strip->slot(1)->durationText(), "--");
    EXPECT_EQ(shareOf(1, 0, 255, 0), 0.0);
    EXPECT_LT(markShown(1, 80), 0.5);
}

TEST_F(StripThumbnails, ARateOfZeroOrAnUnknownFrameCountHasAGuardedDuration)
{
    // A QuickTime clip whose video track states a time scale of 0: the capture reads a
    // frame rate below 1; the movie header still knows the length.
    const std::string mov = ffmpegClip(
        "zero fps.mov",
        "-f lavfi -i color=c=blue:size=160x120:rate=15 -t 2 -c:v libx264 -pix_fmt yuv420p");
    std::string bytes = readFile(mov);
    const size_t mdhd = bytes.find("mdhd");
    ASSERT_NE(mdhd, std::string::npos);
    ASSERT_EQ(bytes[mdhd + 4], 0); // version 0: the time scale follows two 32-bit times
    bytes.replace(mdhd + 4 + 4 + 8, 4, std::string(4, '\0'));
    std::ofstream(mov, std::ios::binary | std::ios::trunc) << bytes;
    {
        cv::VideoCapture cap(mov, cv::CAP_FFMPEG);
        ASSERT_TRUE(cap.isOpened());
        ASSERT_LT(cap.get(cv::CAP_PROP_FPS), 1.0);
    }
    // A bare MPEG-4 stream: no container, no frame count.
    ffmpegClip("raw stream.avi",
               "-f lavfi -i color=c=blue:size=160x120:rate=15 -t 2 -c:v mpeg4 -f m4v");
    strip->scanFolder(FilterVideo);
    ASSERT_EQ(page()[0], "raw stream.avi");
    EXPECT_EQ(strip->slot(0)->durationText(), "--");
    EXPECT_EQ(strip->slot(1)->durationText(), " 0 :  0 :  2");
    EXPECT_GT(shareOf(1, 0, 0, 255), 0.5);
}

TEST_F(StripThumbnails, EachLayoutShowsTheNextFrameOfTheOpenFile)
{
    const std::string clip = storage + "/steps.avi";
    {
        cv::VideoWriter w(clip, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('D', 'I', 'V', 'X'), 15,
                          cv::Size(64, 48));
        w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(0, 0, 255)));
        w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(255, 0, 0)));
    }
    strip->scanFolder(FilterVideo);
    strip->layoutPanel(0, 0, 184, 652); // the second frame: blue
    EXPECT_GT(shareOf(0, 0, 0, 255), 0.5);
    strip->layoutPanel(0, 0, 184, 652); // past the end: the last frame stays
    EXPECT_GT(shareOf(0, 0, 0, 255), 0.5);
}

TEST_F(StripThumbnails, PagingReusesAPhotoOnlyWhileItsFileIsUnchanged)
{
    photos(5);
    strip->scanFolder(FilterAll); // 2 3 4 5
    // 4.jpg is rewritten with another picture while it is shown.
    cv::imwrite(storage + "/4.jpg", cv::Mat(60, 80, CV_8UC3, cv::Scalar(0, 0, 255)));
    strip->pageNext(); // 3 4 5 1
    ASSERT_EQ(page()[1], "4.jpg");
    EXPECT_GT(shareOf(1, 255, 0, 0), 0.9);
    const wxImage before = strip->slot(2)->thumbnail().ConvertToImage();
    strip->pagePrev(); // 2 3 4 5: 5.jpg moves on to slot 3 with the same picture
    EXPECT_TRUE(sameBitmap(wxBitmap(before), strip->slot(3)->thumbnail()));
}

TEST_F(StripThumbnails, ASlotWhoseFileIsGoneIsBlankOnTheScreen)
{
    // Deleting the last listed file while viewing it: the frame moves off the cleared slot.
    photos(2);
    strip->scanFolder(FilterAll);
    enterBrowse(1);
    strip->setDeleteQuestion([] { return true; });
    strip->deleteFile(1);
    EXPECT_EQ(strip->slot(1)->kind, SlotEmpty);
    EXPECT_TRUE(windowpixels::allBlack(onScreen(1)));

    // A filter that lists fewer files than slots.
    photos(3);
    std::ofstream(storage + "/4.avi").flush();
    strip->scanFolder(FilterAll);
    enterBrowse(3);
    strip->scanFolder(FilterVideo);
    for (int k = 1; k < 4; ++k)
        EXPECT_TRUE(windowpixels::allBlack(onScreen(k))) << k;

    // A rescan after files left the folder.
    strip->scanFolder(FilterAll);
    enterBrowse(3);
    fs::remove(storage + "/3.jpg");
    fs::remove(storage + "/4.avi");
    strip->scanFolder(FilterAll);
    for (int k = 2; k < 4; ++k) {
        EXPECT_TRUE(windowpixels::allBlack(onScreen(k))) << k;
        EXPECT_FALSE(strip->deleteIcon(k)->IsShown()) << k;
    }
}
