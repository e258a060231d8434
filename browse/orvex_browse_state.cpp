#include "browse/orvex_browse_state.h"

#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/notice.h"
#include "app/screen_base.h"
#include "app/skin_bitmap.h"
#include "app/status_text.h"
#include "browse/bounded_photo.h"
#include "browse/orvex_browse_panel.h"
#include "browse/orvex_video_control_box.h"
#include "capture/preview_layout.h"
#include "capture/zoom_control.h"
#include "pipeline/capture_state.h"
#include "platform/display_text.h"

#include <algorithm>

namespace
{
constexpr int kTab = 2;
constexpr int kTabY = 133;
constexpr int kToolIds[3] = {ID_BROWSE_SNAPSHOT, ID_BROWSE_MIRROR, ID_BROWSE_ROTATE};
const char* const kToolPictures[6] = {"snap_release.bmp",   "snap_click.bmp",
                                      "mirror_release.bmp", "mirror_click.bmp",
                                      "rotate_release.bmp", "rotate_click.bmp"};
constexpr int kRefW = 148, kRefH = 652;

COrvexBrowsePanel* strip()
{
    return dynamic_cast<COrvexBrowsePanel*>(g_BrowsePanel);
}
} // namespace

COrvexBrowseState::COrvexBrowseState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StateBrowse, origin)
{
    m_origin = origin;
    m_panel = origin;
    createTabButton(kTab, ID_TAB_BROWSE, kTabY);

    loadToolPictures(108, 108);
    for (size_t i = 0; i < 3; ++i) {
        auto* b = new SkinBitmap(parent, kToolIds[i], m_toolPictures[2 * i],
                                 wxPoint(origin.x + 4, origin.y + 4 + 113 * static_cast<int>(i)),
                                 wxSize(108, 108));
        b->Bind(wxEVT_LEFT_DOWN, &COrvexBrowseState::onToolDown, this);
        b->Hide();
        m_tools[i] = b;
    }

    m_zoom = std::make_unique<ZoomControl>(*this, parent, origin);

    m_player = new COrvexVideoControlBox(parent, wxPoint(origin.x + 148, origin.y + 544),
                                         wxSize(652, 108));
}

COrvexBrowseState::~COrvexBrowseState()
{
    m_player->Destroy();
    m_zoom.reset();
    for (SkinBitmap* b : m_tools)
        b->Destroy();
    // The tab button goes with the background window.
}

void COrvexBrowseState::loadToolPictures(int w, int h)
{
    for (size_t i = 0; i < 6; ++i)
        m_toolPictures[i] = loadSkinPicture(kToolPictures[i], w, h);
}

SkinBitmap* COrvexBrowseState::toolButton(int id) const
{
    for (size_t i = 0; i < 3; ++i)
        if (kToolIds[i] == id)
            return m_tools[i];
    return nullptr;
}

void COrvexBrowseState::showToolPicture(Tool t, bool click)
{
    m_tools[t]->show(m_toolPictures[2 * static_cast<size_t>(t) + (click ? 1 : 0)]);
}

// ---- Tab life -------------------------------------------------------------------------------

bool COrvexBrowseState::canEnter()
{
    return !g_BrowsePanel || g_BrowsePanel->fileCount() > 0;
}

void COrvexBrowseState::enter()
{
    m_active = true;
    showTabPicture();
    for (SkinBitmap* b : m_tools)
        b->Show();
    m_zoom->show(true);
    m_zoom->reset();
    m_mirrorOn = false;
    m_toolLook[1] = false;
    showToolPicture(ToolMirror, false);
    setMirror(false);
    m_rotationStep = 0;
    m_toolLook[2] = false;
    showToolPicture(ToolRotate, false);
    setRotation(0);
    m_status.clear();
    if (COrvexBrowsePanel* panel = strip())
        panel->setViewing(true);
}

void COrvexBrowseState::leave()
{
    m_active = false;
    showTabPicture();
    m_zoom->show(false);
    hideTools();
    m_player->visible = false;
    m_player->hidePlayerControls();
    if (COrvexBrowsePanel* panel = strip())
        panel->setViewing(false);
    // A frame save asked for here must not be taken from the live picture instead.
    if (m_snapshotHeld) {
        dropFrameSnapshot();
        snapshotRelease();
    }
    m_frame.release();
    m_blank.release();
    m_work.release();
}

