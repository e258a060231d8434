// The setup tab on a real frame: pages, folder choice, stamp choice and what is saved.
#include "app/notice.h"
#include "pipeline/capture_names.h"
#include "setup/orvex_setup_state.h"
#include "setup/setup_layout.h"
#include "support/frame_harness.h"
#include "support/log_capture.h"

#include <wx/dirctrl.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace
{
std::string readFile(const wxString& path)
{
    std::ifstream in(toUtf8(path));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The pixels that are clearly red: the stamp's colour, not the sample picture's.
std::vector<wxPoint> redPixels(const wxBitmap& bmp)
{
    std::vector<wxPoint> out;
    const wxImage img = bmp.ConvertToImage();
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x)
            if (img.GetRed(x, y) > 150 && img.GetGreen(x, y) < 90 && img.GetBlue(x, y) < 90)
                out.emplace_back(x, y);
    return out;
}
} // namespace

class SetupTab : public FrameFixture
{
protected:
    void SetUp() override
    {
        FrameFixture::SetUp();
        for (COrvexState* s : g_States)
            if (s->id() == StateSetup)
                setup = dynamic_cast<COrvexSetupState*>(s);
        ASSERT_NE(setup, nullptr);
        storage = toUtf8(g_StoragePath);
        ASSERT_TRUE(fs::is_directory(storage));
    }

    void enterSetup()
    {
        switchState(StateSetup);
        ASSERT_EQ(g_CurrentState, setup);
        pumpEvents(30);
    }

    std::string config() const { return readFile(g_ConfigPath); }

    COrvexSetupState* setup = nullptr;
    std::string storage;
};

class SetupTabWithProbePanel : public FrameWithProbePanel
{
protected:
    void SetUp() override
    {
        FrameWithProbePanel::SetUp();
        for (COrvexState* s : g_States)
            if (s->id() == StateSetup)
                setup = dynamic_cast<COrvexSetupState*>(s);
        ASSERT_NE(setup, nullptr);
        storage = toUtf8(g_StoragePath);
    }

    wxTreeCtrl* treeCtrl() const { return setup->tree()->GetTreeCtrl(); }
    // The tree's item for path, selected on the way.
    wxTreeItemId select(const std::string& path)
    {
        setup->tree()->SetPath(fromPathBytes(path));
        return treeCtrl()->GetSelection();
    }
    wxString label(const std::string& path) { return treeCtrl()->GetItemText(select(path)); }
    // Types name into the label editor of path's item and commits it, as Enter does.
    void renameInTree(const std::string& path, const std::string& name)
    {
        const wxTreeItemId item = select(path);
        ASSERT_EQ(toUtf8(setup->tree()->GetPath()), path);
        treeCtrl()->EditLabel(item);
        ASSERT_NE(treeCtrl()->GetEditControl(), nullptr);
        treeCtrl()->GetEditControl()->SetValue(fromPathBytes(name));
        treeCtrl()->EndEditLabel(item, false);
        pumpEvents(30);
    }

    COrvexSetupState* setup = nullptr;
    std::string storage;
};

TEST_F(SetupTab, FirstVisitShowsTheFolderPageWithBothIconsOff)
{
    enterSetup();
    EXPECT_EQ(setup->pageMode(), 0);
    EXPECT_TRUE(setup->tree()->IsShown());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(setup->button(i)->IsShown());
    EXPECT_FALSE(setup->sampleView()->IsShown());
    EXPECT_FALSE(screen->IsShown());
    const wxSize icon = setup->icon(0)->GetSize();
    EXPECT_TRUE(
        sameBitmap(setup->icon(0)->shown(), loadSkinPicture("select_dir_off.bmp", icon.x, icon.y)));
    EXPECT_TRUE(
        sameBitmap(setup->icon(1)->shown(), loadSkinPicture("timestamp_off.bmp", icon.x, icon.y)));
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), storage);
}

