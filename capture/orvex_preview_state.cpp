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
// A camera that has sent no new frame for this long gives nothing.
constexpr uint32_t kNoFrameMs = 1000;
// A camera re-opened on tube input: its settling pause, then how long its first frame
// may take.
constexpr uint32_t kReopenSettleMs = 100;
constexpr uint32_t kReopenFirstFrameMs = 300;
} // namespace

COrvexPreviewState::COrvexPreviewState(wxWindow* parent, const wxPoint& origin)
    : COrvexState(parent, StatePreview, origin)
{
    m_origin = origin;
    m_modelIndex.fill(-1);
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
    m_capture = nullptr;
    m_captures.clear();
    m_cameraList->Destroy();
    DestroyEM2800Prop();
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
    if (m_cameraKind == KindK1100 || m_cameraKind == KindTelCap) {
        m_rotateShown = true;
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
    m_rotateShown = false;
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
        if (m_cameraKind == KindK1100)
            DestroyEM2800Prop();
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
    } else if (m_cameraKind == KindKelmo) {
        tubeWatch();
    } else if (m_cameraKind == KindK1100 && m_tickCount % 3 == 0) {
        buttonPoll();
    }
    g_StatusText = statusText();
    g_StatusColour = statusColour();
    ++m_tickCount;
}

void COrvexPreviewState::dropCamera(int index)
{
    m_capture = nullptr;
    m_frameSource = nullptr; // a capture made later may get the same address
    m_reopen.reset();
    if (index >= 0 && static_cast<size_t>(index) < m_captures.size())
        m_captures[static_cast<size_t>(index)].reset();
}

void COrvexPreviewState::tubeWatch()
{
    bool present = m_ioBox->poll();
    const int k = m_modelIndex[SlotKelmo];
    if (k >= 0) {
        if (m_reopen)
            finishReopen(k);
        if (!m_tubeIn && present) {
            logLine("Preview onTimer() Orvex(%d), Tube Input (%d, %d)\n", k, 0, 1);
            m_reopen = platform::captures().openCamera(k);
            m_reopenAt = platform::clock().tickCount();
            if (!m_reopen)
                logLine("Preview onTimer() Orvex(%d), No Camera\n", k);
        } else if (m_tubeIn && !present) {
            logLine("Preview onTimer() Orvex(%d), Tube Output (%d, %d)\n", k, 1, 0);
            dropCamera(k);
        } else if (m_tubeIn && present && frameLost()) {
            logLine("Preview onTimer() Orvex(%d), Tube Fail\n", k);
            dropCamera(k);
            present = false;
        }
    } else if (!m_tubeIn && present) {
        logLine("Preview onTimer() NoOrvex, Tube Input (%d, %d)\n", 0, 1);
        refreshCamera();
    }
    m_tubeIn = present;
}

void COrvexPreviewState::finishReopen(int k)
{
    // The re-opened camera gets its 100 ms to settle and a short while for a first frame,
    // counted on the timer's ticks so the window goes on painting meanwhile.
    const uint32_t waited = platform::clock().tickCount() - m_reopenAt;
    if (waited < kReopenSettleMs)
        return;
    platform::Capture* cap = m_reopen.get();
    cv::Mat f;
    cap->grab();
    const bool ok = cap->retrieve(f) && !f.empty();
    if (ok) {
        logLine("Preview onTimer() Orvex(%d), QueryFrame OK!\n", k);
        if (static_cast<size_t>(k) >= m_captures.size())
            m_captures.resize(static_cast<size_t>(k) + 1);
        m_captures[static_cast<size_t>(k)] = std::move(m_reopen);
        m_capture = m_captures[static_cast<size_t>(k)].get();
    } else if (waited >= kReopenSettleMs + kReopenFirstFrameMs) {
        logLine("Preview onTimer() Orvex(%d), NoQueryFrame\n", k);
        m_reopen.reset();
    }
}

