#include "devctl/orvex_io_control_box.h"

#include "app/data_files.h"
#include "app/orvex_state.h"
#include "app/skin_bitmap.h"
#include "app/window_ids.h"
#include "devctl/box_layout.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"

#include <wx/bmpbuttn.h>
#include <wx/dcmemory.h>

namespace
{
const char* const kPictureNames[10] = {
    "led_dec_release.bmp",    "led_dec_click.bmp",   "led_inc_release.bmp", "led_inc_click.bmp",
    "boost_release.bmp",      "boost_click.bmp",     "rotate_release.bmp",  "rotate_click.bmp",
    "led_switch_release.bmp", "led_switch_click.bmp"};

// What the camera's buttons do to the tab: its snapshot button holds the trigger from its
// press to its release, as the on-screen one does; its record button records only while no
// snapshot trigger is held.
ScopeUnit::ButtonEdges cameraButtons()
{
    ScopeUnit::ButtonEdges e;
    e.snapshotPress = [] {
        if (pressSnapshot(kCameraButton, recordingRuns()) && g_CurrentState)
            g_CurrentState->snapshotPress();
    };
    e.snapshotRelease = [] {
        if (g_CurrentState)
            g_CurrentState->snapshotPress();
        releaseSnapshot(kCameraButton);
    };
    e.recordPress = [] {
        if (recordTriggerFree() && g_CurrentState)
            g_CurrentState->toggleRecord();
    };
    return e;
}
} // namespace

COrvexIOControlBox::COrvexIOControlBox(wxWindow* parent, const wxPoint& pos, const wxSize& size,
                                       std::chrono::milliseconds answerWait)
    : wxWindow(parent, wxID_ANY, pos, size, 0, wxPanelNameStr)
{
    Hide();
    for (size_t i = 0; i < m_pictures.size(); ++i)
        m_pictures[i] =
            i % 2 ? loadSkinPicture(kPictureNames[i], 64, 64) : loadSkinPicture(kPictureNames[i]);

    auto* bar =
        new SkinBitmap(parent, wxID_ANY, wxBitmap(374, 24), wxDefaultPosition, wxSize(374, 24));
    auto makeButton = [&](int id, Control c) {
        auto* b = new wxBitmapButton(parent, id, releasePicture(c), wxDefaultPosition,
                                     wxSize(64, 64), wxBU_AUTODRAW | wxBORDER_NONE);
        if (clickPicture(c).IsOk())
            b->SetBitmapPressed(clickPicture(c));
        return b;
    };
    auto* down = makeButton(ID_BOX_LED_DOWN, LedDown);
    auto* up = makeButton(ID_BOX_LED_UP, LedUp);
    down->Bind(wxEVT_BUTTON, &COrvexIOControlBox::onLedDown, this, ID_BOX_LED_DOWN);
    up->Bind(wxEVT_BUTTON, &COrvexIOControlBox::onLedUp, this, ID_BOX_LED_UP);
    m_controls[LedDown] = down;
    m_controls[LedUp] = up;
    const int iconIds[3] = {ID_BOX_BOOST, ID_BOX_ROTATE, ID_BOX_LED_SWITCH};
    for (int k = 0; k < 3; ++k) {
        const auto c = static_cast<Control>(Boost + k);
        auto* icon = new SkinBitmap(parent, iconIds[k], releasePicture(c), wxDefaultPosition,
                                    wxSize(64, 64));
        icon->Bind(wxEVT_LEFT_DOWN, &COrvexIOControlBox::onIconDown, this);
        m_controls[c] = icon;
    }
    m_controls[LevelBar] = bar;
    for (auto& c : m_controls) {
        c->SetBackgroundStyle(wxBG_STYLE_PAINT);
        c->Hide();
    }

    m_watch.SetOwner(this);
    Bind(wxEVT_TIMER, &COrvexIOControlBox::onWatch, this);
    m_unit = std::make_unique<ScopeUnit>(toUtf8(g_ProgramDir + "/libBravik.so"), answerWait,
                                         cameraButtons());
    m_unit->onOpened([this] { openingSteps(); });
    open();
}

COrvexIOControlBox::~COrvexIOControlBox()
{
    m_watch.Stop();
    m_unit.reset();
    for (auto& c : m_controls)
        if (c)
            c->Destroy();
}

wxBitmapButton* COrvexIOControlBox::button(Control c) const
{
    return static_cast<wxBitmapButton*>(m_controls[c].get());
}

SkinBitmap* COrvexIOControlBox::icon(Control c) const
{
    return static_cast<SkinBitmap*>(m_controls[c].get());
}

uint16_t COrvexIOControlBox::readRegister(int mode, int device, int address)
{
    return m_unit->readRegister(mode, device, address);
}

std::optional<uint16_t> COrvexIOControlBox::tryRead(int mode, int device, int address)
{
    return m_unit->tryRead(mode, device, address);
}

bool COrvexIOControlBox::writeRegister(int mode, int device, int address, uint16_t value,
                                       std::optional<std::chrono::milliseconds> wait)
{
    return m_unit->writeRegister(mode, device, address, value, wait);
}

bool COrvexIOControlBox::checkKelmo(bool restore)
{
    const bool have = m_unit->checkKelmo(restore);
    watchUnit();
    return have;
}

void COrvexIOControlBox::open()
{
    m_unit->open();
    watchUnit();
}

