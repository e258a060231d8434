// The one top-level window: a skinned background with every control on top, the timer
// that drives the program, the labels, keys and wheel, the About box and the shut-down.
#pragma once

#include "app/notice_state.h"
#include "app/skin_geometry.h"
#include "app/status_text.h"
#include "app/tab_host.h"
#include "app/window_ids.h"

#include <wx/aboutdlg.h>
#include <wx/frame.h>
#include <wx/icon.h>
#include <wx/timer.h>

#include <memory>
#include <string>

class COrvexBackground;
class COrvexPowerOff;
class COrvexScreenBase;
class COrvexBrowsePanelBase;
class SkinBitmap;
class WheelFilter;
namespace platform
{
class HotplugMonitor;
}

class COrvexFrame;
extern COrvexFrame* g_MainFrame;

class COrvexFrame : public wxFrame, public TabHost
{
public:
    COrvexFrame(const wxString& title, const wxPoint& pos, const wxSize& size);
    ~COrvexFrame() override;

    void createGUIControls();
    void buildSkin(int width, int height);
    void relayoutFrame();
    void layoutStatusLabel();
    void layoutNoticeLabel();
    void layoutScreen();
    void layoutFullScreenButton();
    void layoutExitButton();
    void toggleFullScreen();

    // One tick of the heartbeat (the 10 ms timer calls it; tests call it directly).
    void frameTick();
    // Key dispatch by the frame's key table (code as the table numbers it).
    void dispatchKey(int keyCode, bool altHeld);
    void wheel(int rotation, int delta);
    // A key let go anywhere in the program (Delete's repeats end there).
    void keyReleased(int keyCode);
    // A key pressed over the frame, by the key table; true when it is used up.
    bool takeKey(const wxKeyEvent& event);

    // A video device arrived or left (interface name as the hot-plug service composes it).
    void onDeviceChange(const std::string& name, bool arrived);

    wxAboutDialogInfo aboutInfo() const;
    void showAbout();
    // Gives the keyboard focus back to the window that receives the keys.
    void takeFocus();
    // The same when the focus is nowhere or on a window no longer shown (a tab's control
    // that went with its tab).
    void keepKeysReaching() override;
    void showFullScreenButton(bool show) override;

    // Read by the layout of other rooms and by tests.
    const SkinGeometry& geometry() const { return m_geometry; }
    const wxBitmap& canvas() const { return m_canvas; }
    COrvexBackground* background() const { return m_background; }
    SkinBitmap* statusLabel() const { return m_statusLabel; }
    SkinBitmap* noticeLabel() const { return m_noticeLabel; }
    SkinBitmap* fullScreenButton() const { return m_fullScreenButton; }
    SkinBitmap* exitButton() const { return m_exitButton; }
    COrvexPowerOff* powerOff() const { return m_powerOff; }
    COrvexScreenBase* screen() const { return m_screen; }
    COrvexBrowsePanelBase* browsePanel() const { return m_browsePanel; }
    wxTimer& timer() { return m_timer; }
    int resizeCountdown() const { return m_resizeCountdown; }
    int tickCounter() const { return m_tickCounter; }
    int relayoutCount() const { return m_relayoutCount; }

private:
    void onClose(wxCloseEvent& event);
    void onPaint(wxPaintEvent& event);
    void onEraseBackground(wxEraseEvent& event);
    void onSize(wxSizeEvent& event);
    void onTimerEvent(wxTimerEvent& event);
    void onCharHook(wxKeyEvent& event);
    void onFullScreenDown(wxMouseEvent& event);
    void drawNotice();
    void drawStatus();

    wxTimer m_timer;
    wxIcon m_icon;
    wxBitmap m_canvas;
    wxBitmap m_topLeftTile, m_bottomLeftTile, m_sideTile, m_rightTile, m_topBarTile,
        m_bottomBarTile;
    COrvexBackground* m_background = nullptr;
    wxBitmap m_statusBitmap;
    SkinBitmap* m_statusLabel = nullptr;
    wxBitmap m_noticeBitmap;
    SkinBitmap* m_noticeLabel = nullptr;
    COrvexScreenBase* m_screen = nullptr;
    COrvexBrowsePanelBase* m_browsePanel = nullptr;
    // Delete is down since a press that counted: its further presses are the key's repeats.
    bool m_deleteHeld = false;
    COrvexPowerOff* m_powerOff = nullptr;
    SkinGeometry m_geometry;
    const int m_tickLength = 32;
    int m_lastRotation = 0;
    int m_resizeCountdown = 0;
    int m_tickCounter = 0;
    unsigned int m_lastDrawTime = 0;
    int m_lastStatusLength = 0;
    int m_noticeLength = 0;
    SkinBitmap* m_fullScreenButton = nullptr;
    SkinBitmap* m_exitButton = nullptr;
    WheelFilter* m_wheelFilter = nullptr;
    std::unique_ptr<platform::HotplugMonitor> m_deviceNotify;
    int m_relayoutCount = 0;

    wxDECLARE_EVENT_TABLE();
};
