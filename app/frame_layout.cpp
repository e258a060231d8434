// The skinned layout: the canvas composed from its thirteen tiles for any client size,
// every child placed over its tile, and the full-screen mode.
#include "app/background_window.h"
#include "app/browse_panel_base.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/power_off.h"
#include "app/screen_base.h"
#include "app/skin_bitmap.h"
#include "pipeline/picture_settings.h"

#include <wx/dcmemory.h>

#include <algorithm>

namespace
{

const char* tileName(int n)
{
    static char names[kLastTile + 1][20];
    std::snprintf(names[n], sizeof names[n], "background%d.bmp", n);
    return names[n];
}

SkinSize naturalSize(const wxBitmap& b, SkinSize design)
{
    return b.IsOk() ? SkinSize{b.GetWidth(), b.GetHeight()} : design;
}

// The part of the canvas under a rectangle, clipped to the canvas.
wxBitmap canvasCut(const wxBitmap& canvas, const SkinRect& r)
{
    const int w = std::max(r.w, 1), h = std::max(r.h, 1);
    if (!canvas.IsOk() || r.x < 0 || r.y < 0 || r.x + w > canvas.GetWidth() ||
        r.y + h > canvas.GetHeight())
        return blackBitmap(w, h);
    return canvas.GetSubBitmap(wxRect(r.x, r.y, w, h));
}

} // namespace

void COrvexFrame::buildSkin(int W, int H)
{
    W = std::max(W, 1);
    H = std::max(H, 1);
    wxBitmap pictures[kLastTile + 1];
    for (int n = kFirstTile; n <= kLastTile; ++n)
        pictures[n] = loadSkinPicture(tileName(n));
    CornerSizes corners;
    corners.t11 = naturalSize(pictures[TileTopLeft], corners.t11);
    corners.t13 = naturalSize(pictures[TileBottomLeft], corners.t13);
    corners.t16 = naturalSize(pictures[TileTopRight], corners.t16);
    corners.t18 = naturalSize(pictures[TileBottomRight], corners.t18);
    m_geometry = computeSkinGeometry(W, H, corners);

    m_canvas = wxBitmap(W, H, 24);
    wxBitmap placed[kLastTile + 1];
    {
        wxMemoryDC dc(m_canvas);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        for (int n : {TileTopLeft, TileBottomLeft, TileLeftEdge, TileTopRight, TileBottomRight,
                      TileRightEdge, TileTopEdge, TileBottomEdge, TileSide, TileStrip, TileTopBar,
                      TileBottomBar, TileScreen}) {
            const SkinRect& r = m_geometry[n];
            placed[n] = rescaled(pictures[n], r.w, r.h);
            if (placed[n].IsOk())
                dc.DrawBitmap(placed[n], r.x, r.y, false);
        }
        dc.SelectObject(wxNullBitmap);
    }
    m_topLeftTile = placed[TileTopLeft];
    m_bottomLeftTile = placed[TileBottomLeft];
    m_sideTile = placed[TileSide];
    m_rightTile = placed[TileStrip];
    m_topBarTile = placed[TileTopBar];
    m_bottomBarTile = placed[TileBottomBar];
}

