#include "capture/orvex_preview_state.h"

#include "app/capture_notice.h"
#include "app/data_files.h"
#include "app/hot_plug.h"
#include "app/skin_bitmap.h"
#include "app/status_text.h"
#include "app/window_ids.h"
#include "capture/em2800_prop.h"
#include "capture/preview_layout.h"
#include "capture/time_span.h"
#include "capture/zoom_control.h"
#include "devctl/orvex_io_control_box.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "pipeline/recording.h"
#include "platform/services.h"

#include <wx/combobox.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace
{
constexpr int kTab = 1;
constexpr int kTabY = 20;
constexpr int kToolIds[4] = {ID_PREVIEW_SNAPSHOT, ID_PREVIEW_RECORD, ID_PREVIEW_MIRROR,
                             ID_PREVIEW_ROTATE};
const char* const kToolPictures[8] = {
    "snap_release.bmp",   "snap_click.bmp",   "rec_release.bmp",    "rec_click.bmp",
    "mirror_release.bmp", "mirror_click.bmp", "rotate_release.bmp", "rotate_click.bmp"};
enum Tool { ToolSnapshot, ToolRecord, ToolMirror, ToolRotate };
} // namespace

COrvexPreviewState::COrvexPreviewState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StatePreview, origin)
{
    m_origin = origin;
    createTabButton(kTab, ID_TAB_PREVIEW, kTabY);

    loadToolPictures(108, 108);
    for (int i = 0; i < 4; ++i) {
        auto* b = new SkinBitmap(parent, kToolIds[i], m_toolPictures[static_cast<size_t>(2 * i)],
                                 wxPoint(origin.x + 4, origin.y + 4 + 113 * i), wxSize(108, 108));
        b->Bind(wxEVT_LEFT_DOWN, &COrvexPreviewState::onToolDown, this);
        b->Bind(wxEVT_LEFT_UP, &COrvexPreviewState::onToolUp, this);
        b->Bind(wxEVT_LEAVE_WINDOW, &COrvexPreviewState::onToolUp, this);
        b->Hide();
        m_tools[static_cast<size_t>(i)] = b;
    }

    m_zoom = std::make_unique<ZoomControl>(*this, parent, origin);

    m_cameraList = new wxComboBox(parent, ID_CAMERA_LIST, wxEmptyString, wxDefaultPosition,
                                  wxDefaultSize, 0, nullptr, wxCB_READONLY);
    m_cameraList->Hide();
    m_cameraList->Clear();

    m_ioBox = new COrvexIOControlBox(parent, origin, wxSize(240, 108));
    // A scope whose unit did not answer at plug-in was left out of the camera search.
    m_ioBox->onUnitAnswers([this] {
        if (m_active)
            refreshCamera();
        else
            g_UsbState |= kUsbOtherDevice;
    });
}

COrvexPreviewState::~COrvexPreviewState()
{
    // A search under way is abandoned, with the input that waited for it.
    m_search.reset();
    m_heldInput.clear();
    if (m_ioBox)
        m_ioBox->Destroy();
    m_zoom.reset();
    for (SkinBitmap* b : m_tools)
        b->Destroy();
    // The tab button goes with the background window.
    // A recording still open is finished, so the file is complete and playable.
    showCaptureResult(finishRecording());
    m_camera.capture = nullptr;
    m_camera.captures.clear();
    m_cameraList->Destroy();
    m_camera.bridge.destroy();
}

void COrvexPreviewState::loadToolPictures(int w, int h)
{
    for (size_t i = 0; i < 8; ++i)
        m_toolPictures[i] = loadSkinPicture(kToolPictures[i], w, h);
}

// ---- Tab life -------------------------------------------------------------------------------

void COrvexPreviewState::enter()
{
    m_active = true;
    showTabPicture();
    m_ioBox->showControls();
    m_ioPresent = true;
    for (int t : {ToolSnapshot, ToolRecord, ToolMirror})
        m_tools[static_cast<size_t>(t)]->Show();
    if (m_camera.kind == KindK1100 || m_camera.kind == KindTelCap) {
        m_camera.rotateShown = true;
        m_tools[ToolRotate]->Show();
    }
    setMirror(m_mirrorOn);
    m_zoom->showLabel();
    m_zoom->show(true);
    if (g_UsbState != 0) {
        if (g_UsbState == kUsbOwnBridge) {
            m_ioBox->close();
            m_ioBox->open();
        }
        refreshCamera();
        g_UsbState = 0;
    }
}

void COrvexPreviewState::leave()
{
    m_active = false;
    g_UsbState = 0;
    m_camera.rotateShown = false;
    showTabPicture();
    for (SkinBitmap* b : m_tools)
        b->Hide();
    m_zoom->show(false);
    m_ioBox->hideControls();
}

