#include "strip_fixture.h"
#include "support/widget_input.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace fs = std::filesystem;

using StripCatalogue = StripFixture;

TEST_F(StripCatalogue, FiveCapturesPageThroughARing)
{
    photos(5);
    strip->scanFolder(FilterAll);
    EXPECT_EQ(strip->start(), 1);
    EXPECT_EQ(page(), (Names{"2.jpg", "3.jpg", "4.jpg", "5.jpg"}));
    strip->pageNext();
    EXPECT_EQ(page(), (Names{"3.jpg", "4.jpg", "5.jpg", "1.jpg"}));
    strip->pageNext();
    strip->pageNext();
    strip->pageNext();
    EXPECT_EQ(page(), (Names{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));

    strip->scanFolder(FilterAll);
    strip->pagePrev();
    EXPECT_EQ(page(), (Names{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
    strip->pagePrev();
    EXPECT_EQ(page(), (Names{"5.jpg", "1.jpg", "2.jpg", "3.jpg"}));
    // Outside viewing nothing is opened and no slot is framed.
    EXPECT_TRUE(browse->opened.empty());
    EXPECT_EQ(framed(), -1);
}

TEST_F(StripCatalogue, ThreeCapturesDoNotPage)
{
    photos(3);
    strip->scanFolder(FilterAll);
    EXPECT_EQ(page(), (Names{"1.jpg", "2.jpg", "3.jpg", ""}));
    strip->pageNext();
    strip->pagePrev();
    EXPECT_EQ(page(), (Names{"1.jpg", "2.jpg", "3.jpg", ""}));
    EXPECT_EQ(strip->slot(3)->kind, SlotEmpty);
    pumpEvents(20);
    EXPECT_FALSE(strip->deleteIcon(3)->IsShown());
    EXPECT_TRUE(strip->deleteIcon(2)->IsShown());
}

TEST_F(StripCatalogue, FiltersListTheirKindOfAnyCaseAndLightTheirButton)
{
    photo("a.JPG");
    photo("b.jpg");
    fs::copy_file(storage + "/a.JPG", storage + "/c.Avi");
    fs::copy_file(storage + "/a.JPG", storage + "/d.MOV");
    fs::create_directory(storage + "/e.avi");
    photo(".f.jpg");
    photo("g.png");
    strip->scanFolder(FilterVideo);
    EXPECT_EQ(strip->files().size(), 2u);
    EXPECT_EQ(page(), (Names{"c.Avi", "d.MOV", "", ""}));
    const wxSize b = strip->filterButton(0)->GetSize();
    EXPECT_TRUE(sameBitmap(strip->filterButton(2)->shown(),
                           loadSkinPicture("browse_video_on.bmp", b.x, b.y)));
    EXPECT_TRUE(sameBitmap(strip->filterButton(0)->shown(),
                           loadSkinPicture("browse_all_off.bmp", b.x, b.y)));
    strip->scanFolder(FilterPhoto);
    EXPECT_EQ(page(), (Names{"a.JPG", "b.jpg", "", ""}));
    strip->scanFolder(FilterAll);
    EXPECT_EQ(page(), (Names{"a.JPG", "b.jpg", "c.Avi", "d.MOV"}));
    EXPECT_EQ(strip->slot(0)->kind, SlotPhoto);
    EXPECT_EQ(strip->slot(2)->kind, SlotVideo);
}

TEST_F(StripCatalogue, AddFileFollowsTheFilter)
{
    photos(2);
    strip->scanFolder(FilterPhoto);
    // A recording that ends under the Photo filter stays out of the list.
    const std::string avi = storage + "/9.avi";
    std::ofstream(avi) << "not really a video";
    strip->addFile(avi);
    EXPECT_EQ(strip->files().size(), 2u);
    std::ofstream(storage + "/3.txt") << "notes";
    strip->addFile(storage + "/3.txt");
    EXPECT_EQ(strip->files().size(), 2u);

    strip->scanFolder(FilterVideo);
    strip->addFile(photo("4.jpg"));
    EXPECT_EQ(strip->files().size(), 1u);

    // Under All, not viewing: appended and the page jumps to the newest four.
    photos(5);
    strip->scanFolder(FilterAll);
    strip->pagePrev();
    strip->pagePrev();
    strip->addFile(photo("6.jpg"));
    EXPECT_EQ(strip->files().back(), storage + "/6.jpg");
    EXPECT_EQ(page(), (Names{"4.jpg", "5.jpg", "9.avi", "6.jpg"}));
    // A file a rescan already listed is listed once.
    strip->scanFolder(FilterAll);
    strip->addFile(storage + "/6.jpg");
    EXPECT_EQ(std::count(strip->files().begin(), strip->files().end(), storage + "/6.jpg"), 1);
}

TEST_F(StripCatalogue, ASnapshotWhileViewingAWrappedPageKeepsTheSelectedFile)
{
    photos(5);
    strip->scanFolder(FilterAll);
    strip->pageNext(); // 3 4 5 1
    enterBrowse(2);
    EXPECT_EQ(browse->opened, (Names{"5.jpg"}));
    strip->addFile(photo("6.jpg"));
    EXPECT_EQ(page()[2], "5.jpg");
    EXPECT_EQ(framed(), 2);
    EXPECT_EQ(browse->opened, (Names{"5.jpg"}));

    // Viewing the newest file: the page moves on so that the slot still shows it.
    strip->selectSlot(3);
    const std::string shown = page()[3];
    strip->addFile(photo("7.jpg"));
    EXPECT_EQ(page()[3], shown);
}

TEST_F(StripCatalogue, ViewingMovesTheFrameAndScrollsOnlyAtThePageEnds)
{
    photos(5);
    strip->scanFolder(FilterAll);
    enterBrowse(1);
    EXPECT_EQ(framed(), 1);
    EXPECT_EQ(browse->opened, (Names{"3.jpg"}));
    strip->pageNext();
    strip->pageNext();
    EXPECT_EQ(framed(), 3);
    EXPECT_EQ(page(), (Names{"2.jpg", "3.jpg", "4.jpg", "5.jpg"}));
    strip->pageNext(); // at the last slot: the page scrolls
    EXPECT_EQ(framed(), 3);
    EXPECT_EQ(page(), (Names{"3.jpg", "4.jpg", "5.jpg", "1.jpg"}));
    EXPECT_EQ(browse->opened, (Names{"3.jpg", "4.jpg", "5.jpg", "1.jpg"}));
    strip->pagePrev();
    EXPECT_EQ(framed(), 2);
    EXPECT_EQ(browse->opened.back(), "5.jpg");
}

TEST_F(StripCatalogue, NoKeepsEverything)
{
    photos(3);
    strip->scanFolder(FilterAll);
    enterBrowse(1);
    int asked = 0;
    strip->setDeleteQuestion([&] {
        ++asked;
        EXPECT_TRUE(sameBitmap(strip->deleteIcon(1)->shown(), strip->deletePicture(1)));
        return false;
    });
    strip->deleteFile(1);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(fs::exists(storage + "/2.jpg"));
    EXPECT_EQ(strip->files().size(), 3u);
    EXPECT_EQ(framed(), 1);
    EXPECT_TRUE(browse->events.empty());
    EXPECT_TRUE(sameBitmap(strip->deleteIcon(1)->shown(), strip->deletePicture(0)));
}

TEST_F(StripCatalogue, DeletingTheOnlyFileWhileViewingReturnsToThePreview)
{
    photos(1);
    strip->scanFolder(FilterAll);
    enterBrowse(0);
    strip->setDeleteQuestion([] { return true; });
    const uint64_t before = clock->tickCount();
    strip->deleteFile(0);
    EXPECT_FALSE(fs::exists(storage + "/1.jpg"));
    EXPECT_EQ(browse->events, (Names{"release"}));
    EXPECT_GE(clock->tickCount() - before, 100u);
    EXPECT_TRUE(strip->files().empty());
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(strip->slot(k)->kind, SlotEmpty);
}

TEST_F(StripCatalogue, DeletingInTheMiddleMovesTheSelectionBack)
{
    photos(3);
    strip->scanFolder(FilterAll);
    enterBrowse(2);
    strip->setDeleteQuestion([] { return true; });
    strip->deleteFile(2);
    EXPECT_FALSE(fs::exists(storage + "/3.jpg"));
    EXPECT_TRUE(fs::exists(storage + "/2.jpg"));
    EXPECT_EQ(framed(), 1);
    EXPECT_EQ(browse->opened.back(), "2.jpg");
    EXPECT_EQ(page(), (Names{"1.jpg", "2.jpg", "", ""}));
    EXPECT_FALSE(strip->deleteIcon(2)->IsShown());
}

TEST_F(StripCatalogue, DeletingTheNewestOnTheLastPageLeavesItWrapped)
{
    photos(5);
    strip->scanFolder(FilterAll);
    enterBrowse(3);
    strip->setDeleteQuestion([] { return true; });
    strip->deleteFile(3);
    EXPECT_FALSE(fs::exists(storage + "/5.jpg"));
    EXPECT_EQ(page(), (Names{"2.jpg", "3.jpg", "4.jpg", "1.jpg"}));
    EXPECT_EQ(framed(), 3);
    EXPECT_EQ(browse->opened.back(), "1.jpg");
}

TEST_F(StripCatalogue, DeletionLetsGoOfTheVideoFirstAndRemovesOnlyThatFile)
{
    const std::string clip = storage + "/clip one.avi";
    {
        cv::VideoWriter w(clip, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('D', 'I', 'V', 'X'), 15,
                          cv::Size(64, 48));
        for (int i = 0; i < 5; ++i)
            w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(0, 0, 255)));
    }
    photo("other.jpg");
    strip->scanFolder(FilterAll);
    ASSERT_EQ(page()[0], "clip one.avi");
    enterBrowse(0);
    EXPECT_TRUE(strip->slot(0)->captureOpen());
    strip->setDeleteQuestion([&] {
        // Still open while the user is asked.
        EXPECT_TRUE(strip->slot(0)->captureOpen());
        return true;
    });
    strip->deleteFile(0);
    EXPECT_FALSE(fs::exists(clip));
    EXPECT_TRUE(fs::exists(storage + "/other.jpg"));
    EXPECT_EQ(page(), (Names{"other.jpg", "", "", ""}));
    EXPECT_EQ(browse->events, (Names{"release"}));
}

TEST_F(StripCatalogue, DeletionNeverFollowsALinkNorRemovesAFolder)
{
    TempDir elsewhere;
    const std::string precious = elsewhere.write("precious.jpg", readFile(photo("x.jpg")));
    fs::remove(storage + "/x.jpg");
    fs::create_symlink(precious, storage + "/link.jpg");
    strip->scanFolder(FilterAll);
    ASSERT_EQ(page()[0], "link.jpg");
    strip->setDeleteQuestion([] { return true; });
    strip->deleteFile(0);
    EXPECT_FALSE(fs::is_symlink(storage + "/link.jpg"));
    EXPECT_TRUE(fs::exists(precious));

    // A listed entry that has become a folder since the scan stays.
    photo("dir.jpg");
    strip->scanFolder(FilterAll);
    fs::remove(storage + "/dir.jpg");
    fs::create_directory(storage + "/dir.jpg");
    strip->deleteFile(0);
    EXPECT_TRUE(fs::is_directory(storage + "/dir.jpg"));
    EXPECT_TRUE(strip->files().empty());
}

TEST_F(StripCatalogue, NamesWithSpacesAndNonAsciiLettersAreShownOpenedAndDeleted)
{
    const std::string name = "Prüfung Rohr 7 – 重要.jpg";
    photo(name, cv::Scalar(0, 255, 0));
    strip->scanFolder(FilterAll);
    ASSERT_EQ(page()[0], name);
    EXPECT_EQ(strip->slot(0)->kind, SlotPhoto);
    const wxImage thumb = strip->slot(0)->thumbnail().ConvertToImage();
    EXPECT_EQ(thumb.GetGreen(10, 10), 255);
    EXPECT_EQ(thumb.GetRed(10, 10), 0);
    enterBrowse(0);
    EXPECT_EQ(browse->opened, (Names{name}));
    strip->setDeleteQuestion([] { return true; });
    strip->deleteFile(0);
    EXPECT_FALSE(fs::exists(storage + "/" + name));
}

TEST_F(StripCatalogue, ClicksDuringARecordingOrTheSettleTimeDoNothing)
{
    photos(5);
    strip->scanFolder(FilterAll);
    frame->Raise();
    pumpEvents(50);
    if (!xinput::available())
        GTEST_SKIP() << "no XTEST on this display";
    int asked = 0;
    strip->setDeleteQuestion([&] {
        ++asked;
        return false;
    });
    // Each click lands on another control than the one before, so none becomes a double click.
    auto clickAndSettle = [&](wxWindow* w) {
        ASSERT_TRUE(clickOnWindow(w));
        pumpEvents(150);
    };
    g_SettleTime = 500;
    clickAndSettle(strip->slot(1));
    clickAndSettle(strip->filterButton(1));
    clickAndSettle(strip->deleteIcon(2));
    strip->pageNext();
    g_SettleTime = 0;
    g_VideoWriter = std::make_unique<cv::VideoWriter>();
    clickAndSettle(strip->slot(2));
    clickAndSettle(strip->filterButton(2));
    strip->pagePrev();
    g_VideoWriter.reset();
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_EQ(strip->filter(), FilterAll);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(page(), (Names{"2.jpg", "3.jpg", "4.jpg", "5.jpg"}));

    // The same clicks when idle act.
    clickAndSettle(strip->deleteIcon(3));
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(clickOnWindow(strip->slot(1)));
    ASSERT_TRUE(pumpUntil([&] { return g_CurrentState == browse; }));
    EXPECT_EQ(browse->opened, (Names{"3.jpg"}));
    clickAndSettle(strip->filterButton(1));
    EXPECT_EQ(strip->filter(), FilterPhoto);
}

// The question asked for real: the GTK dialog answered with key presses on the X server.
TEST_F(StripCatalogue, TheQuestionDefaultsToNoAndYesDeletes)
{
    if (!xinput::available() || std::system("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "no XTEST or xdotool";
    photos(2);
    strip->scanFolder(FilterAll);
    auto answerWith = [](const std::string& keys) {
        return std::thread([keys] {
            // Waits until the dialog is on the screen, gives it the focus, then types.
            const std::string cmd = "xdotool search --sync --onlyvisible --name '^Question$' "
                                    "windowfocus --sync key --delay 50 " +
                                    keys + " 2>&1";
            std::string said;
            FILE* out = ::popen(cmd.c_str(), "r");
            ASSERT_NE(out, nullptr);
            for (char buf[256]; std::fgets(buf, sizeof buf, out);)
                said += buf;
            const int rc = ::pclose(out);
            EXPECT_EQ(rc, 0) << said;
            if (rc != 0)
                wxTheApp->CallAfter([] { widgetinput::answerOpenDialogsNo(); });
        });
    };
    std::thread answer = answerWith("Return");
    strip->deleteFile(1);
    answer.join();
    EXPECT_TRUE(fs::exists(storage + "/2.jpg"));
    EXPECT_EQ(strip->files().size(), 2u);

    answer = answerWith("alt+y");
    strip->deleteFile(1);
    answer.join();
    EXPECT_FALSE(fs::exists(storage + "/2.jpg"));
    EXPECT_EQ(strip->files().size(), 1u);
}

// The frame's keys drive the real strip: paging, filters, selection and deletion.
TEST_F(StripCatalogue, KeysPageFilterSelectAndDelete)
{
    photos(5);
    std::ofstream(storage + "/6.avi") << "x";
    strip->scanFolder(FilterAll);
    frame->Raise();
    if (!xinput::available())
        GTEST_SKIP() << "no XTEST on this display";
    const wxPoint c = screenCentre(frame->background());
    xinput::moveTo(c.x, c.y);
    pumpEvents(50);
    frame->takeFocus();
    pumpEvents(50);
    auto press = [&](const char* keys, const std::function<bool()>& done) {
        ASSERT_TRUE(xinput::key(keys));
        EXPECT_TRUE(pumpUntil(done)) << keys;
    };
    press("Next", [&] { return strip->start() == 3; });
    EXPECT_EQ(page(), (Names{"4.jpg", "5.jpg", "6.avi", "1.jpg"}));
    press("Prior", [&] { return strip->start() == 2; });
    press("alt+v", [&] { return strip->filter() == FilterVideo; });
    EXPECT_EQ(page(), (Names{"6.avi", "", "", ""}));
    press("alt+p", [&] { return strip->filter() == FilterPhoto; });
    press("alt+a", [&] { return strip->filter() == FilterAll; });
    press("3", [&] { return g_CurrentState == browse; });
    EXPECT_EQ(framed(), 2);
    EXPECT_EQ(browse->opened, (Names{"5.jpg"}));
    strip->setDeleteQuestion([] { return true; });
    press("Delete", [&] { return !fs::exists(storage + "/5.jpg"); });
    EXPECT_EQ(strip->files().size(), 5u);
}
