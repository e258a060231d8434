#include "app/orvex_frame.h"

#include "app/background_window.h"
#include "app/browse_panel_base.h"
#include "app/data_files.h"
#include "app/label_drawing.h"
#include "app/notice.h"
#include "app/orvex_state.h"
#include "app/power_off.h"
#include "app/screen_base.h"
#include "app/shell_parts.h"
#include "app/skin_bitmap.h"
#include "app/wheel_filter.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/services.h"

#include <wx/dcclient.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/utils.h>

#include <opencv2/core/version.hpp>

#include <sys/utsname.h>

COrvexFrame* g_MainFrame = nullptr;

wxBEGIN_EVENT_TABLE(COrvexFrame, wxFrame) EVT_CLOSE(COrvexFrame::onClose)
    EVT_PAINT(COrvexFrame::onPaint) EVT_ERASE_BACKGROUND(COrvexFrame::onEraseBackground)
        EVT_SIZE(COrvexFrame::onSize) EVT_TIMER(ID_FRAME_TIMER, COrvexFrame::onTimerEvent)
            EVT_CHAR_HOOK(COrvexFrame::onCharHook) wxEND_EVENT_TABLE()

                COrvexFrame::COrvexFrame(const wxString& title, const wxPoint& pos,
                                         const wxSize& size)
    : wxFrame(nullptr, 1, title, pos, size,
              wxCAPTION | wxCLOSE_BOX | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxRESIZE_BORDER),
      m_timer(this, ID_FRAME_TIMER)
{
    resetDataFileValues();
    g_MainFrame = this;
    g_TabHost = this;
    m_lastRotation = 0;
    // Without a watch (no udev, no rig) the program runs on; it only misses hot-plugging.
    m_deviceNotify = platform::hotplug().watch([this](const platform::DeviceChange& change) {
        onDeviceChange(change.interfaceName, change.arrived);
    });
    g_ProgramDir = wxString::FromUTF8(platform::programFolder());
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_JPEG))
        wxImage::AddHandler(new wxJPEGHandler);
    wxBitmap iconPicture = loadSkinPicture("eye4.png");
    if (iconPicture.IsOk()) {
        m_icon.CopyFromBitmap(iconPicture);
        SetIcon(m_icon);
    }
    readStringsFile();
    SetTitle(g_Title);
    createGUIControls();
    m_timer.Start(10);
}

COrvexFrame::~COrvexFrame()
{
    m_timer.Stop();
    m_deviceNotify.reset();
    delete m_wheelFilter;
    m_wheelFilter = nullptr;
    closeLogFile();
    if (g_MainFrame == this)
        g_MainFrame = nullptr;
    if (g_TabHost == this)
        g_TabHost = nullptr;
}

void COrvexFrame::createGUIControls()
{
    openDataFiles();
    if (shellParts().storageReady)
        shellParts().storageReady();
    buildSkin(kDesignWidth, kDesignHeight);
    const SkinGeometry& g = m_geometry;

    m_background =
        new COrvexBackground(this, m_canvas, wxPoint(0, 0), wxSize(kDesignWidth, kDesignHeight));

    SkinRect s = statusLabelRect(g);
    m_statusBitmap = m_canvas.GetSubBitmap(wxRect(s.x, s.y, s.w, s.h));
    m_statusLabel =
        new SkinBitmap(m_background, wxID_ANY, m_statusBitmap, wxPoint(s.x, s.y), wxSize(s.w, s.h));

    SkinRect n = noticeLabelRect(g, s.w);
    m_noticeBitmap = m_canvas.GetSubBitmap(wxRect(n.x, n.y, n.w, n.h));
    m_noticeLabel =
        new SkinBitmap(m_background, wxID_ANY, m_noticeBitmap, wxPoint(n.x, n.y), wxSize(n.w, n.h));

    m_powerOff = new COrvexPowerOff(m_background, m_bottomLeftTile,
                                    wxPoint(0, kDesignHeight - g[TileBottomLeft].h));

    const int px = g[TileTopLeft].w + g[TileSide].w;
    ShellParts& parts = shellParts();
    if (parts.screen)
        m_screen =
            parts.screen(m_background, wxPoint(px + 6, g[TileTopEdge].h + g[TileTopBar].h + 6),
                         wxSize(640, 480));
    if (parts.browsePanel)
        m_browsePanel =
            parts.browsePanel(m_background, wxPoint(px + g[TileTopBar].w, g[TileTopEdge].h),
                              wxSize(g[TileStrip].w, g[TileStrip].h));

    SkinRect f = fullScreenButtonRect(g);
    m_fullScreenButton = new SkinBitmap(m_background, ID_FULLSCREEN,
                                        loadSkinPicture("fullscreen_release.bmp", 64, 64),
                                        wxPoint(f.x, f.y), wxSize(64, 64));
    m_exitButton = new SkinBitmap(m_background, ID_FULLSCREEN,
                                  loadSkinPicture("fullscreen_release.bmp", 32, 32),
                                  wxDefaultPosition, wxSize(32, 32));
    m_exitButton->Raise();
    m_exitButton->Hide();
    for (SkinBitmap* b : {m_fullScreenButton, m_exitButton})
        b->Bind(wxEVT_LEFT_DOWN, &COrvexFrame::onFullScreenDown, this);

    buildStates(m_screen, m_browsePanel, m_background);

    SkinSize client = initialClientSize(g, platform::primaryScreenWidth());
    SetClientSize(client.w, client.h);
    Centre(wxBOTH);
    m_wheelFilter = new WheelFilter(this);
    takeFocus();
}