void COrvexPreviewState::deviceArrived(bool isHandle)
{
    if (isHandle) {
        m_ioPresent = true;
        m_ioBox->open();
    }
    refreshCamera();
}

void COrvexPreviewState::deviceRemoved(bool isHandle)
{
    if (isHandle) {
        m_ioPresent = false;
        m_ioBox->close();
        if (m_camera.kind == KindK1100)
            m_camera.bridge.destroy();
    }
    refreshCamera();
}

// ---- The frame pump ---------------------------------------------------------------------------

void COrvexPreviewState::onTimer()
{
    if (m_initState != 0 && m_laidOut) {
        logLine("Preview onTimer() initState(%d)\n", m_initState);
        m_initState = 0;
        refreshCamera();
    } else if (searching()) {
        // The kind is still being chosen, and its camera not opened yet.
    } else if (m_camera.kind == KindKelmo) {
        if (m_live.tubeWatch(m_ioBox->poll()))
            refreshCamera();
    } else if (m_camera.kind == KindK1100 && m_tickCount % 3 == 0) {
        buttonPoll();
    }
    g_StatusText = statusText();
    g_StatusColour = statusColour();
    ++m_tickCount;
}

void COrvexPreviewState::buttonPoll()
{
    CEM2800Prop* bridge = m_camera.bridge.get();
    if (!bridge)
        return;
    if (bridge->CheckSnapButton()) {
        keySpace();
        return;
    }
    uint8_t gpio = 0;
    const int32_t r = bridge->ReadGpio(&gpio);
    if (r >= 0 && r != CEM2800Prop::kNotOpen && !(gpio & 0x04) && recordTriggerFree())
        toggleRecord();
}

cv::Mat* COrvexPreviewState::grabFrame()
{
    return m_live.takeFrame(g_SnapPending || g_SnapInRecord || recordingRuns(), g_Freeze);
}

cv::Size COrvexPreviewState::fileFrameSize(const cv::Mat& frame) const
{
    return m_live.fileFrameSize(frame);
}

void COrvexPreviewState::releaseFrame()
{
    m_live.releaseFrame();
}