void COrvexBrowseState::hideTools()
{
    for (SkinBitmap* b : m_tools)
        b->Hide();
}

void COrvexBrowseState::onTimer()
{
    g_StatusText = statusText();
    g_StatusColour = statusColour();
}

wxString COrvexBrowseState::statusText()
{
    return m_status;
}

wxColour COrvexBrowseState::statusColour()
{
    return wxColour(255, 255, 255);
}

// ---- The picture ------------------------------------------------------------------------------

void COrvexBrowseState::openFile(const std::string& path)
{
    m_frame.release();
    m_blank.release();
    m_path = path;
    m_opened = identityOf(path);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    // "name.ext", as the status has always shown it (a name without extension ends in a dot).
    m_status = platform::displayText(dot == std::string::npos || dot == 0 ? name + "." : name);
    const SlotKind kind = slotKindOf(path);
    if (kind == SlotPhoto) {
        m_isVideo = 0;
        m_player->visible = false;
        m_player->hidePlayerControls();
        m_tools[ToolSnapshot]->Hide();
        placeTools(false, m_column.spacing);
        m_frame = decodePhotoBounded(path);
        if (m_frame.empty())
            showUnreadable(name);
    } else if (kind == SlotVideo) {
        m_isVideo = 1;
        placeTools(true, m_column.spacing);
        if (m_active)
            m_tools[ToolSnapshot]->Show();
        m_player->visible = m_active;
        m_player->showPlayerControls();
        m_player->openVideo(path);
    }
}

void COrvexBrowseState::showUnreadable(const std::string& name)
{
    // Black over the whole screen, or the previous picture would stand under this name.
    wxSize s(640, 480);
    if (g_Screen)
        s = g_Screen->GetClientSize();
    m_blank = cv::Mat::zeros(std::max(s.y, 1), std::max(s.x, 1), CV_8UC3);
    showFailureNotice("Cannot read " + platform::displayText(name));
}

void COrvexBrowseState::placeTools(bool video, int spacing)
{
    const int x = m_column.x, y = m_column.y, h = m_column.height;
    const int first = video ? 1 : 0;
    m_tools[ToolSnapshot]->Move(x, y);
    m_tools[ToolMirror]->Move(x, y + first * (h + spacing));
    m_tools[ToolRotate]->Move(x, y + (first + 1) * (h + spacing));
    for (SkinBitmap* b : m_tools)
        b->Refresh();
}

cv::Mat* COrvexBrowseState::grabFrame()
{
    const cv::Mat* source = nullptr;
    if (m_isVideo == 1)
        source = m_player->nextFrame();
    else if (!m_frame.empty())
        source = &m_frame;
    else if (!m_blank.empty())
        source = &m_blank;
    if (!source)
        return nullptr;
    // The screen writes into the frame only for a pass that saves it; every other pass only
    // reads it, so the picture is lent rather than copied (a photo is tens of megabytes).
    if (g_SnapInRecord || g_SnapPending)
        m_work = source->clone();
    else
        m_work = *source;
    return &m_work;
}

void COrvexBrowseState::releaseFrame()
{
    // Dropping the loan lets the player decode the next frame into its own buffer again.
    m_work.release();
}

void COrvexBrowseState::releaseMedia()
{
    m_work.release();
    m_player->closeVideo();
}

void COrvexBrowseState::releaseVanishedMedia()
{
    if (m_path.empty() || identityOf(m_path) == m_opened)
        return;
    releaseMedia();
    m_frame.release();
    m_path.clear();
}

// ---- Tools, keys, zoom ---------------------------------------------------------------------

void COrvexBrowseState::onToolDown(wxMouseEvent& event)
{
    event.Skip();
    switch (event.GetId()) {
    case ID_BROWSE_SNAPSHOT:
        snapshotPressed();
        break;
    case ID_BROWSE_MIRROR:
        mirrorToggle();
        break;
    case ID_BROWSE_ROTATE:
        rotateStep();
        break;
    default:
        break;
    }
}

void COrvexBrowseState::snapshotPressed()
{
    // The screen saves the frame of its next pass; without a frame there is nothing to save
    // and the request would wait for the next tab's picture.
    if (m_isVideo != 1 || !m_player->hasVideo() || m_player->frameCopy().empty())
        return;
    m_snapshotHeld = true;
    snapshotDue(true);
    clearNotice();
    showToolPicture(ToolSnapshot, true);
}