void COrvexFrame::takeFocus()
{
    if (m_background)
        m_background->SetFocus();
}

void COrvexFrame::keepKeysReaching()
{
    wxWindow* focus = wxWindow::FindFocus();
    if (!focus || !focus->IsShownOnScreen())
        takeFocus();
}

void COrvexFrame::showFullScreenButton(bool show)
{
    if (m_fullScreenButton)
        m_fullScreenButton->Show(show);
}

void COrvexFrame::onClose(wxCloseEvent&)
{
    m_timer.Stop();
    m_deviceNotify.reset();
    // Closing during a recording finishes it first, while the strip that lists it still exists.
    if (recordingRuns() && g_CurrentState)
        g_CurrentState->toggleRecord();
    wxWindow* children[] = {m_screen,     m_browsePanel, m_powerOff,    m_fullScreenButton,
                            m_exitButton, m_statusLabel, m_noticeLabel, m_background};
    for (wxWindow* w : children)
        if (w)
            w->Destroy();
    m_screen = nullptr;
    m_browsePanel = nullptr;
    m_powerOff = nullptr;
    m_fullScreenButton = m_exitButton = m_statusLabel = m_noticeLabel = nullptr;
    m_background = nullptr;
    clearStates();
    Destroy();
}

void COrvexFrame::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
}

void COrvexFrame::onEraseBackground(wxEraseEvent&) {}

void COrvexFrame::onSize(wxSizeEvent&)
{
    m_resizeCountdown = 2;
}

void COrvexFrame::onTimerEvent(wxTimerEvent&)
{
    frameTick();
}

void COrvexFrame::frameTick()
{
    for (COrvexState* s : g_States)
        s->runBackground();
    if (g_CurrentState)
        g_CurrentState->onTimer();
    const unsigned int now = platform::clock().tickCount();

    if (m_resizeCountdown > 0 && --m_resizeCountdown == 0)
        relayoutFrame();

    settleTick();
    if (g_SettleTime < 1 && m_screen) {
        if (g_Rotation != m_lastRotation) {
            m_lastRotation = g_Rotation;
            layoutScreen();
        }
        if (now - m_lastDrawTime > 59) {
            m_lastDrawTime = now;
            m_screen->drawFrame();
        }
    }

    if (g_FullScreen)
        return;

    if (g_InfoTime > 0) {
        g_InfoTime -= 1000 / m_tickLength;
        drawNotice();
    }

    if (m_tickCounter % 16 == 0) {
        drawStatus();
        m_lastStatusLength = static_cast<int>(g_StatusText.length());
        if (g_InfoTime < 1 && m_noticeLength != 0) {
            g_LastFileName.clear();
            m_noticeLength = 0;
            if (m_noticeLabel)
                m_noticeLabel->show(m_noticeBitmap);
        }
    }
    ++m_tickCounter;
}

namespace
{
wxBitmap copyOf(const wxBitmap& b)
{
    if (!b.IsOk())
        return b;
    return b.GetSubBitmap(wxRect(0, 0, b.GetWidth(), b.GetHeight()));
}
} // namespace

void COrvexFrame::drawNotice()
{
    if (!m_noticeLabel)
        return;
    wxBitmap copy = copyOf(m_noticeBitmap);
    drawFittedText(copy, g_LastFileName, 14, g_NoticeColour);
    m_noticeLabel->show(copy);
    m_noticeLength = static_cast<int>(g_LastFileName.length());
}

void COrvexFrame::drawStatus()
{
    if (!m_statusLabel)
        return;
    if (!g_StatusText.empty()) {
        wxBitmap copy = copyOf(m_statusBitmap);
        drawFittedText(copy, g_StatusText, 18, g_StatusColour);
        m_statusLabel->show(copy);
    } else if (m_lastStatusLength != 0) {
        m_statusLabel->show(m_statusBitmap);
    }
}

namespace
{
std::string platformName()
{
    struct utsname u {
    };
    if (uname(&u) == 0 && u.sysname[0])
        return u.sysname;
    return "Linux";
}
} // namespace

wxAboutDialogInfo COrvexFrame::aboutInfo() const
{
    wxAboutDialogInfo info;
    info.SetName(g_Title);
    if (m_icon.IsOk())
        info.SetIcon(m_icon);
    info.SetVersion(wxString::Format(", Version %s", ORVEX_VERSION));
    const wxString os = wxString::FromUTF8(platformName());
    info.SetDescription(wxString::Format("%s-%s-Unicode build. OpenCV %s-%s.",
                                         wxGetLibraryVersionInfo().GetVersionString(), os,
                                         CV_VERSION, os));
    return info;
}

void COrvexFrame::showAbout()
{
    wxAboutBox(aboutInfo(), nullptr);
}
