#include "app/orvex_state.h"

#include "app/data_files.h"
#include "app/label_drawing.h"
#include "app/shell_parts.h"
#include "app/skin_bitmap.h"
#include "app/skin_geometry.h"
#include "app/tab_host.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "platform/clock.h"

#include <wx/dcmemory.h>

TabHost* g_TabHost = nullptr;
COrvexState* g_CurrentState = nullptr;
std::vector<COrvexState*> g_States;
COrvexScreenBase* g_Screen = nullptr;
COrvexBrowsePanelBase* g_BrowsePanel = nullptr;

COrvexState::COrvexState(wxWindow* parent, int id, const wxPoint& origin)
    : wxWindow(parent, wxID_ANY, origin, wxDefaultSize, 0, wxPanelNameStr), m_id(id)
{
    Hide();
}

COrvexState::~COrvexState()
{
    if (g_CurrentState == this)
        g_CurrentState = nullptr;
}

void COrvexState::setMirror(bool on)
{
    if (g_SettleTime <= 0)
        g_Mirror = on;
}

void COrvexState::setRotation(int quarterTurns)
{
    if (g_SettleTime <= 0)
        g_Rotation = quarterTurns;
}

wxBitmap COrvexState::makeZoomLabel(int level, wxBitmap bitmap)
{
    g_ZoomFactor = 1.0f - static_cast<float>(level) * 0.5f / 20.0f;
    if (!(g_ZoomFactor < 1.0f) || !bitmap.IsOk())
        return bitmap;
    const double magnification = 1.0 / g_ZoomFactor;
    wxString text = wxString::Format("%.1fx", magnification * magnification);
    wxBitmap copy = bitmap.GetSubBitmap(wxRect(0, 0, bitmap.GetWidth(), bitmap.GetHeight()));
    drawZoomText(copy, text);
    return copy;
}

bool COrvexState::canEnter() { return true; }
bool COrvexState::allowsFullScreen() const { return true; }
void COrvexState::enter() {}
void COrvexState::leave() {}
void COrvexState::deviceArrived(bool) {}
void COrvexState::deviceRemoved(bool) {}
void COrvexState::onTimer() {}
void COrvexState::runBackground() {}
bool COrvexState::holdsSwitch(int) { return false; }
void COrvexState::snapshotPress() {}
void COrvexState::snapshotRelease() {}
void COrvexState::toggleRecord() {}
void COrvexState::releaseFrame() {}
void COrvexState::releaseMedia() {}
void COrvexState::releaseVanishedMedia() {}
void COrvexState::openFile(const std::string&) {}
void COrvexState::relayout(const TabLayout&) {}
void COrvexState::hideAll() {}
void COrvexState::showAll() {}
void COrvexState::wheelStep(int) {}
void COrvexState::keyLeft() {}
void COrvexState::keyRight() {}
void COrvexState::keySpace() {}
void COrvexState::keyCtrlR() {}
void COrvexState::keyEnter() {}
void COrvexState::keyCtrlP() {}
void COrvexState::keyCtrlS() {}
void COrvexState::keyEscape() {}
void COrvexState::keyF1() {}
void COrvexState::keyF2() {}
void COrvexState::keyF3() {}
wxString COrvexState::statusText() { return wxString(); }
wxColour COrvexState::statusColour() { return wxColour(0, 0, 0); }
cv::Mat* COrvexState::grabFrame() { return nullptr; }
uint32_t COrvexState::frameTakenAt() const { return platform::clock().tickCount(); }

cv::Size COrvexState::fileFrameSize(const cv::Mat& frame) const { return frame.size(); }

namespace {
const char* tabPictureName(int n, bool focus)
{
    static const char* names[3][2] = {{"tab1_up.bmp", "tab1_focus.bmp"},
                                      {"tab2_up.bmp", "tab2_focus.bmp"},
                                      {"tab3_up.bmp", "tab3_focus.bmp"}};
    return names[(n - 1) % 3][focus ? 1 : 0];
}
}  // namespace

void COrvexState::createTabButton(int n, wxWindowID windowId, int designY)
{
    m_tabNumber = n;
    m_tabPictures[0] = loadSkinPicture(tabPictureName(n, false));
    m_tabPictures[1] = loadSkinPicture(tabPictureName(n, true));
    m_tabButton = new SkinBitmap(GetParent(), windowId, m_tabPictures[0], wxPoint(84, designY),
                                 wxSize(50, 108));
    m_tabButton->Bind(wxEVT_LEFT_DOWN, &COrvexState::onTabButtonDown, this);
}

void COrvexState::layoutTabButton(const wxBitmap& topLeft, int n, int designY)
{
    const int a = topLeft.IsOk() ? topLeft.GetWidth() : 136;
    const int b = topLeft.IsOk() ? topLeft.GetHeight() : 368;
    SkinRect r = tabButtonRect(a, b, designY);
    m_tabPictures[0] = loadSkinPicture(tabPictureName(n, false), r.w, r.h);
    m_tabPictures[1] = loadSkinPicture(tabPictureName(n, true), r.w, r.h);
    if (!m_tabButton)
        return;
    m_tabButton->SetSize(r.x, r.y, r.w, r.h);
    showTabPicture();
}

void COrvexState::showTabPicture()
{
    if (m_tabButton)
        m_tabButton->show(m_tabPictures[m_active ? 1 : 0]);
}

void COrvexState::onTabButtonDown(wxMouseEvent& event)
{
    event.Skip();
    switchState(m_tabNumber);
}

void buildStates(COrvexScreenBase* screen, COrvexBrowsePanelBase* browsePanel, wxWindow* parent)
{
    g_Screen = screen;
    g_BrowsePanel = browsePanel;
    const wxPoint origin(136, 16);
    g_States.clear();
    auto* placeholder = new COrvexState(parent, StatePlaceholder, origin);
    g_States.push_back(placeholder);
    g_CurrentState = placeholder;
    ShellParts& parts = shellParts();
    for (auto* maker : {&parts.preview, &parts.browse, &parts.setup})
        if (*maker)
            g_States.push_back((*maker)(parent, origin));
    switchState(StatePreview);
}

void switchState(int id)
{
    for (COrvexState* s : g_States) {
        if (s->id() != id)
            continue;
        if (!g_CurrentState || g_CurrentState->id() == id || !s->canEnter() || g_SettleTime > 0 ||
            recordingRuns())
            return;
        if (g_CurrentState->holdsSwitch(id))
            return;
        g_CurrentState->leave();
        if (g_TabHost)
            g_TabHost->keepKeysReaching();
        s->m_previous = g_CurrentState;
        g_CurrentState = s;
        s->enter();
        if (g_TabHost)
            g_TabHost->showFullScreenButton(s->allowsFullScreen());
        return;
    }
}

void clearStates()
{
    g_States.clear();
    g_CurrentState = nullptr;
    g_Screen = nullptr;
    g_BrowsePanel = nullptr;
}
