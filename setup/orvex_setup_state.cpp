#include "setup/orvex_setup_state.h"

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/notice.h"
#include "app/screen_base.h"
#include "app/skin_bitmap.h"
#include "app/status_text.h"
#include "app/window_ids.h"
#include "browse/orvex_browse_panel.h"
#include "pipeline/time_stamp.h"
#include "platform/clock.h"
#include "setup/folder_rename.h"
#include "setup/setup_layout.h"

#include <wx/dcclient.h>
#include <wx/dirctrl.h>
#include <wx/image.h>
#include <wx/radiobut.h>
#include <wx/treectrl.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace
{
constexpr int kTab = 3;
constexpr int kTabY = 246;
constexpr int kClickTicks = 4;
const char* const kRadioLabels[4] = {"OFF", "YYYY/MM/DD", "MM/DD/YYYY", "DD/MM/YYYY"};
const char* const kIconNames[4] = {"select_dir_off.bmp", "select_dir_on.bmp", "timestamp_off.bmp",
                                   "timestamp_on.bmp"};
const char* const kButtonNames[6] = {"confirm_release.bmp",        "confirm_click.bmp",
                                     "cancel_release.bmp",         "cancel_click.bmp",
                                     "select_dir_add_release.bmp", "select_dir_add_click.bmp"};

bool validStamp(int format)
{
    return format >= 0 && format <= 3;
}

// The format a TIMESTAMP value stamps with: any value but 0..3 (a hand-edited file) stamps
// year first, so the page shows that.
int shownStamp(int value)
{
    return validStamp(value) ? value : 1;
}

void saveSettings()
{
    if (!writeSettings()) {
        logLine("Settings could not be saved to %s\n", toUtf8(g_ConfigPath).c_str());
        showFailureNotice("Settings not saved");
    }
}

// The strip lists the storage folder anew, keeping its filter.
void rescanStrip()
{
    if (!g_BrowsePanel)
        return;
    auto* strip = dynamic_cast<COrvexBrowsePanel*>(g_BrowsePanel);
    g_BrowsePanel->scanFolder(strip ? strip->filter() : FilterAll);
}

bool isDirectory(const std::string& path)
{
    struct stat st {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

COrvexSetupState::COrvexSetupState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StateSetup, origin)
{
    m_origin = origin;
    createTabButton(kTab, ID_TAB_SETUP, kTabY);
    for (int i = 0; i < 4; ++i)
        m_iconPictures[i] = loadSkinPicture(kIconNames[i]);
    for (int i = 0; i < 6; ++i)
        m_buttonPictures[i] = loadSkinPicture(kButtonNames[i]);

    m_icons[0] = new SkinBitmap(parent, ID_SETUP_FOLDER, m_iconPictures[0], wxDefaultPosition,
                                wxSize(108, 108));
    m_icons[1] = new SkinBitmap(parent, ID_SETUP_STAMP, m_iconPictures[2], wxDefaultPosition,
                                wxSize(108, 108));
    m_page = new SkinBitmap(parent, wxID_ANY, wxNullBitmap, wxDefaultPosition, wxSize(624, 464));
    m_tree = new wxGenericDirCtrl(m_page, wxID_ANY, g_StoragePath, wxPoint(0, 0), wxSize(624, 464),
                                  wxDIRCTRL_DIR_ONLY | wxDIRCTRL_EDIT_LABELS | wxSUNKEN_BORDER,
                                  wxString());
    // Bound on the tree itself, so it runs before the directory control's own handler, which
    // it replaces: that one copies the folder over a file of the chosen name.
    m_tree->GetTreeCtrl()->Bind(wxEVT_TREE_END_LABEL_EDIT, &COrvexSetupState::onEndLabelEdit, this);
    for (int i = 0; i < 4; ++i) {
        m_radios[i] =
            new wxRadioButton(m_page, ID_SETUP_STAMP_FORMAT + i, kRadioLabels[i],
                              wxPoint(40, 20 + 40 * i), wxSize(200, 20), i == 0 ? wxRB_GROUP : 0);
        m_radios[i]->Bind(wxEVT_RADIOBUTTON, &COrvexSetupState::onRadio, this);
    }
    m_sampleView =
        new SkinBitmap(m_page, wxID_ANY, wxNullBitmap, wxPoint(240, 40), wxSize(320, 240));
    const int ids[3] = {ID_SETUP_CONFIRM, ID_SETUP_CANCEL, ID_SETUP_ADD};
    for (int i = 0; i < 3; ++i)
        m_buttons[i] = new SkinBitmap(parent, ids[i], m_buttonPictures[2 * i], wxDefaultPosition,
                                      wxSize(80, 80));
    for (wxWindow* w : {static_cast<wxWindow*>(m_icons[0]), static_cast<wxWindow*>(m_icons[1]),
                        static_cast<wxWindow*>(m_buttons[0]), static_cast<wxWindow*>(m_buttons[1]),
                        static_cast<wxWindow*>(m_buttons[2])}) {
        w->SetBackgroundStyle(wxBG_STYLE_PAINT);
        w->Bind(wxEVT_LEFT_DOWN, &COrvexSetupState::onClick, this);
    }
    m_sampleView->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_sample = cv::imread(toUtf8(resourcePath("sample_view.jpg")), cv::IMREAD_COLOR);
    m_chosenStamp = shownStamp(g_TimeStamp);
    hideAll();
}

COrvexSetupState::~COrvexSetupState()
{
    // The controls sit on the background window, which destroys them with itself.
    m_sample.release();
}

// ---- Clicks and choices ---------------------------------------------------------------------

void COrvexSetupState::onClick(wxMouseEvent& event)
{
    event.Skip();
    switch (event.GetId()) {
    case ID_SETUP_FOLDER:
        showFolderPage();
        break;
    case ID_SETUP_STAMP:
        showStampPage();
        break;
    case ID_SETUP_CONFIRM:
        confirm();
        break;
    case ID_SETUP_CANCEL:
        cancel();
        break;
    case ID_SETUP_ADD:
        addFolder();
        break;
    default:
        break;
    }
}

void COrvexSetupState::onRadio(wxCommandEvent& event)
{
    event.Skip();
    chooseStamp(event.GetId() - ID_SETUP_STAMP_FORMAT);
}

void COrvexSetupState::chooseStamp(int format)
{
    if (!validStamp(format))
        return;
    m_chosenStamp = format;
    m_radios[format]->SetValue(true);
    drawSample(m_chosenStamp);
}

void COrvexSetupState::confirm()
{
    m_buttons[0]->show(m_buttonPictures[1]);
    m_clickTicks[0] = kClickTicks;
    const wxString chosen = m_tree->GetPath();
    const std::string path = toUtf8(chosen);
    // A folder that is gone or closed to us would swallow every later capture.
    if (chosen.empty() || !isDirectory(path)) {
        logLine("Storage folder not changed: %s is not a folder\n", path.c_str());
        showFailureNotice("Storage folder not changed: it is not a folder");
        return;
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        const int err = errno;
        logLine("Storage folder not changed: %s is not writable (%s)\n", path.c_str(),
                std::strerror(err));
        showFailureNotice(
            wxString::FromUTF8("Storage folder not changed: " + std::string(std::strerror(err))));
        return;
    }
    g_StoragePath = chosen;
    rescanStrip();
    saveSettings();
}

void COrvexSetupState::onEndLabelEdit(wxTreeEvent& event)
{
    // Not skipped: the directory control must never see the event.
    if (event.IsEditCancelled())
        return;
    wxTreeCtrl* tree = m_tree->GetTreeCtrl();
    auto* data = dynamic_cast<wxDirItemData*>(tree->GetItemData(event.GetItem()));
    const std::string from = data ? toUtf8(data->m_path) : std::string();
    const std::string name = toUtf8(event.GetLabel());
    const FolderRename r = data ? renameFolder(from, name) : FolderRename{EINVAL, {}};
    if (r.err != 0) {
        const char* reason = renameRefusal(r.err);
        logLine("Folder %s not renamed to %s: %s\n", from.c_str(), name.c_str(), reason);
        showFailureNotice(wxString::Format("Folder not renamed: %s", reason));
        // The label keeps the folder's real name; the editor closes so the notice is seen.
        event.Veto();
        tree->CallAfter([tree] {
            if (tree->GetEditControl())
                tree->EndEditLabel(wxTreeItemId(), true);
        });
        return;
    }
    logLine("Folder %s renamed to %s\n", from.c_str(), r.newPath.c_str());
    // The tree sets the label itself once the event is allowed.
    retargetItem(event.GetItem(), from, r.newPath);
    followStorage(from, r.newPath);
}

void COrvexSetupState::retargetItem(const wxTreeItemId& item, const std::string& from,
                                    const std::string& to)
{
    wxTreeCtrl* tree = m_tree->GetTreeCtrl();
    if (auto* data = dynamic_cast<wxDirItemData*>(tree->GetItemData(item))) {
        const std::string path = followRename(toUtf8(data->m_path), from, to);
        data->SetNewDirName(fromPathBytes(path));
    }
    // Folders listed below keep their places in the tree, at their new paths.
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(item, cookie); child.IsOk();
         child = tree->GetNextChild(item, cookie))
        retargetItem(child, from, to);
}

void COrvexSetupState::followStorage(const std::string& from, const std::string& to)
{
    const std::string storage = toUtf8(g_StoragePath);
    const std::string moved = followRename(storage, from, to);
    if (moved == storage)
        return;
    g_StoragePath = fromPathBytes(moved);
    rescanStrip();
    saveSettings();
}

void COrvexSetupState::cancel()
{
    m_buttons[1]->show(m_buttonPictures[3]);
    m_clickTicks[1] = kClickTicks;
    treeToStorage();
}

void COrvexSetupState::addFolder()
{
    m_buttons[2]->show(m_buttonPictures[5]);
    m_clickTicks[2] = kClickTicks;
    const std::string parent = toUtf8(m_tree->GetPath());
    const std::string name = firstFreeFolderName(
        [&](const std::string& n) { return ::access((parent + "/" + n).c_str(), F_OK) == 0; });
    const std::string path = parent + "/" + name;
    if (::mkdir(path.c_str(), 0777) != 0)
        logLine("Folder %s could not be created (%s)\n", path.c_str(), std::strerror(errno));
    // The new folder is listed but not chosen: the user selects it and confirms.
    const wxString selected = m_tree->GetPath();
    m_tree->ReCreateTree();
    m_tree->SetPath(selected);
}

void COrvexSetupState::commitStamp()
{
    // A hand-edited value is kept until the user picks another format than the one it stamps.
    if (m_chosenStamp == shownStamp(g_TimeStamp))
        return;
    g_TimeStamp = m_chosenStamp;
    saveSettings();
}

namespace
{

// The folders the user has open in the tree, outermost first.
void collectExpanded(wxTreeCtrl* tree, const wxTreeItemId& item, std::vector<wxString>& out)
{
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk();
         c = tree->GetNextChild(item, cookie)) {
        if (!tree->IsExpanded(c))
            continue;
        if (auto* data = dynamic_cast<wxDirItemData*>(tree->GetItemData(c)))
            out.push_back(data->m_path);
        collectExpanded(tree, c, out);
    }
}

} // namespace