void COrvexBrowseState::snapshotRelease()
{
    m_snapshotHeld = false;
    showToolPicture(ToolSnapshot, false);
}

void COrvexBrowseState::mirrorToggle()
{
    m_mirrorOn = !m_mirrorOn;
    setMirror(m_mirrorOn);
    m_toolLook[1] = m_mirrorOn;
    showToolPicture(ToolMirror, m_mirrorOn);
}

void COrvexBrowseState::rotateStep()
{
    m_rotationStep = (m_rotationStep + 1) % 4;
    setRotation(m_rotationStep);
    m_toolLook[2] = m_rotationStep > 0;
    showToolPicture(ToolRotate, m_toolLook[2]);
}

void COrvexBrowseState::keySpace()
{
    if (m_isVideo == 1)
        snapshotPressed();
}

void COrvexBrowseState::keyEnter()
{
    mirrorToggle();
}

void COrvexBrowseState::keyF2()
{
    rotateStep();
}

void COrvexBrowseState::keyCtrlP()
{
    if (m_isVideo != 1)
        return;
    if (m_player->playState() == PlayPaused)
        m_player->play();
    else if (m_player->playState() == PlayPlaying)
        m_player->pause();
}

void COrvexBrowseState::keyCtrlS()
{
    if (m_isVideo == 1)
        m_player->stop();
}

void COrvexBrowseState::keyEscape()
{
    switchState(StatePreview);
}

void COrvexBrowseState::wheelStep(int delta)
{
    m_zoom->step(delta);
}

// ---- Layout -------------------------------------------------------------------------------------

void COrvexBrowseState::relayout(const TabLayout& layout)
{
    const wxBitmap& side = layout.side;
    const wxBitmap& bottomBar = layout.bottomBar;
    hideAll();
    layoutTab(layout.topLeft);
    layoutSide(layout);
    layoutBars(side, layout.topBar);
    const int W2 = side.IsOk() ? side.GetWidth() : kRefW;
    const int H2 = side.IsOk() ? side.GetHeight() : kRefH;
    const int H4 = bottomBar.IsOk() ? bottomBar.GetHeight() : 108;
    m_player->layoutPlayer(bottomBar, m_panel.x + W2, m_panel.y + H2 - H4);
    showAll();
}

void COrvexBrowseState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexBrowseState::layoutSide(const TabLayout& layout)
{
    const wxBitmap& side = layout.side;
    const int W2 = side.IsOk() ? side.GetWidth() : kRefW;
    const int H2 = side.IsOk() ? side.GetHeight() : kRefH;
    m_panel = wxPoint(layout.sideTile.x, layout.sideTile.y);
    const ToolColumn c = toolColumn(W2, H2, m_panel.x, m_panel.y);
    const SkinRect& first = c.buttons[0];
    loadToolPictures(first.w, first.h);
    for (SkinBitmap* b : m_tools)
        b->SetSize(std::max(first.w, 1), std::max(first.h, 1));
    showToolPicture(ToolSnapshot, m_snapshotHeld);
    showToolPicture(ToolMirror, m_toolLook[1]);
    showToolPicture(ToolRotate, m_toolLook[2]);
    m_column.x = first.x;
    m_column.y = first.y;
    m_column.height = first.h;
    // Files opened later are spaced by the top margin, as they always were.
    m_column.spacing = first.y - m_panel.y;
    m_layoutSpacing = c.buttons[1].y - first.y - first.h;
    placeTools(m_isVideo == 1, m_layoutSpacing);
}

void COrvexBrowseState::layoutBars(wxBitmap side, wxBitmap topBar)
{
    m_zoom->layout(side, topBar, m_panel);
}

void COrvexBrowseState::hideAll()
{
    m_tabButton->Hide();
    hideTools();
    m_zoom->show(false);
    m_player->visible = false;
    m_player->hidePlayerControls();
}

void COrvexBrowseState::showAll()
{
    m_tabButton->Show();
    if (!m_active)
        return;
    if (m_isVideo == 1)
        m_tools[ToolSnapshot]->Show();
    m_tools[ToolMirror]->Show();
    m_tools[ToolRotate]->Show();
    m_zoom->show(true);
    if (m_isVideo == 1) {
        m_player->visible = true;
        m_player->showPlayerControls();
    }
}
