#include "setup/orvex_setup_state.h"

#include "app/orvex_frame.h"
#include "app/screen_base.h"
#include "app/skin_bitmap.h"

namespace {
constexpr int kTab = 3;
constexpr int kTabId = 12302;
constexpr int kTabY = 246;
}  // namespace

COrvexSetupState::COrvexSetupState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StateSetup, origin)
{
    m_origin = origin;
    createTabButton(kTab, kTabId, kTabY);
}

void COrvexSetupState::enter()
{
    if (g_MainFrame && g_MainFrame->fullScreenButton())
        g_MainFrame->fullScreenButton()->Hide();
    if (g_Screen)
        g_Screen->Hide();
    m_active = true;
    g_StatusText.clear();
    showTabPicture();
}

void COrvexSetupState::leave()
{
    m_active = false;
    showTabPicture();
    if (g_Screen)
        g_Screen->Show();
    if (g_MainFrame)
        g_MainFrame->takeFocus();
}

void COrvexSetupState::relayout(wxBitmap topLeft, wxBitmap side, wxBitmap, wxBitmap)
{
    hideAll();
    layoutTab(topLeft);
    layoutSide(side);
    showAll();
}

void COrvexSetupState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexSetupState::hideAll()
{
    m_tabButton->Hide();
}

void COrvexSetupState::showAll()
{
    m_tabButton->Show();
}

void COrvexSetupState::keyEscape()
{
    switchState(StatePreview);
}