TEST_F(SetupTab, RealClicksChooseAFormatAndAFolder)
{
    const std::string chosen = storage + "/inspection";
    fs::create_directory(chosen);
    // Into the tab through its button, as the user does.
    ASSERT_TRUE(clickOnWindow(setup->tabButton()));
    ASSERT_TRUE(pumpUntil([&] { return g_CurrentState == setup; }));
    ASSERT_TRUE(clickOnWindow(setup->icon(1)));
    ASSERT_TRUE(
        pumpUntil([&] { return setup->pageMode() == 1 && setup->radio(2)->IsShownOnScreen(); }));
    const std::string before = config();
    ASSERT_TRUE(clickOnWindow(setup->radio(2)));
    ASSERT_TRUE(pumpUntil([&] { return setup->chosenStamp() == 2; }));
    EXPECT_EQ(config(), before) << "a radio alone saves nothing";
    ASSERT_TRUE(clickOnWindow(setup->icon(0)));
    ASSERT_TRUE(pumpUntil([&] { return setup->pageMode() == 0; }));
    EXPECT_EQ(g_TimeStamp, 2);
    EXPECT_NE(config().find("TIMESTAMP 2\n"), std::string::npos);

    setup->tree()->SetPath(wxString::FromUTF8(chosen));
    ASSERT_TRUE(pumpUntil([&] { return setup->button(0)->IsShownOnScreen(); }));
    ASSERT_TRUE(clickOnWindow(setup->button(0)));
    ASSERT_TRUE(pumpUntil([&] { return toUtf8(g_StoragePath) == chosen; }));
    EXPECT_NE(config().find("PATH " + chosen + "\n"), std::string::npos);
    EXPECT_EQ(toUtf8(storageFile("next.jpg")), chosen + "/next.jpg")
        << "the next capture goes there";
    // The click picture holds for four ticks.
    const wxSize b = setup->button(0)->GetSize();
    EXPECT_TRUE(
        sameBitmap(setup->button(0)->shown(), loadSkinPicture("confirm_click.bmp", b.x, b.y)));
    tick(3);
    EXPECT_TRUE(
        sameBitmap(setup->button(0)->shown(), loadSkinPicture("confirm_click.bmp", b.x, b.y)));
    tick(1);
    EXPECT_TRUE(
        sameBitmap(setup->button(0)->shown(), loadSkinPicture("confirm_release.bmp", b.x, b.y)));
}

TEST_F(SetupTab, TheSameFormatAgainRewritesNothingAndLeavingTheTabSaves)
{
    g_TimeStamp = 2;
    enterSetup();
    setup->showStampPage();
    EXPECT_TRUE(setup->radio(2)->GetValue());
    const std::string marked = config() + "# kept\n";
    std::ofstream(toUtf8(g_ConfigPath)) << marked;
    setup->chooseStamp(2);
    switchState(StatePreview);
    EXPECT_EQ(config(), marked);

    enterSetup();
    EXPECT_EQ(setup->pageMode(), 1) << "the page survives tab switches";
    setup->chooseStamp(3);
    switchState(StatePreview);
    EXPECT_EQ(g_TimeStamp, 3);
    EXPECT_NE(config().find("TIMESTAMP 3\n"), std::string::npos);

    // What a restart reads back.
    const wxString programDir = g_ProgramDir;
    resetDataFileValues();
    g_ProgramDir = programDir;
    readStringsFile();
    openDataFiles();
    EXPECT_EQ(g_TimeStamp, 3);
}

TEST_F(SetupTab, CancelTakesTheTreeBackAndSavesNothing)
{
    fs::create_directory(storage + "/other");
    enterSetup();
    const std::string before = config();
    setup->tree()->SetPath(wxString::FromUTF8(storage + "/other"));
    ASSERT_EQ(toUtf8(setup->tree()->GetPath()), storage + "/other");
    setup->cancel();
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), storage);
    EXPECT_EQ(toUtf8(g_StoragePath), storage);
    EXPECT_EQ(config(), before);
}

// The tree's item for a folder, or an invalid id when the tree does not list it.
static wxTreeItemId treeItem(wxTreeCtrl* tree, const wxTreeItemId& from, const std::string& path)
{
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree->GetFirstChild(from, cookie); c.IsOk();
         c = tree->GetNextChild(from, cookie)) {
        auto* data = dynamic_cast<wxDirItemData*>(tree->GetItemData(c));
        if (data && toUtf8(data->m_path) == path)
            return c;
        if (const wxTreeItemId found = treeItem(tree, c, path); found.IsOk())
            return found;
    }
    return {};
}

TEST_F(SetupTab, FoldersTheUserOpenedStayOpenAndFoldersMadeSinceShow)
{
    fs::create_directories(storage + "/site/pipe");
    enterSetup();
    setup->tree()->ExpandPath(wxString::FromUTF8(storage + "/site"));
    switchState(StatePreview);
    fs::create_directory(storage + "/later");
    enterSetup();
    wxTreeCtrl* tree = setup->tree()->GetTreeCtrl();
    const wxTreeItemId site = treeItem(tree, tree->GetRootItem(), storage + "/site");
    ASSERT_TRUE(site.IsOk());
    EXPECT_TRUE(tree->IsExpanded(site));
    EXPECT_TRUE(treeItem(tree, site, storage + "/site/pipe").IsOk());
    EXPECT_TRUE(treeItem(tree, tree->GetRootItem(), storage + "/later").IsOk());
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), storage);
}

