#include "browse/orvex_browse_state.h"

#include "app/browse_panel_base.h"
#include "app/orvex_frame.h"
#include "app/skin_bitmap.h"

namespace {
constexpr int kTab = 2;
constexpr int kTabId = 12301;
constexpr int kTabY = 133;
}  // namespace

COrvexBrowseState::COrvexBrowseState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StateBrowse, origin)
{
    m_origin = origin;
    createTabButton(kTab, kTabId, kTabY);
}

bool COrvexBrowseState::canEnter()
{
    return !g_BrowsePanel || g_BrowsePanel->fileCount() > 0;
}

void COrvexBrowseState::enter()
{
    if (g_MainFrame && g_MainFrame->fullScreenButton())
        g_MainFrame->fullScreenButton()->Show();
    m_active = true;
    showTabPicture();
    g_StatusText.clear();
}

void COrvexBrowseState::leave()
{
    m_active = false;
    showTabPicture();
}

void COrvexBrowseState::relayout(wxBitmap topLeft, wxBitmap side, wxBitmap topBar, wxBitmap)
{
    hideAll();
    layoutTab(topLeft);
    layoutSide(side);
    layoutBars(side, topBar);
    showAll();
}

void COrvexBrowseState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexBrowseState::hideAll()
{
    m_tabButton->Hide();
}

void COrvexBrowseState::showAll()
{
    m_tabButton->Show();
}

void COrvexBrowseState::keyEscape()
{
    switchState(StatePreview);
}