void COrvexSetupState::treeToStorage()
{
    // The tree lists what it saw when it was built; folders made since must show up too. What
    // the user opened stays open.
    std::vector<wxString> open;
    wxTreeCtrl* tree = m_tree->GetTreeCtrl();
    collectExpanded(tree, tree->GetRootItem(), open);
    m_tree->ReCreateTree();
    for (const wxString& path : open)
        if (isDirectory(toUtf8(path)))
            m_tree->ExpandPath(path);
    m_tree->SetPath(g_StoragePath);
    m_tree->ExpandPath(g_StoragePath);
}

// ---- Pages -----------------------------------------------------------------------------------

void COrvexSetupState::showIcons()
{
    m_icons[0]->show(m_iconPictures[m_pageActive[0] ? 1 : 0]);
    m_icons[1]->show(m_iconPictures[m_pageActive[1] ? 3 : 2]);
}

void COrvexSetupState::showPageControls(bool show)
{
    const bool folder = show && m_pageMode == 0, stamp = show && m_pageMode == 1;
    m_tree->Show(folder);
    for (int i = 0; i < 3; ++i)
        m_buttons[i]->Show(folder);
    for (wxRadioButton* r : m_radios)
        r->Show(stamp);
    m_sampleView->Show(stamp);
}

void COrvexSetupState::showFolderPage()
{
    m_pageMode = 0;
    m_pageActive[0] = true;
    m_pageActive[1] = false;
    showIcons();
    treeToStorage();
    showPageControls(true);
    commitStamp();
}