// A log line that starts with text and ends with the reason's ")" and its own line feed.
static bool endsLine(const std::string& log, const std::string& text)
{
    const size_t at = log.find(text);
    const size_t end = at == std::string::npos ? at : log.find('\n', at);
    return end != std::string::npos && log[end - 1] == ')';
}

TEST_F(SetupTab, ConfirmRefusesAVanishedOrReadOnlyFolder)
{
    LogCapture log;
    const std::string gone = storage + "/gone";
    fs::create_directory(gone);
    enterSetup();
    setup->tree()->SetPath(wxString::FromUTF8(gone));
    fs::remove(gone);
    const std::string before = config();
    showNotice(wxString());
    setup->confirm();
    EXPECT_EQ(toUtf8(g_StoragePath), storage);
    EXPECT_EQ(config(), before);
    // Whole lines, so the next one does not run on; and the user is told, in red.
    EXPECT_TRUE(log.has("Storage folder not changed: " + gone + " is not a folder"));
    EXPECT_TRUE(noticeIsFailure());
    EXPECT_EQ(g_LastFileName, "Storage folder not changed: it is not a folder");

    // A read-only file system refuses even the superuser.
    if (::access("/proc/sys", W_OK) == 0)
        GTEST_SKIP() << "no read-only folder on this machine";
    setup->tree()->SetPath("/proc/sys");
    if (setup->tree()->GetPath() != "/proc/sys")
        GTEST_SKIP() << "the tree cannot reach /proc/sys";
    showNotice(wxString());
    setup->confirm();
    EXPECT_EQ(toUtf8(g_StoragePath), storage);
    EXPECT_EQ(config(), before);
    EXPECT_TRUE(endsLine(log.text(), "Storage folder not changed: /proc/sys is not writable ("));
    EXPECT_TRUE(noticeIsFailure());
}

TEST_F(SetupTab, AddFolderTakesTheFirstFreeNameAndChoosesNothing)
{
    fs::create_directory(storage + "/DCIM");
    fs::create_directory(storage + "/DCIM (2)");
    fs::create_directory(storage + "/empty");
    enterSetup();
    const std::string before = config();
    setup->addFolder();
    EXPECT_TRUE(fs::is_directory(storage + "/DCIM (3)"));
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), storage) << "the new folder is not selected";

    setup->tree()->SetPath(wxString::FromUTF8(storage + "/empty"));
    setup->addFolder();
    EXPECT_TRUE(fs::is_directory(storage + "/empty/DCIM"));
    EXPECT_EQ(toUtf8(g_StoragePath), storage);
    EXPECT_EQ(config(), before);
}

TEST_F(SetupTab, AddFolderThatCannotBeCreatedIsLogged)
{
    if (::access("/proc/sys", W_OK) == 0)
        GTEST_SKIP() << "no read-only folder on this machine";
    LogCapture log;
    enterSetup();
    setup->tree()->SetPath("/proc/sys");
    if (setup->tree()->GetPath() != "/proc/sys")
        GTEST_SKIP() << "the tree cannot reach /proc/sys";
    const std::string before = config();
    setup->addFolder();
    EXPECT_TRUE(endsLine(log.text(), "Folder /proc/sys/DCIM could not be created ("));
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), "/proc/sys");
    EXPECT_EQ(toUtf8(g_StoragePath), storage);
    EXPECT_EQ(config(), before);
}

TEST_F(SetupTab, FormatOutsideTheFourShowsWhatItStampsAndStaysUntilTheUserPicksOne)
{
    // A hand-edited value stamps year first, so the page shows year first.
    g_TimeStamp = 9;
    const std::string before = config();
    enterSetup();
    setup->showStampPage();
    EXPECT_TRUE(setup->radio(1)->GetValue());
    EXPECT_FALSE(setup->radio(0)->GetValue());
    EXPECT_EQ(setup->chosenStamp(), 1);
    EXPECT_FALSE(redPixels(setup->sampleView()->shown()).empty()) << "the sample is stamped";
    setup->showFolderPage();
    switchState(StatePreview);
    EXPECT_EQ(g_TimeStamp, 9);
    EXPECT_EQ(config(), before);

    enterSetup();
    setup->showStampPage();
    setup->chooseStamp(0);
    setup->showFolderPage();
    EXPECT_EQ(g_TimeStamp, 0);
    EXPECT_NE(config().find("TIMESTAMP 0\n"), std::string::npos);
}