wxString COrvexPreviewState::statusText()
{
    if (recording())
        return formatTimeSpan(secondsBetween(m_recordStart, platform::clock().localTime()));
    const platform::LocalTime t = platform::clock().localTime();
    return wxString::Format("%4d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
}

wxColour COrvexPreviewState::statusColour()
{
    return recording() ? wxColour(255, 0, 0) : wxColour(255, 255, 255);
}

// ---- Keys, wheel, buttons -----------------------------------------------------------------

void COrvexPreviewState::wheelStep(int delta)
{
    if (afterSearch([this, delta] { wheelStep(delta); }, false))
        return;
    m_zoom->step(delta);
}

void COrvexPreviewState::keyLeft()
{
    if (afterSearch([this] { keyLeft(); }, true))
        return;
    if (m_camera.kind == KindKelmo)
        m_ioBox->stepLed(-1);
}

void COrvexPreviewState::keyRight()
{
    if (afterSearch([this] { keyRight(); }, true))
        return;
    if (m_camera.kind == KindKelmo)
        m_ioBox->stepLed(1);
}

void COrvexPreviewState::keySpace()
{
    if (afterSearch([this] { keySpace(); }, true))
        return;
    tapSnapshot([this] { snapshotPress(); });
}

void COrvexPreviewState::keyCtrlR()
{
    if (afterSearch([this] { keyCtrlR(); }, true))
        return;
    if (recordTriggerFree())
        toggleRecord();
}

void COrvexPreviewState::keyEnter()
{
    if (afterSearch([this] { keyEnter(); }, false))
        return;
    mirrorToggle();
}

void COrvexPreviewState::keyF1()
{
    if (afterSearch([this] { keyF1(); }, true))
        return;
    if (m_camera.kind == KindKelmo)
        m_ioBox->toggleBoost();
}

void COrvexPreviewState::keyF2()
{
    // The rotate button's look depends on the kind the search is choosing.
    if (afterSearch([this] { keyF2(); }, true))
        return;
    m_ioBox->stepRotation();
    if (m_camera.kind != KindKelmo)
        updateRotateLook();
}

void COrvexPreviewState::keyF3()
{
    if (afterSearch([this] { keyF3(); }, true))
        return;
    if (m_camera.kind == KindKelmo)
        m_ioBox->toggleLedSwitch();
}

void COrvexPreviewState::mirrorToggle()
{
    m_mirrorOn = !m_mirrorOn;
    setMirror(m_mirrorOn);
    m_toolLook[1] = m_mirrorOn;
    m_tools[ToolMirror]->show(m_toolPictures[2 * ToolMirror + (m_mirrorOn ? 1 : 0)]);
}

void COrvexPreviewState::updateRotateLook()
{
    m_toolLook[2] = g_Rotation > 0;
    m_tools[ToolRotate]->show(m_toolPictures[2 * ToolRotate + (m_toolLook[2] ? 1 : 0)]);
}

void COrvexPreviewState::showSnapshotLook(bool held)
{
    m_snapshotHeld = held;
    m_tools[ToolSnapshot]->show(m_toolPictures[held ? 1 : 0]);
}

void COrvexPreviewState::showRecordLook(bool on)
{
    m_toolLook[0] = on;
    m_tools[ToolRecord]->show(m_toolPictures[2 * ToolRecord + (on ? 1 : 0)]);
}

void COrvexPreviewState::onToolDown(wxMouseEvent& event)
{
    event.Skip();
    if (g_SettleTime > 0)
        return;
    const int id = event.GetId();
    // Snapshot, record and rotate act on the camera the search is choosing.
    if (!afterSearch([this, id] { toolDown(id); }, id != ID_PREVIEW_MIRROR))
        toolDown(id);
}

void COrvexPreviewState::toolDown(int id)
{
    if (g_SettleTime > 0)
        return;
    switch (id) {
    case ID_PREVIEW_SNAPSHOT:
        if (pressSnapshot(kScreenButton, recordingRuns()))
            snapshotPress();
        break;
    case ID_PREVIEW_RECORD:
        if (recordTriggerFree())
            toggleRecord();
        break;
    case ID_PREVIEW_MIRROR:
        mirrorToggle();
        break;
    case ID_PREVIEW_ROTATE:
        m_ioBox->stepRotation();
        updateRotateLook();
        break;
    default:
        break;
    }
}

void COrvexPreviewState::onToolUp(wxMouseEvent& event)
{
    event.Skip();
    const int id = event.GetId();
    if (!afterSearch([this, id] { toolUp(id); }, false))
        toolUp(id);
}

void COrvexPreviewState::toolUp(int id)
{
    if (id == ID_PREVIEW_SNAPSHOT)
        releaseSnapshot(kScreenButton);
}

// ---- Layout -------------------------------------------------------------------------------------

void COrvexPreviewState::relayout(const TabLayout& layout)
{
    hideAll();
    layoutTab(layout.topLeft);
    layoutSide(layout);
    layoutBars(layout.side, layout.topBar);
    const SkinRect& bar = layout.bottomBarTile;
    const wxBitmap& bottomBar = layout.bottomBar;
    m_ioBox->layout(bar.x, bar.y, bottomBar.IsOk() ? bottomBar.GetWidth() : bar.w,
                    bottomBar.IsOk() ? bottomBar.GetHeight() : bar.h);
    m_laidOut = true;
    showAll();
}

void COrvexPreviewState::layoutTab(wxBitmap topLeft)
{
    layoutTabButton(topLeft, kTab, kTabY);
}

void COrvexPreviewState::layoutSide(const TabLayout& layout)
{
    const wxBitmap& side = layout.side;
    m_panel = wxPoint(layout.sideTile.x, layout.sideTile.y);
    ToolColumn c = toolColumn(side.IsOk() ? side.GetWidth() : 148,
                              side.IsOk() ? side.GetHeight() : 652, m_panel.x, m_panel.y);
    loadToolPictures(c.buttons[0].w, c.buttons[0].h);
    for (size_t i = 0; i < 4; ++i) {
        const SkinRect& r = c.buttons[i];
        m_tools[i]->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
    }
    m_tools[ToolSnapshot]->show(m_toolPictures[m_snapshotHeld ? 1 : 0]);
    m_tools[ToolRecord]->show(m_toolPictures[2 + (m_toolLook[0] ? 1 : 0)]);
    m_tools[ToolMirror]->show(m_toolPictures[4 + (m_toolLook[1] ? 1 : 0)]);
    m_tools[ToolRotate]->show(m_toolPictures[6 + (m_toolLook[2] ? 1 : 0)]);
}

void COrvexPreviewState::layoutBars(wxBitmap side, wxBitmap topBar)
{
    m_zoom->layout(side, topBar, m_panel);
}

void COrvexPreviewState::hideAll()
{
    m_tabButton->Hide();
    for (SkinBitmap* b : m_tools)
        b->Hide();
    m_zoom->show(false);
    m_ioBox->hideControls();
}

void COrvexPreviewState::showAll()
{
    m_tabButton->Show();
    if (!m_active)
        return;
    for (int t : {ToolSnapshot, ToolRecord, ToolMirror})
        m_tools[static_cast<size_t>(t)]->Show();
    if (m_camera.rotateShown)
        m_tools[ToolRotate]->Show();
    m_zoom->show(true);
    if (m_ioPresent)
        m_ioBox->showControls();
}