void COrvexSetupState::showStampPage()
{
    m_pageMode = 1;
    m_pageActive[0] = false;
    m_pageActive[1] = true;
    showIcons();
    m_chosenStamp = shownStamp(g_TimeStamp);
    m_radios[m_chosenStamp]->SetValue(true);
    drawSample(m_chosenStamp);
    showPageControls(true);
}

// The setup page stands where the picture would.
bool COrvexSetupState::allowsFullScreen() const
{
    return false;
}

void COrvexSetupState::enter()
{
    if (g_Screen)
        g_Screen->Hide();
    m_active = true;
    g_StatusText.clear();
    showTabPicture();
    m_icons[0]->Show();
    m_icons[1]->Show();
    m_page->Show();
    m_chosenStamp = shownStamp(g_TimeStamp);
    if (m_pageMode == 0) {
        treeToStorage();
    } else {
        m_radios[m_chosenStamp]->SetValue(true);
        drawSample(m_chosenStamp);
    }
    showPageControls(true);
}

void COrvexSetupState::leave()
{
    m_active = false;
    commitStamp();
    m_icons[0]->Hide();
    m_icons[1]->Hide();
    showPageControls(false);
    m_page->Hide();
    showTabPicture();
    if (g_Screen)
        g_Screen->Show();
}