TEST_F(SetupTab, FailedSaveKeepsTheChoiceAndSaysSo)
{
    LogCapture log;
    const wxString oldConfig = g_ConfigPath;
    g_ConfigPath = wxString::FromUTF8(home / "no/such/folder/config.txt");
    enterSetup();
    setup->showStampPage();
    setup->chooseStamp(3);
    setup->showFolderPage();
    EXPECT_EQ(g_TimeStamp, 3);
    EXPECT_NE(log.text().find("Settings could not be saved"), std::string::npos);
    g_ConfigPath = oldConfig;
}

TEST_F(SetupTab, SampleLayoutAndTheRedStampWhereItBelongs)
{
    enterSetup();
    setup->showStampPage();
    pumpEvents(30);
    const wxSize page = setup->pagePanel()->GetSize();
    const SetupSample want = setupSample(page.x, page.y);
    EXPECT_EQ(rectOf(setup->sampleView()),
              wxRect(want.sample.x, want.sample.y, want.sample.w, want.sample.h));
    for (int i = 0; i < 4; ++i) {
        const wxRect r = rectOf(setup->radio(i));
        EXPECT_EQ(r.GetPosition(), wxPoint(want.radioX, want.radioY + i * want.radioStep));
        EXPECT_EQ(r.width, want.radioW);
    }

    setup->chooseStamp(0);
    EXPECT_TRUE(redPixels(setup->sampleView()->shown()).empty());
    setup->chooseStamp(1);
    const std::vector<wxPoint> red = redPixels(setup->sampleView()->shown());
    ASSERT_FALSE(red.empty());
    wxRect box(red.front(), red.front());
    for (const wxPoint& p : red)
        box.Union(wxRect(p, wxSize(1, 1)));
    // The text measured on the 640 x 480 sample, then scaled to the view.
    int baseline = 0;
    const cv::Size text =
        cv::getTextSize("0000/00/00 00:00:00", cv::FONT_HERSHEY_SIMPLEX, 1.0, 1, &baseline);
    const double sx = want.sample.w / 640.0, sy = want.sample.h / 480.0;
    const int baseY = 480 - text.height - 8;
    EXPECT_NEAR(box.GetLeft(), 16 * sx, 3);
    // The slashes reach below the baseline, by at most the font's descent.
    EXPECT_GE(box.GetBottom(), baseY * sy - 2);
    EXPECT_LE(box.GetBottom(), (baseY + baseline) * sy + 2);
    EXPECT_NEAR(box.GetTop(), (baseY - text.height) * sy, 3);
    EXPECT_NEAR(box.GetRight(), (16 + text.width) * sx, 4);
}

TEST_F(SetupTab, EscapeGoesBackToTheLiveView)
{
    enterSetup();
    setup->keyEscape();
    EXPECT_EQ(g_CurrentState->id(), StatePreview);
    EXPECT_FALSE(setup->pagePanel()->IsShown());
    EXPECT_TRUE(screen->IsShown());
}

TEST_F(SetupTabWithProbePanel, ConfirmRescansTheStripInTheChosenFolder)
{
    const std::string chosen = toUtf8(g_StoragePath) + "/site";
    fs::create_directory(chosen);
    switchState(StateSetup);
    setup->tree()->SetPath(wxString::FromUTF8(chosen));
    panel->calls.clear();
    setup->confirm();
    EXPECT_EQ(toUtf8(g_StoragePath), chosen);
    ASSERT_EQ(panel->calls.size(), 1u);
    EXPECT_EQ(panel->calls[0].rfind("scan", 0), 0u);
}

