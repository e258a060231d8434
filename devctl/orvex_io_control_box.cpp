#include "devctl/orvex_io_control_box.h"

#include "app/data_files.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/skin_bitmap.h"
#include "devctl/box_layout.h"
#include "devctl/scope_registers.h"
#include "pipeline/capture_state.h"

#include <wx/bmpbuttn.h>
#include <wx/dcmemory.h>
#include <wx/filefn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace
{
constexpr int kApartmentThreaded = 2;

// How long the quitting box waits for its last calls; a unit that stalls gets them ended by
// the driver's time-out without the program.
constexpr std::chrono::milliseconds kQuitWait{300};
constexpr int kWatchMs = 100;

const char* const kPictureNames[10] = {
    "led_dec_release.bmp",    "led_dec_click.bmp",   "led_inc_release.bmp", "led_inc_click.bmp",
    "boost_release.bmp",      "boost_click.bmp",     "rotate_release.bmp",  "rotate_click.bmp",
    "led_switch_release.bmp", "led_switch_click.bmp"};
// A request the unit did not answer in time: the library's own wait, or the driver's.
bool timedOut(int result)
{
    return result == BV_E_FAIL || result == BV_RESULT_FROM_ERRNO(ETIMEDOUT);
}
} // namespace

// What an opening found, filled on the channel's thread; read once ended is set.
struct COrvexIOControlBox::OpenReply {
    BVFilterHolder* filter = nullptr;
    BVUnit* unit = nullptr;
    int foundPid = -1;
    int foundVid = -1;
    int init = 0;
    int statusResult = -1;
    uint16_t status = 0;
    std::atomic<bool> ended{false};
};

struct COrvexIOControlBox::PollReply {
    int result = 0;
    uint16_t tube = 0;
    bool withStatus = false;
    uint16_t status = 0;
    std::atomic<bool> ended{false};
};

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
    auto* down = makeButton(ID_LED_DOWN, LedDown);
    auto* up = makeButton(ID_LED_UP, LedUp);
    down->Bind(wxEVT_BUTTON, &COrvexIOControlBox::onLedDown, this, ID_LED_DOWN);
    up->Bind(wxEVT_BUTTON, &COrvexIOControlBox::onLedUp, this, ID_LED_UP);
    m_controls[LedDown] = down;
    m_controls[LedUp] = up;
    const int iconIds[3] = {ID_BOOST, ID_ROTATE, ID_LED_SWITCH};
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
    m_channel = std::make_unique<BoxChannel>(answerWait);
    if (loadLibrary() && api().initializeCom)
        m_channel->queue([init = api().initializeCom] {
            init(kApartmentThreaded);
            return 0;
        });
    open();
}

COrvexIOControlBox::~COrvexIOControlBox()
{
    m_watch.Stop();
    if (m_bravik.loaded()) {
        if (m_pEEPXU && !m_channel->failing() && api().writeReg) {
            const uint16_t level = static_cast<uint16_t>(m_nDeviceLevel);
            m_channel->queue(
                [write = api().writeReg, unit = m_pEEPXU, level] {
                    return write(unit, BV_MODE_A8D8, scope::kController, scope::kStatus, &level);
                },
                std::chrono::milliseconds(0));
        }
        // A holder without a unit (unit creation failed) is released too.
        if (m_pFilter || m_openReply)
            releaseUnit();
        if (api().uninitializeCom)
            m_channel->queue(
                [uninit = api().uninitializeCom] {
                    uninit();
                    return 0;
                },
                std::chrono::milliseconds(0));
        if (m_channel->shutdown(kQuitWait)) {
            m_bravik.unload();
        } else {
            // The channel's thread still waits on the unit and will call the library when
            // the driver gives up: the library stays loaded for it.
            logLine("IOControlBox quit: the extension unit does not answer, its last requests "
                    "are left to time out\n");
            m_bravik.keepLoaded();
        }
    } else {
        m_channel->shutdown(kQuitWait);
    }
    m_pFilter = nullptr;
    m_pEEPXU = nullptr;
    for (auto& c : m_controls)
        if (c)
            c->Destroy();
}

bool COrvexIOControlBox::loadLibrary()
{
    const wxString path = g_ProgramDir + "/libBravik.so";
    if (!wxFileExists(path))
        return false; // the library is optional: nothing to report
    std::string error;
    if (!m_bravik.load(toUtf8(path), &error)) {
        logLine("IOControlBox load() %s not loadable\n", toUtf8(path).c_str());
        return false;
    }
    for (const std::string& name : m_bravik.missing())
        logLine("IOControlBox load() %s missing\n", name.c_str());
    return true;
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
    return tryRead(mode, device, address).value_or(0);
}