void COrvexIOControlBox::watchUnit()
{
    if (m_unit->wantsTicks() && !m_watch.IsRunning())
        m_watch.Start(ScopeUnit::kTickMs);
}

void COrvexIOControlBox::onWatch(wxTimerEvent& /*event*/)
{
    m_unit->tick();
    if (!m_unit->wantsTicks())
        m_watch.Stop();
}

void COrvexIOControlBox::openingSteps()
{
    showIconPictures();
    drawLevelBar();
    showControls();
}

void COrvexIOControlBox::close()
{
    hideControls();
    m_watch.Stop();
    m_unit->close();
    closingSteps();
}

void COrvexIOControlBox::closingSteps()
{
    // A snapshot held on the camera's button has lost its release with the camera.
    cameraButtonLost();
    m_nRotation = 0;
    if (g_SettleTime <= 0)
        g_Rotation = 0;
    showIconPictures();
}

void COrvexIOControlBox::showControls()
{
    if (m_unit->unit())
        for (auto& c : m_controls)
            if (c)
                c->Show();
    if (g_SettleTime <= 0)
        g_Rotation = m_nRotation;
}

void COrvexIOControlBox::hideControls()
{
    for (auto& c : m_controls)
        if (c)
            c->Hide();
}

void COrvexIOControlBox::showIconPictures()
{
    const bool clicked[3] = {m_unit->boost(), m_nRotation > 0, m_unit->ledSwitch()};
    for (int k = 0; k < 3; ++k) {
        const auto c = static_cast<Control>(Boost + k);
        if (SkinBitmap* i = icon(c))
            i->show(clicked[k] ? clickPicture(c) : releasePicture(c));
    }
}

void COrvexIOControlBox::stepLed(int delta)
{
    m_unit->stepLed(delta);
    drawLevelBar();
}

void COrvexIOControlBox::toggleLedSwitch()
{
    m_unit->toggleLedSwitch();
    drawLevelBar();
    showIconPictures();
}

void COrvexIOControlBox::toggleBoost()
{
    m_unit->toggleBoost();
    showIconPictures();
}

void COrvexIOControlBox::stepRotation()
{
    m_nRotation = (m_nRotation + 1) % 4;
    // While a snapshot settles the picture keeps its rotation; showControls hands it on.
    if (g_SettleTime <= 0)
        g_Rotation = m_nRotation;
    showIconPictures();
}

void COrvexIOControlBox::onLedDown(wxCommandEvent& /*event*/)
{
    stepLed(-1);
}

void COrvexIOControlBox::onLedUp(wxCommandEvent& /*event*/)
{
    stepLed(+1);
}

void COrvexIOControlBox::onIconDown(wxMouseEvent& event)
{
    event.Skip();
    switch (event.GetId()) {
    case ID_BOX_BOOST:
        toggleBoost();
        break;
    case ID_BOX_ROTATE:
        stepRotation();
        break;
    case ID_BOX_LED_SWITCH:
        toggleLedSwitch();
        break;
    default:
        break;
    }
}

bool COrvexIOControlBox::poll()
{
    const ScopeUnit::PollStatus status = m_unit->poll(g_ButtonSource != kScreenButton);
    drawChanges(status);
    watchUnit();
    return status.present;
}

void COrvexIOControlBox::drawChanges(const ScopeUnit::PollStatus& status)
{
    if (status.levelChanged)
        drawLevelBar();
    if (status.iconsChanged)
        showIconPictures();
}

void COrvexIOControlBox::drawLevelBar()
{
    SkinBitmap* bar = icon(LevelBar);
    if (g_FullScreen || !bar)
        return;
    const wxSize size = bar->GetSize();
    if (size.x < 1 || size.y < 1)
        return;
    wxBitmap bmp(size.x, size.y);
    {
        wxMemoryDC dc(bmp);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        dc.SetBrush(*wxGREEN_BRUSH);
        dc.SetPen(*wxGREEN_PEN);
        const int s = (size.x - scope::kLedMax + 1) / scope::kLedMax;
        for (int i = 0, n = m_unit->ledLevel(); i < n; ++i)
            dc.DrawRectangle(i * (s + 1), 0, s, size.y);
    }
    bar->show(bmp);
}

void COrvexIOControlBox::layout(int x, int y, int w, int h)
{
    const BoxLayout l = layoutBox(x, y, w, h, scope::kLedMax);
    if (wxWindow* bar = m_controls[LevelBar])
        bar->SetSize(l.levelBar.x, l.levelBar.y, l.levelBar.w, l.levelBar.h);
    drawLevelBar();
    loadPictures(l.row[0].w, l.row[0].h);
    for (int c = LedDown; c <= LedSwitch; ++c)
        if (wxWindow* control = m_controls[c])
            control->SetSize(l.row[c].x, l.row[c].y, l.row[c].w, l.row[c].h);

    for (Control c : {LedDown, LedUp}) {
        wxBitmapButton* b = button(c);
        if (!b)
            continue;
        // A strip too small for any picture keeps the last ones rather than none.
        if (releasePicture(c).IsOk())
            b->SetBitmapLabel(releasePicture(c));
        if (clickPicture(c).IsOk())
            b->SetBitmapPressed(clickPicture(c));
    }
    showIconPictures();
}

void COrvexIOControlBox::loadPictures(int w, int h)
{
    for (size_t i = 0; i < m_pictures.size(); ++i)
        m_pictures[i] = loadSkinPicture(kPictureNames[i], w, h);
}