TEST_F(SetupTabWithProbePanel, RenameNeverTakesAnExistingNameAndTheStoragePathFollows)
{
    LogCapture log;
    const std::string site = storage + "/site", notes = storage + "/notes.txt";
    const std::string text = "forty-three bytes the user wrote by hand.\n\n";
    ASSERT_EQ(text.size(), 43u);
    fs::create_directory(site);
    fs::create_directory(storage + "/taken");
    fs::create_symlink(storage + "/nowhere", storage + "/link");
    std::ofstream(notes) << text;
    ::chmod(notes.c_str(), 0640);
    switchState(StateSetup);
    pumpEvents(30);

    for (const char* name : {"notes.txt", "taken", "link", "", ".", "..", "a/b"}) {
        SCOPED_TRACE(name);
        g_LastFileName.clear();
        renameInTree(site, name);
        EXPECT_EQ(treeCtrl()->GetEditControl(), nullptr) << "the editor closes";
        EXPECT_TRUE(fs::is_directory(site));
        EXPECT_EQ(label(site), "site");
        EXPECT_TRUE(noticeIsFailure());
        EXPECT_EQ(g_LastFileName.rfind("Folder not renamed: ", 0), 0u) << g_LastFileName;
    }
    struct stat st {
    };
    ASSERT_EQ(::stat(notes.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(fromPathBytes(notes)), text);
    EXPECT_TRUE(fs::is_symlink(storage + "/link"));
    EXPECT_TRUE(fs::is_directory(storage + "/taken"));
    const std::string refused =
        "Folder " + site + " not renamed to notes.txt: name already in use\n";
    EXPECT_NE(log.text().find(refused), std::string::npos) << log.text();

    // The storage folder, and then a folder above it, renamed: the path follows each time,
    // is saved, and the strip lists the folder anew.
    select(site);
    setup->confirm();
    panel->calls.clear();
    renameInTree(site, "site 2");
    EXPECT_EQ(toUtf8(g_StoragePath), storage + "/site 2");
    const std::string moved = fs::path(storage).parent_path().string() + "/moved";
    renameInTree(storage, "moved");
    EXPECT_TRUE(fs::is_directory(moved + "/site 2"));
    EXPECT_EQ(toUtf8(setup->tree()->GetPath()), moved);
    EXPECT_EQ(label(moved), "moved");
    EXPECT_EQ(label(moved + "/site 2"), "site 2") << "the folders below keep their places";
    EXPECT_EQ(toUtf8(g_StoragePath), moved + "/site 2");
    EXPECT_NE(readFile(g_ConfigPath).find("PATH " + moved + "/site 2\n"), std::string::npos);
    const std::string scan = "scan" + std::to_string(FilterAll);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{scan, scan}));
    EXPECT_NE(log.text().find("Folder " + storage + " renamed to " + moved + "\n"),
              std::string::npos);
}

TEST_F(SetupTabWithProbePanel, KeysTypedIntoTheLabelEditorStayThere)
{
    if (!xinput::available())
        GTEST_SKIP() << "no XTEST on this display";
    const std::string site = storage + "/site";
    fs::create_directory(site);
    // Keys go where the pointer and the focus are: over the tree, focus on it.
    frame->Raise();
    switchState(StateSetup);
    const wxPoint c = screenCentre(setup->tree());
    xinput::moveTo(c.x, c.y);
    pumpEvents(50);
    select(site);
    treeCtrl()->SetFocus();
    pumpEvents(50);
    panel->calls.clear();
    const auto editor = [&] { return treeCtrl()->GetEditControl(); };
    // Presses the keys of typed and waits until the editor's text ends with them.
    const auto type = [&](const std::string& typed) {
        for (const char ch : typed)
            ASSERT_TRUE(xinput::key(std::string(1, ch)));
        ASSERT_TRUE(pumpUntil([&] { return editor() && editor()->GetValue().EndsWith(typed); }));
    };

    // The edit starts as a slow second click starts it; the keys are real.
    treeCtrl()->EditLabel(treeCtrl()->GetSelection());
    ASSERT_TRUE(pumpUntil([&] { return wxWindow::FindFocus() == editor(); }));
    type("x1");
    ASSERT_TRUE(xinput::key("Escape"));
    ASSERT_TRUE(pumpUntil([&] { return editor() == nullptr; }));
    pumpEvents(50);
    EXPECT_TRUE(fs::is_directory(site)) << "Escape renames nothing";
    EXPECT_EQ(std::distance(fs::directory_iterator(storage), fs::directory_iterator()), 1);
    EXPECT_EQ(label(site), "site");
    EXPECT_EQ(g_CurrentState, setup);
    EXPECT_TRUE(panel->calls.empty()) << panel->calls.front();

    treeCtrl()->EditLabel(treeCtrl()->GetSelection());
    ASSERT_TRUE(pumpUntil([&] { return wxWindow::FindFocus() == editor(); }));
    type("d2");
    const std::string typed = toUtf8(editor()->GetValue());
    ASSERT_TRUE(xinput::key("Return"));
    ASSERT_TRUE(pumpUntil([&] { return fs::is_directory(storage + "/" + typed); }));
    EXPECT_FALSE(fs::exists(site));
    EXPECT_TRUE(panel->calls.empty());

    // The window's keys work again once the editor is gone.
    ASSERT_TRUE(pumpUntil([&] { return editor() == nullptr; }));
    ASSERT_TRUE(xinput::key("1"));
    ASSERT_TRUE(pumpUntil([&] { return !panel->calls.empty(); }));
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"select0"}));
}