void COrvexFrame::relayoutFrame()
{
    ++m_relayoutCount;
    const wxSize client = GetClientSize();
    const int W = client.x, H = client.y;
    // Frozen, not hidden: the background holds the keyboard focus, and hiding it would leave
    // GTK's window with no focus widget (keys then reach nothing) while the toolkit still
    // reports the background as focused.
    m_background->Freeze();
    m_statusLabel->Hide();
    m_noticeLabel->Hide();
    if (m_screen)
        m_screen->Hide();

    if (g_FullScreen) {
        m_background->SetSize(0, 0, std::max(W, 1), std::max(H, 1));
        if (m_screen) {
            m_screen->SetSize(0, 0, std::max(W, 1), std::max(H, 1));
            m_screen->layoutFullScreen();
        }
        layoutExitButton();
        if (m_screen)
            m_screen->Show();
    } else {
        buildSkin(W, H);
        m_background->SetSize(0, 0, m_canvas.GetWidth(), m_canvas.GetHeight());
        layoutStatusLabel();
        m_tickCounter = 0;
        layoutNoticeLabel();
        m_powerOff->layoutPowerOff(m_bottomLeftTile,
                                   m_canvas.GetHeight() - m_geometry[TileBottomLeft].h);
        layoutScreen();
        layoutFullScreenButton();
        const TabLayout tabs{.topLeft = m_topLeftTile,
                             .side = m_sideTile,
                             .topBar = m_topBarTile,
                             .bottomBar = m_bottomBarTile,
                             .sideTile = m_geometry[TileSide],
                             .bottomBarTile = m_geometry[TileBottomBar],
                             .pageArea = {m_geometry[TileTopLeft].w + m_geometry[TileSide].w,
                                          m_geometry[TileTopEdge].h + m_geometry[TileTopBar].h,
                                          m_geometry[TileScreen].w, m_geometry[TileScreen].h}};
        for (COrvexState* s : g_States)
            s->relayout(tabs);
        if (m_browsePanel)
            m_browsePanel->layoutPanel(W - m_geometry[TileStrip].w - m_geometry[TileRightEdge].w,
                                       m_geometry[TileTopEdge].h, m_geometry[TileStrip].w,
                                       m_geometry[TileStrip].h);
        m_background->showCanvas(m_canvas);
        m_statusLabel->Show();
        m_noticeLabel->Show();
        if (m_screen && !(g_CurrentState && g_CurrentState->id() == StateSetup))
            m_screen->Show();
    }
    m_background->Thaw();
    // A control that held the focus may have been hidden (the setup tab's); keys must keep
    // working.
    keepKeysReaching();
}

void COrvexFrame::layoutStatusLabel()
{
    SkinRect r = statusLabelRect(m_geometry);
    m_statusLabel->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_statusBitmap = canvasCut(m_canvas, r);
    m_statusLabel->show(m_statusBitmap);
}

void COrvexFrame::layoutNoticeLabel()
{
    SkinRect r = noticeLabelRect(m_geometry, m_statusBitmap.IsOk() ? m_statusBitmap.GetWidth() : 0);
    m_noticeLabel->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_noticeBitmap = canvasCut(m_canvas, r);
    if (g_InfoTime < 1)
        m_noticeLabel->show(m_noticeBitmap);
}

void COrvexFrame::layoutScreen()
{
    if (!m_screen)
        return;
    SkinRect r = screenRect(m_geometry);
    m_screen->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_screen->layoutFullScreen();
}

void COrvexFrame::layoutFullScreenButton()
{
    SkinRect r = fullScreenButtonRect(m_geometry);
    m_fullScreenButton->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_fullScreenButton->show(loadSkinPicture("fullscreen_release.bmp", r.w, r.h));
    m_fullScreenButton->Refresh();
}

void COrvexFrame::layoutExitButton()
{
    if (!m_screen)
        return;
    const wxSize s = m_screen->GetSize();
    SkinRect r = exitButtonRect(s.x, s.y);
    m_exitButton->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_exitButton->show(loadSkinPicture("fullscreen_release.bmp", r.w, r.h));
}

void COrvexFrame::toggleFullScreen()
{
    g_FullScreen = !g_FullScreen;
    if (g_FullScreen) {
        m_powerOff->button()->Hide();
        if (m_browsePanel)
            m_browsePanel->hideControls();
    } else {
        m_powerOff->button()->Show();
        if (m_browsePanel)
            m_browsePanel->showControls();
    }
    for (COrvexState* s : g_States) {
        if (g_FullScreen)
            s->hideAll();
        else
            s->showAll();
    }
    relayoutFrame();
    if (g_FullScreen) {
        m_fullScreenButton->Hide();
        layoutExitButton();
        m_exitButton->Show();
        m_exitButton->Raise();
        if (m_screen) {
            m_screen->layoutFullScreen();
            m_screen->showExitButton(true);
        }
    } else {
        m_fullScreenButton->Show();
        m_exitButton->Hide();
        if (m_screen)
            m_screen->showExitButton(false);
    }
}