std::optional<uint16_t> COrvexIOControlBox::tryRead(int mode, int device, int address)
{
    if (!m_pEEPXU || !api().readReg)
        return std::nullopt;
    // The value is written on the channel's thread, also after the wait was given up.
    auto value = std::make_shared<uint16_t>(0);
    const auto outcome =
        m_channel->run([read = api().readReg, unit = m_pEEPXU, mode, device, address, value] {
            return read(unit, mode, device, address, value.get());
        });
    if (outcome == BoxChannel::Outcome::Done) {
        noteAnswering();
        return *value;
    }
    if (outcome == BoxChannel::Outcome::Failed)
        noteSilent("read");
    return std::nullopt;
}

bool COrvexIOControlBox::writeRegister(int mode, int device, int address, uint16_t value,
                                       std::optional<std::chrono::milliseconds> wait)
{
    if (!m_pEEPXU || !api().writeReg)
        return false;
    BoxChannel::Job job = [write = api().writeReg, unit = m_pEEPXU, mode, device, address, value] {
        return write(unit, mode, device, address, &value);
    };
    const auto outcome =
        wait ? m_channel->run(std::move(job), *wait) : m_channel->run(std::move(job));
    switch (outcome) {
    case BoxChannel::Outcome::Done:
        noteAnswering();
        return true;
    case BoxChannel::Outcome::Pending:
        return true;
    case BoxChannel::Outcome::Failed:
        noteSilent("write");
        return false;
    case BoxChannel::Outcome::Refused:
        break;
    }
    return false;
}

void COrvexIOControlBox::open()
{
    if (!m_bravik.loaded())
        return;
    // A unit that could not be released again must not be created: the next open would
    // leak it.
    if (!api().release || !api().initialize)
        return;
    m_bRetrying = false;
    releaseUnit();
    startOpen();
}

void COrvexIOControlBox::releaseUnit()
{
    // Released on the channel after whatever it runs, so no request of the unit outlives it.
    auto release = api().release;
    if (!release)
        return;
    m_channel->queue(
        [release, filter = m_pFilter, unit = m_pEEPXU]() mutable {
            release(&filter, &unit);
            return 0;
        },
        std::chrono::milliseconds(0));
    if (m_openReply)
        m_channel->queue(
            [release, reply = m_openReply] {
                release(&reply->filter, &reply->unit);
                return 0;
            },
            std::chrono::milliseconds(0));
    m_openReply.reset();
    m_pollReply.reset();
    m_pFilter = nullptr;
    m_pEEPXU = nullptr;
}

void COrvexIOControlBox::startOpen()
{
    auto reply = std::make_shared<OpenReply>();
    m_openReply = reply;
    m_channel->queue([init = api().initialize, read = api().readReg, reply] {
        reply->init = init(&reply->filter, &reply->unit, scope::kPid, scope::kVid, &reply->foundPid,
                           &reply->foundVid);
        if (reply->unit && read)
            reply->statusResult =
                read(reply->unit, BV_MODE_A8D8, scope::kController, scope::kStatus, &reply->status);
        // A device that is not there is no failure of the unit: nothing to back off from.
        const bool failed =
            reply->filter && (reply->init < 0 || (reply->unit && reply->statusResult < 0));
        reply->ended = true;
        return failed ? -1 : 0;
    });
    pickUpOpen();
    if (m_openReply && !m_watch.IsRunning())
        m_watch.Start(kWatchMs);
}

void COrvexIOControlBox::pickUpOpen()
{
    // Ended, and the channel free again for what the opening sends next.
    if (!m_openReply || !m_openReply->ended || m_channel->busy())
        return;
    const std::shared_ptr<OpenReply> reply = std::move(m_openReply);
    finishOpen(*reply);
}

void COrvexIOControlBox::finishOpen(const OpenReply& reply)
{
    m_pFilter = reply.filter;
    m_pEEPXU = reply.unit;
    m_nFoundPid = reply.foundPid;
    m_nFoundVid = reply.foundVid;
    if (m_pEEPXU && reply.statusResult >= 0) {
        noteAnswering();
        openingSteps(reply.status);
        if (m_bRetrying) {
            // The camera search ran without the unit: the watch has it run again.
            m_bRetrying = false;
            m_bMissedLook = true;
        }
        return;
    }
    // Only a unit that timed out is retried; one that refused is left as it is.
    if (m_pFilter && (timedOut(reply.init) || (m_pEEPXU && timedOut(reply.statusResult)))) {
        noteSilent("open()");
        m_bRetrying = true;
        if (!m_watch.IsRunning())
            m_watch.Start(kWatchMs);
    }
}