void COrvexSetupState::onTimer()
{
    for (int i = 0; i < 3; ++i) {
        if (m_clickTicks[i] <= 0)
            continue;
        if (--m_clickTicks[i] == 0)
            m_buttons[i]->show(m_buttonPictures[2 * i]);
    }
}

void COrvexSetupState::drawSample(int format)
{
    if (m_sample.empty())
        return;
    const std::string text =
        validStamp(format) ? stampText(platform::clock().localTime(), format) : std::string();
    cv::Mat rgb(m_sample.rows, m_sample.cols, CV_8UC3);
    cv::cvtColor(m_sample, rgb, cv::COLOR_BGR2RGB);
    if (!text.empty()) {
        int baseline = 0;
        const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 1.0, 1, &baseline);
        cv::putText(rgb, text, cv::Point(16, rgb.rows - size.height - 8), cv::FONT_HERSHEY_SIMPLEX,
                    1.0, cv::Scalar(255, 0, 0), 1, cv::LINE_AA);
    }
    wxImage image(rgb.cols, rgb.rows, rgb.data, true);
    const wxSize view = m_sampleView->GetSize();
    image.Rescale(std::max(view.x, 1), std::max(view.y, 1), wxIMAGE_QUALITY_NORMAL);
    m_sampleView->show(wxBitmap(image));
}

// ---- Layout ----------------------------------------------------------------------------------

void COrvexSetupState::relayout(const TabLayout& layout)
{
    hideAll();
    layoutTab(layout.topLeft);
    layoutSide(layout);
    layoutButtons(layout);
    layoutPage(layout.pageArea);
    showAll();
}