void COrvexPreviewState::buttonPoll()
{
    if (!pCEM2800Prop)
        return;
    if (pCEM2800Prop->CheckSnapButton()) {
        keySpace();
        return;
    }
    uint8_t gpio = 0;
    const int32_t r = pCEM2800Prop->ReadGpio(&gpio);
    if (r >= 0 && r != CEM2800Prop::kNotOpen && !(gpio & 0x04) && recordTriggerFree())
        toggleRecord();
}

cv::Mat* COrvexPreviewState::grabFrame()
{
    return takeFrame(g_SnapPending || g_SnapInRecord || recordingRuns());
}

cv::Mat* COrvexPreviewState::takeFrame(bool forFile)
{
    if (!m_capture)
        return nullptr;
    const uint32_t now = platform::clock().tickCount();
    if (m_capture != m_frameSource) {
        // A frame of the camera shown before is no frame of this one; the frame the
        // search or the tube watch took from the new one is.
        m_frameSource = m_capture;
        m_frame.release();
        m_capture->retrieve(m_frame);
        m_lastNewFrame = now;
        m_frameTakenAt = static_cast<uint32_t>(m_capture->get(platform::kPropPosMsec));
    }
    if (!g_Freeze) {
        // One grab: the capture hands over its newest frame. Without a new one the last
        // frame stays, so a short hiccup neither ends a recording nor fails the tube; only
        // a camera silent for a whole second counts as giving nothing.
        cv::Mat fresh;
        if (m_capture->grab() && m_capture->retrieve(fresh) && !fresh.empty()) {
            m_frame = fresh;
            m_lastNewFrame = now;
            m_frameTakenAt = static_cast<uint32_t>(m_capture->get(platform::kPropPosMsec));
        } else if (now - m_lastNewFrame >= kNoFrameMs) {
            m_frame.release();
        }
    }
    if (m_frame.empty())
        return nullptr;
    // The camera's own frame is lent to a pass that only reads it, and to one whose file
    // gets another size (the pass scales it into a buffer of its own); a pass that writes a
    // file from the frame as it is gets a copy, as the frame stays for the next pass.
    if (forFile && fileFrameSize(m_frame) == m_frame.size())
        m_frame.copyTo(m_work);
    else
        m_work = m_frame;
    return &m_work;
}

cv::Size COrvexPreviewState::fileFrameSize(const cv::Mat& frame) const
{
    // The family camera's files are 1280 x 960, twice its picture.
    return m_cameraKind == KindKelmo ? cv::Size(1280, 960) : frame.size();
}

bool COrvexPreviewState::frameLost() const
{
    // A capture not grabbed from yet, or silent for less than a second, has not failed.
    return m_capture && m_capture == m_frameSource && m_frame.empty() &&
           platform::clock().tickCount() - m_lastNewFrame >= kNoFrameMs;
}

void COrvexPreviewState::releaseFrame()
{
    m_work.release();
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
    if (m_cameraKind == KindKelmo)
        m_ioBox->stepLed(-1);
}

void COrvexPreviewState::keyRight()
{
    if (afterSearch([this] { keyRight(); }, true))
        return;
    if (m_cameraKind == KindKelmo)
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
    if (m_cameraKind == KindKelmo)
        m_ioBox->toggleBoost();
}

void COrvexPreviewState::keyF2()
{
    // The rotate button's look depends on the kind the search is choosing.
    if (afterSearch([this] { keyF2(); }, true))
        return;
    m_ioBox->stepRotation();
    if (m_cameraKind != KindKelmo)
        updateRotateLook();
}

void COrvexPreviewState::keyF3()
{
    if (afterSearch([this] { keyF3(); }, true))
        return;
    if (m_cameraKind == KindKelmo)
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
    if (m_rotateShown)
        m_tools[ToolRotate]->Show();
    m_zoom->show(true);
    if (m_ioPresent)
        m_ioBox->showControls();
}