void COrvexIOControlBox::onWatch(wxTimerEvent& /*event*/)
{
    pickUpOpen();
    if (m_bRetrying && !m_openReply && m_channel->ready()) {
        releaseUnit();
        startOpen();
    }
    if (m_bMissedLook && !m_openReply && !m_bRetrying && m_pEEPXU && m_channel->ready()) {
        if (m_bSilent) {
            // One question a second until the unit answers again.
            tryRead(BV_MODE_A16D16, scope::kTube, scope::kTubePresence);
        } else {
            m_bMissedLook = false;
            if (m_onAnswer)
                m_onAnswer();
        }
    }
    if (!m_openReply && !m_bRetrying && !m_bMissedLook)
        m_watch.Stop();
}

void COrvexIOControlBox::missedLook()
{
    m_bMissedLook = true;
    if (!m_watch.IsRunning())
        m_watch.Start(kWatchMs);
}

void COrvexIOControlBox::noteSilent(const char* where)
{
    if (!m_bSilent)
        logLine("IOControlBox %s the extension unit does not answer\n", where);
    m_bSilent = true;
}

void COrvexIOControlBox::noteAnswering()
{
    if (m_bSilent)
        logLine("IOControlBox the extension unit answers again\n");
    m_bSilent = false;
}

void COrvexIOControlBox::openingSteps(uint16_t s)
{
    m_nLedLevel = m_nDeviceLevel = s & scope::kLedLevelMask;
    m_bPresent = true; // as the preview assumes until the first look
    m_bLedSwitch = false;
    m_bBoost = false;
    showIconPictures();
    writeRegister(BV_MODE_A8D8, scope::kController, scope::kStatus, s);
    drawLevelBar();
    showControls();
}

void COrvexIOControlBox::close()
{
    hideControls();
    m_watch.Stop();
    m_bRetrying = false;
    m_bMissedLook = false;
    if (m_bravik.loaded())
        releaseUnit();
    m_pFilter = nullptr;
    m_pEEPXU = nullptr;
    closingSteps();
}

void COrvexIOControlBox::closingSteps()
{
    // A snapshot held on the camera's button has lost its release with the camera.
    if (g_ButtonSource == 2)
        g_Freeze = false;
    g_ButtonSource = 0;
    m_nButtonCode = scope::NoButton;
    m_nRotation = 0;
    m_bPresent = false;
    m_bSilent = false;
    m_bLedCommandDue = false;
    m_bBoostDue = false;
    if (g_SettleTime <= 0)
        g_Rotation = 0;
    showIconPictures();
}

void COrvexIOControlBox::showControls()
{
    if (m_pEEPXU)
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
    const bool clicked[3] = {m_bBoost, m_nRotation > 0, m_bLedSwitch};
    for (int k = 0; k < 3; ++k) {
        const auto c = static_cast<Control>(Boost + k);
        if (SkinBitmap* i = icon(c))
            i->show(clicked[k] ? clickPicture(c) : releasePicture(c));
    }
}

void COrvexIOControlBox::sendLedCommand()
{
    if (!m_pEEPXU)
        return;
    const int command = scope::kLedCommand | (m_bLedSwitch ? scope::kLedSwitchBit : 0) |
                        (m_nLedLevel & scope::kLedLevelMask);
    // A unit that does not answer gets the latest command once it answers again.
    m_bLedCommandDue = !writeRegister(BV_MODE_A8D8, scope::kController, command, 0);
    if (!m_bLedCommandDue)
        m_bLevelPending = true;
}

void COrvexIOControlBox::stepLed(int delta)
{
    m_nLedLevel = std::clamp(m_nLedLevel + delta, 0, m_nLedMax);
    drawLevelBar();
    sendLedCommand();
}

void COrvexIOControlBox::toggleLedSwitch()
{
    m_bLedSwitch = !m_bLedSwitch;
    drawLevelBar();
    sendLedCommand();
    showIconPictures();
}

void COrvexIOControlBox::toggleBoost()
{
    m_bBoost = !m_bBoost;
    m_bBoostDue = !writeRegister(BV_MODE_A16D16, scope::kTube, scope::kTubeBoost,
                                 m_bBoost ? scope::kBoostOn : scope::kBoostOff);
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
    if (g_MainFrame)
        g_MainFrame->takeFocus();
}

void COrvexIOControlBox::onLedUp(wxCommandEvent& /*event*/)
{
    stepLed(+1);
    if (g_MainFrame)
        g_MainFrame->takeFocus();
}

