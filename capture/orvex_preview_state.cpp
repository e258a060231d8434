#include "capture/orvex_preview_state.h"

#include "app/orvex_frame.h"
#include "app/skin_bitmap.h"

namespace {
constexpr int kTab = 1;
constexpr int kTabId = 12300;
constexpr int kTabY = 20;
}  // namespace

COrvexPreviewState::COrvexPreviewState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StatePreview, origin)
{
    m_origin = origin;
    createTabButton(kTab, kTabId, kTabY);
}

void COrvexPreviewState::enter()
{
    if (g_MainFrame && g_MainFrame->fullScreenButton())
        g_MainFrame->fullScreenButton()->Show();
    m_active = true;
    showTabPicture();
}

void COrvexPreviewState::leave()
{
    m_active = false;
    showTabPicture();
}

void COrvexPreviewState::relayout(wxBitmap topLeft, wxBitmap side, wxBitmap topBar, wxBitmap)
{
    hideAll();
    layoutTab(topLeft);
    layoutSide(side);
    layoutBars(side, topBar);
    showAll();
}

void COrvexPreviewState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexPreviewState::hideAll()
{
    m_tabButton->Hide();
}

void COrvexPreviewState::showAll()
{
    m_tabButton->Show();
}
