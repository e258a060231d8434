#include "devctl/scope_unit.h"

#include "app/data_files.h"
#include "devctl/scope_registers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

namespace
{
constexpr int kApartmentThreaded = 2;

// How long the quitting box waits for its last calls; a unit that stalls gets them ended by
// the driver's time-out without the program.
constexpr std::chrono::milliseconds kQuitWait{300};

// A request the unit did not answer in time: the library's own wait, or the driver's.
bool timedOut(int result)
{
    return result == BV_E_FAIL || result == BV_RESULT_FROM_ERRNO(ETIMEDOUT);
}
} // namespace

// What an opening found, filled on the channel's thread; read once ended is set.
struct ScopeUnit::OpenReply {
    BVFilterHolder* filter = nullptr;
    BVUnit* unit = nullptr;
    int foundPid = -1;
    int foundVid = -1;
    int init = 0;
    int statusResult = -1;
    uint16_t status = 0;
    std::atomic<bool> ended{false};
};

struct ScopeUnit::PollReply {
    int result = 0;
    uint16_t tube = 0;
    bool withStatus = false;
    uint16_t status = 0;
    std::atomic<bool> ended{false};
};

ScopeUnit::ScopeUnit(const std::string& library, std::chrono::milliseconds answerWait,
                     ButtonEdges edges)
    : m_channel(std::make_unique<BoxChannel>(answerWait)), m_edges(std::move(edges))
{
    if (loadLibrary(library) && api().initializeCom)
        m_channel->queue([init = api().initializeCom] {
            init(kApartmentThreaded);
            return 0;
        });
}

ScopeUnit::~ScopeUnit()
{
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
}

bool ScopeUnit::loadLibrary(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec))
        return false; // the library is optional: nothing to report
    std::string error;
    if (!m_bravik.load(path, &error)) {
        logLine("IOControlBox load() %s not loadable\n", path.c_str());
        return false;
    }
    for (const std::string& name : m_bravik.missing())
        logLine("IOControlBox load() %s missing\n", name.c_str());
    return true;
}

uint16_t ScopeUnit::readRegister(int mode, int device, int address)
{
    return tryRead(mode, device, address).value_or(0);
}

std::optional<uint16_t> ScopeUnit::tryRead(int mode, int device, int address)
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

bool ScopeUnit::writeRegister(int mode, int device, int address, uint16_t value,
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

void ScopeUnit::open()
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

void ScopeUnit::releaseUnit()
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

void ScopeUnit::startOpen()
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
}

void ScopeUnit::pickUpOpen()
{
    // Ended, and the channel free again for what the opening sends next.
    if (!m_openReply || !m_openReply->ended || m_channel->busy())
        return;
    const std::shared_ptr<OpenReply> reply = std::move(m_openReply);
    finishOpen(*reply);
}

void ScopeUnit::finishOpen(const OpenReply& reply)
{
    m_pFilter = reply.filter;
    m_pEEPXU = reply.unit;
    m_nFoundPid = reply.foundPid;
    m_nFoundVid = reply.foundVid;
    if (m_pEEPXU && reply.statusResult >= 0) {
        noteAnswering();
        const uint16_t s = reply.status;
        m_nLedLevel = m_nDeviceLevel = s & scope::kLedLevelMask;
        m_bPresent = true; // as the preview assumes until the first look
        m_bLedSwitch = false;
        m_bBoost = false;
        writeRegister(BV_MODE_A8D8, scope::kController, scope::kStatus, s);
        if (m_onOpened)
            m_onOpened();
        if (m_bRetrying) {
            // The camera search ran without the unit: the next tick has it run again.
            m_bRetrying = false;
            m_bMissedLook = true;
        }
        return;
    }
    // Only a unit that timed out is retried; one that refused is left as it is.
    if (m_pFilter && (timedOut(reply.init) || (m_pEEPXU && timedOut(reply.statusResult)))) {
        noteSilent("open()");
        m_bRetrying = true;
    }
}

bool ScopeUnit::wantsTicks() const
{
    return m_openReply || m_bRetrying || m_bMissedLook;
}

void ScopeUnit::tick()
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
}