void COrvexIOControlBox::onIconDown(wxMouseEvent& event)
{
    event.Skip();
    switch (event.GetId()) {
    case ID_BOOST:
        toggleBoost();
        break;
    case ID_ROTATE:
        stepRotation();
        break;
    case ID_LED_SWITCH:
        toggleLedSwitch();
        break;
    default:
        break;
    }
}

bool COrvexIOControlBox::poll()
{
    pickUpOpen();
    if (!m_pEEPXU || !api().readReg)
        return false;
    // One look at a time: while one is under way, or the unit has just failed one, the
    // last answer holds and the window goes on.
    if (!m_pollReply && m_channel->ready()) {
        auto reply = std::make_shared<PollReply>();
        m_pollReply = reply;
        m_channel->run([read = api().readReg, unit = m_pEEPXU, withStatus = g_ButtonSource != 1,
                        reply] {
            int r = read(unit, BV_MODE_A16D16, scope::kTube, scope::kTubePresence, &reply->tube);
            if (r >= 0 && reply->tube != scope::kNoTube && withStatus) {
                reply->withStatus = true;
                r = read(unit, BV_MODE_A8D8, scope::kController, scope::kStatus, &reply->status);
            }
            reply->result = r;
            reply->ended = true;
            return r;
        });
    }
    if (m_pollReply && m_pollReply->ended && !m_channel->busy()) {
        const std::shared_ptr<PollReply> reply = std::move(m_pollReply);
        applyPoll(*reply);
    }
    return m_bPresent;
}

void COrvexIOControlBox::applyPoll(const PollReply& reply)
{
    if (reply.result < 0) {
        noteSilent("poll()");
        return;
    }
    noteAnswering();
    if (reply.tube == scope::kNoTube) {
        m_nDeviceLevel = 0;
        if (m_nLedLevel != 0) {
            m_nLedLevel = 0;
            drawLevelBar();
        }
        m_bTubeAbsent = true;
        m_bPresent = false;
        return;
    }
    m_bPresent = true;
    if (m_bTubeAbsent) {
        // A tube plugged back in starts with its LED switch and boost off.
        m_bLedSwitch = false;
        m_bBoost = false;
        m_bTubeAbsent = false;
        m_bBoostDue = false;
        showIconPictures();
    }
    if (m_bBoostDue)
        m_bBoostDue = !writeRegister(BV_MODE_A16D16, scope::kTube, scope::kTubeBoost,
                                     m_bBoost ? scope::kBoostOn : scope::kBoostOff);
    if (m_bLedCommandDue)
        sendLedCommand();
    if (g_ButtonSource == 1 || !reply.withStatus)
        return; // the on-screen snapshot button holds the trigger

    const uint16_t s = reply.status;
    const int level = s & scope::kLedLevelMask;
    if (level != m_nDeviceLevel) {
        if (m_bLevelPending) {
            m_bLevelPending = false;
            writeRegister(BV_MODE_A8D8, scope::kController, scope::kStatus, s);
            m_bLedSwitch = false;
            showIconPictures();
        }
        m_nLedLevel = level;
        drawLevelBar();
    }
    m_nDeviceLevel = level;

    const int code = (s >> scope::kButtonShift) & 0x0F;
    const int previous = m_nButtonCode;
    m_nButtonCode = code;
    if (code == previous)
        return;
    if (previous == scope::SnapshotButton) {
        // Any code after the snapshot button is its release, or the freeze would stick.
        if (g_CurrentState)
            g_CurrentState->snapshotPress();
        g_ButtonSource = 0;
        return;
    }
    if (previous != scope::NoButton)
        return;
    switch (code) {
    case scope::SnapshotButton:
        if (!g_Freeze && !recordingRuns()) {
            g_ButtonSource = 2;
            if (g_CurrentState)
                g_CurrentState->snapshotPress();
        }
        break;
    case scope::RecordButton:
        if (g_ButtonSource == 0 && g_CurrentState)
            g_CurrentState->toggleRecord();
        break;
    case scope::LedUpButton:
        stepLed(+1);
        break;
    case scope::LedDownButton:
        stepLed(-1);
        break;
    default:
        break;
    }
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
        const int s = (size.x - m_nLedMax + 1) / m_nLedMax;
        for (int i = 0; i < m_nLedLevel; ++i)
            dc.DrawRectangle(i * (s + 1), 0, s, size.y);
    }
    bar->show(bmp);
}

void COrvexIOControlBox::layout(int x, int y, int w, int h)
{
    const BoxLayout l = layoutBox(x, y, w, h, m_nLedMax);
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