void COrvexSetupState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexSetupState::layoutSide(const TabLayout& layout)
{
    const wxBitmap& side = layout.side;
    const wxPoint origin(layout.sideTile.x, layout.sideTile.y);
    const SetupIcons r = setupIcons(side.IsOk() ? side.GetWidth() : 148,
                                    side.IsOk() ? side.GetHeight() : 652, origin.x, origin.y);
    for (int i = 0; i < 4; ++i)
        m_iconPictures[i] = loadSkinPicture(kIconNames[i], r.folder.w, r.folder.h);
    m_icons[0]->SetSize(r.folder.x, r.folder.y, std::max(r.folder.w, 1), std::max(r.folder.h, 1));
    m_icons[1]->SetSize(r.stamp.x, r.stamp.y, std::max(r.stamp.w, 1), std::max(r.stamp.h, 1));
    showIcons();
}

void COrvexSetupState::layoutButtons(const TabLayout& layout)
{
    SkinRect bar = layout.bottomBarTile;
    const wxBitmap& bottomBar = layout.bottomBar;
    if (bottomBar.IsOk()) {
        bar.w = bottomBar.GetWidth();
        bar.h = bottomBar.GetHeight();
    }
    const SetupButtons b = setupButtons(bar.x, bar.y, bar.w, bar.h);
    for (int i = 0; i < 6; ++i)
        m_buttonPictures[i] = loadSkinPicture(kButtonNames[i], b.confirm.w, b.confirm.h);
    const SetupRect* rects[3] = {&b.confirm, &b.cancel, &b.add};
    for (int i = 0; i < 3; ++i) {
        m_buttons[i]->SetSize(rects[i]->x, rects[i]->y, std::max(rects[i]->w, 1),
                              std::max(rects[i]->h, 1));
        m_buttons[i]->show(m_buttonPictures[2 * i + (m_clickTicks[i] > 0 ? 1 : 0)]);
    }
}

void COrvexSetupState::layoutPage(const SkinRect& area)
{
    const SetupRect p = setupPage(area.x, area.y, area.w, area.h);
    m_page->SetSize(p.x, p.y, std::max(p.w, 1), std::max(p.h, 1));
    // The tree's scroll bars cannot be laid out below their own size (GTK complains); in a
    // tiny window the page clips a tree of that least size instead.
    const int least = 100;
    m_tree->SetSize(0, 0, std::max(p.w, least), std::max(p.h, least));
    layoutSample();
}

void COrvexSetupState::layoutSample()
{
    const wxSize panel = m_page->GetSize();
    const SetupSample s = setupSample(panel.x, panel.y);
    m_sampleView->SetSize(s.sample.x, s.sample.y, std::max(s.sample.w, 1), std::max(s.sample.h, 1));
    drawSample(m_chosenStamp);

    wxFont font = m_page->GetFont();
    font.SetFaceName("arial");
    wxClientDC dc(m_page);
    int points = 14;
    for (; points > 1; --points) {
        font.SetPointSize(points);
        dc.SetFont(font);
        const wxSize e = dc.GetTextExtent("YYYY/MM/DD");
        if (e.x < s.radioW - 16 && e.y < s.radioH)
            break;
    }
    font.SetPointSize(points);
    for (int i = 0; i < 4; ++i) {
        m_radios[i]->SetFont(font);
        const int textH = m_radios[i]->GetTextExtent(kRadioLabels[i]).y;
        m_radios[i]->SetSize(s.radioX, s.radioY + i * s.radioStep, std::max(s.radioW, 1),
                             std::max(textH, 1));
    }
}

void COrvexSetupState::hideAll()
{
    m_page->Hide();
    m_tabButton->Hide();
    m_tree->Hide();
    m_icons[0]->Hide();
    m_icons[1]->Hide();
    for (SkinBitmap* b : m_buttons)
        b->Hide();
    for (wxRadioButton* r : m_radios)
        r->Hide();
    m_sampleView->Hide();
}

void COrvexSetupState::showAll()
{
    m_tabButton->Show();
    if (!m_active)
        return;
    m_page->Show();
    m_icons[0]->Show();
    m_icons[1]->Show();
    showPageControls(true);
}

void COrvexSetupState::keyEscape()
{
    switchState(StatePreview);
}

wxString COrvexSetupState::statusText()
{
    return wxString();
}

wxColour COrvexSetupState::statusColour()
{
    return *wxBLACK;
}