void ScopeUnit::missedLook()
{
    m_bMissedLook = true;
}

void ScopeUnit::noteSilent(const char* where)
{
    if (!m_bSilent)
        logLine("IOControlBox %s the extension unit does not answer\n", where);
    m_bSilent = true;
}

void ScopeUnit::noteAnswering()
{
    if (m_bSilent)
        logLine("IOControlBox the extension unit answers again\n");
    m_bSilent = false;
}

void ScopeUnit::close()
{
    m_bRetrying = false;
    m_bMissedLook = false;
    if (m_bravik.loaded())
        releaseUnit();
    m_pFilter = nullptr;
    m_pEEPXU = nullptr;
    m_nButtonCode = scope::NoButton;
    m_bPresent = false;
    m_bSilent = false;
    m_bLedCommandDue = false;
    m_bBoostDue = false;
}

void ScopeUnit::sendLedCommand()
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

void ScopeUnit::stepLed(int delta)
{
    m_nLedLevel = std::clamp(m_nLedLevel + delta, 0, scope::kLedMax);
    sendLedCommand();
}

void ScopeUnit::toggleLedSwitch()
{
    m_bLedSwitch = !m_bLedSwitch;
    sendLedCommand();
}

void ScopeUnit::toggleBoost()
{
    m_bBoost = !m_bBoost;
    m_bBoostDue = !writeRegister(BV_MODE_A16D16, scope::kTube, scope::kTubeBoost,
                                 m_bBoost ? scope::kBoostOn : scope::kBoostOff);
}

ScopeUnit::PollStatus ScopeUnit::poll(bool readButtons)
{
    PollStatus status;
    pickUpOpen();
    if (!m_pEEPXU || !api().readReg)
        return status;
    // One look at a time: while one is under way, or the unit has just failed one, the
    // last answer holds and the caller goes on.
    if (!m_pollReply && m_channel->ready()) {
        auto reply = std::make_shared<PollReply>();
        m_pollReply = reply;
        m_channel->run([read = api().readReg, unit = m_pEEPXU, withStatus = readButtons, reply] {
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
        applyPoll(*reply, readButtons, status);
    }
    status.present = m_bPresent;
    return status;
}

void ScopeUnit::applyPoll(const PollReply& reply, bool readButtons, PollStatus& status)
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
            status.levelChanged = true;
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
        status.iconsChanged = true;
    }
    if (m_bBoostDue)
        m_bBoostDue = !writeRegister(BV_MODE_A16D16, scope::kTube, scope::kTubeBoost,
                                     m_bBoost ? scope::kBoostOn : scope::kBoostOff);
    if (m_bLedCommandDue)
        sendLedCommand();
    if (!readButtons || !reply.withStatus)
        return; // the on-screen snapshot button holds the trigger

    const uint16_t s = reply.status;
    const int level = s & scope::kLedLevelMask;
    if (level != m_nDeviceLevel) {
        if (m_bLevelPending) {
            m_bLevelPending = false;
            writeRegister(BV_MODE_A8D8, scope::kController, scope::kStatus, s);
            m_bLedSwitch = false;
            status.iconsChanged = true;
        }
        m_nLedLevel = level;
        status.levelChanged = true;
    }
    m_nDeviceLevel = level;

    const int code = (s >> scope::kButtonShift) & 0x0F;
    const int previous = m_nButtonCode;
    m_nButtonCode = code;
    if (code == previous)
        return;
    if (previous == scope::SnapshotButton) {
        // Any code after the snapshot button is its release, or the freeze would stick.
        if (m_edges.snapshotRelease)
            m_edges.snapshotRelease();
        return;
    }
    if (previous != scope::NoButton)
        return;
    switch (code) {
    case scope::SnapshotButton:
        if (m_edges.snapshotPress)
            m_edges.snapshotPress();
        break;
    case scope::RecordButton:
        if (m_edges.recordPress)
            m_edges.recordPress();
        break;
    case scope::LedUpButton:
        stepLed(+1);
        status.levelChanged = true;
        break;
    case scope::LedDownButton:
        stepLed(-1);
        status.levelChanged = true;
        break;
    default:
        break;
    }
}
