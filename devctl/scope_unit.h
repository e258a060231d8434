// The family scope's extension unit as the box drives it, without a window: the library
// beside the program, the unit's opening (retried while it does not answer), one look at the
// tube, LED level and buttons per poll, and the LED, switch and boost commands. Calls into the
// library run on a BoxChannel, so a unit that stops answering never holds the caller; while
// it is silent the last answer holds. Whoever owns the unit calls tick() about every
// kTickMs while wantsTicks(), and draws what poll() says has changed.
#pragma once

#include "devctl/box_channel.h"
#include "devctl/bravik_library.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class ScopeUnit
{
public:
    static constexpr int kTickMs = 100;

    // What a poll saw, and what of the box's pictures it changed.
    struct PollStatus {
        bool present = false;      // the tube answered the last look; false without a unit
        bool levelChanged = false; // the LED level shown is another
        bool iconsChanged = false; // the switch or boost shown is another
    };
    // A camera button as it goes down or up; any code after the snapshot button is its
    // release.
    struct ButtonEdges {
        std::function<void()> snapshotPress;
        std::function<void()> snapshotRelease;
        std::function<void()> recordPress;
    };

    // library: the path of libBravik (missing: no device control, nothing logged). answerWait:
    // how long a call waits for the unit before leaving the request outstanding. The unit is
    // opened by open().
    ScopeUnit(const std::string& library, std::chrono::milliseconds answerWait,
              ButtonEdges edges = {});
    // Hands the unit back the level it reported, releases it and ends the channel; a unit that
    // stalls gets its last requests left to time out, with the library kept loaded for them.
    ~ScopeUnit();
    ScopeUnit(const ScopeUnit&) = delete;
    ScopeUnit& operator=(const ScopeUnit&) = delete;

    // (Re)opens the unit; the onOpened function runs once it answers.
    void open();
    // Releases the unit and forgets the button, the retry and the commands not yet sent.
    void close();
    // The opening's answer, a silent unit's retry, and the camera search run again.
    void tick();
    bool wantsTicks() const;

    // One look at the camera. readButtons false: the tube only (the on-screen snapshot button
    // holds the trigger). A look that takes longer than a moment is picked up by a later
    // call.
    PollStatus poll(bool readButtons);
    // The LED level by delta (clamped) and the LED switch, with their command; the boost.
    void stepLed(int delta);
    void toggleLedSwitch();
    void toggleBoost();

    // restore false: true when the tube answers; its colour bars are then on. restore true:
    // back to the live picture.
    bool checkKelmo(bool restore);

    // One register transfer on the open unit; nothing without a unit or the export. A read
    // that cannot be made gives 0, as a failed transfer does. Nothing is sent while the unit
    // has a request outstanding or has just failed one.
    uint16_t readRegister(int mode, int device, int address);
    // The value, or nothing when the read failed, was not made or did not end in time.
    std::optional<uint16_t> tryRead(int mode, int device, int address);
    // True when the write was made (or is still under way after wait).
    bool writeRegister(int mode, int device, int address, uint16_t value,
                       std::optional<std::chrono::milliseconds> wait = std::nullopt);

    // Runs when an opening found the unit answering, after its state is taken.
    void onOpened(std::function<void()> fn) { m_onOpened = std::move(fn); }
    // Runs when a unit that did not answer at its opening, or to the camera search, answers.
    void onUnitAnswers(std::function<void()> fn) { m_onAnswer = std::move(fn); }

    // The unit was found but does not answer its requests.
    bool unitSilent() const { return m_bSilent; }
    // An opening is under way; a tick or a poll picks up its answer.
    bool opening() const { return m_openReply != nullptr; }
    // A camera search went without the unit's answer: it runs again once the unit answers.
    bool lookMissed() const { return m_bMissedLook; }
    // The extension unit for api()'s transfers; null while none is open.
    BVUnit* unit() const { return m_pEEPXU; }
    bool libraryLoaded() const { return m_bravik.loaded(); }
    const BravikApi& api() const { return m_bravik.api(); }

    // The level shown and commanded, and the one the controller reported last.
    int ledLevel() const { return m_nLedLevel; }
    int deviceLevel() const { return m_nDeviceLevel; }
    int buttonCode() const { return m_nButtonCode; }
    bool ledSwitch() const { return m_bLedSwitch; }
    bool boost() const { return m_bBoost; }
    bool levelPending() const { return m_bLevelPending; }
    bool tubeAbsent() const { return m_bTubeAbsent; }

private:
    struct OpenReply;
    struct PollReply;

    bool loadLibrary(const std::string& path);
    void startOpen();
    void pickUpOpen();
    void finishOpen(const OpenReply& reply);
    void releaseUnit();
    void applyPoll(const PollReply& reply, bool readButtons, PollStatus& status);
    // The camera search could not ask the unit; it is run again once the unit answers.
    void missedLook();
    void noteSilent(const char* where);
    void noteAnswering();
    void sendLedCommand();

    BravikLibrary m_bravik;
    std::unique_ptr<BoxChannel> m_channel;
    ButtonEdges m_edges;
    std::shared_ptr<OpenReply> m_openReply; // an opening under way
    std::shared_ptr<PollReply> m_pollReply; // a look under way
    std::function<void()> m_onOpened;
    std::function<void()> m_onAnswer;
    BVFilterHolder* m_pFilter = nullptr;
    BVUnit* m_pEEPXU = nullptr;
    int m_nFoundVid = -1;
    int m_nFoundPid = -1;

    int m_nButtonCode = 0;
    int m_nLedLevel = 0;
    int m_nDeviceLevel = 0;
    bool m_bLedSwitch = false;
    bool m_bLevelPending = false;
    bool m_bBoost = false;
    bool m_bTubeAbsent = false;
    bool m_bPresent = false;       // the last look's answer
    bool m_bSilent = false;        // the unit failed its last request
    bool m_bRetrying = false;      // opened without an answer: opened again once a second
    bool m_bMissedLook = false;    // a camera search went without the unit's answer
    bool m_bLedCommandDue = false; // an LED command not sent yet
    bool m_bBoostDue = false;      // a boost switch not sent yet
};
