// The strip under the family camera's picture: LED level bar, LED down/up buttons and the
// boost, rotate and LED-switch icons. It keeps the controls, their pictures and clicks, and
// drives the camera's extension unit (a ScopeUnit) from them and from its timer; it tells the
// family camera apart by its colour-bar test picture. The window itself stays hidden; its
// controls sit on the parent beside it.
#pragma once

#include "devctl/box_channel.h"
#include "devctl/scope_registers.h"
#include "devctl/scope_unit.h"

#include <wx/bitmap.h>
#include <wx/timer.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <opencv2/core/mat.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class SkinBitmap;
class wxBitmapButton;
class wxCommandEvent;
class wxMouseEvent;

class COrvexIOControlBox : public wxWindow
{
public:
    // Controls of the box, in creation order.
    enum Control { LedDown, LedUp, Boost, Rotate, LedSwitch, LevelBar, kControls };

    // answerWait: how long the window waits for a call into the unit before leaving it
    // outstanding.
    COrvexIOControlBox(wxWindow* parent, const wxPoint& pos, const wxSize& size,
                       std::chrono::milliseconds answerWait = BoxChannel::kWait);
    ~COrvexIOControlBox() override;

    // (Re)opens the camera's extension unit; shows the controls when it is found.
    void open();
    // Hides the controls, releases the unit and resets the button and rotation state.
    void close();
    // Shows the controls when a unit is open; hands the box's rotation to the picture.
    void showControls();
    void hideControls();

    void stepLed(int delta);
    void toggleLedSwitch();
    void toggleBoost();
    void stepRotation();
    // One look at the camera: tube, LED level, buttons. True when the tube answers. A look
    // that takes longer than a moment is picked up by a later call; meanwhile, and while the
    // unit does not answer, the last answer holds.
    bool poll();
    void layout(int x, int y, int w, int h);
    void drawLevelBar();

    // restore false: true when the family camera's tube answers; its colour bars are then on.
    // restore true: back to the live picture.
    bool checkKelmo(bool restore);
    // Whether a 640 x 480 BGR buffer (rows of 1920 bytes) shows the eight colour bars.
    static bool isKelmo(const uint8_t* pixels);
    // The same for a frame; false for any other size or type.
    static bool isKelmo(const cv::Mat& frame);

    // One register transfer on the open unit; nothing without a unit or the export. A read
    // that cannot be made gives 0, as a failed transfer does. Nothing is sent while the unit
    // has a request outstanding or has just failed one.
    uint16_t readRegister(int mode, int device, int address);
    // The value, or nothing when the read failed, was not made or did not end in time.
    std::optional<uint16_t> tryRead(int mode, int device, int address);
    // True when the write was made (or is still under way after wait).
    bool writeRegister(int mode, int device, int address, uint16_t value,
                       std::optional<std::chrono::milliseconds> wait = std::nullopt);

    // Called when a unit that did not answer at its opening, or to the camera search, answers.
    void onUnitAnswers(std::function<void()> fn) { m_unit->onUnitAnswers(std::move(fn)); }
    // The unit was found but does not answer its requests.
    bool unitSilent() const { return m_unit->unitSilent(); }
    // An opening is under way (its answer is picked up by the box's watch).
    bool opening() const { return m_unit->opening(); }
    // A camera search went without the unit's answer: the box's watch has it run again.
    bool lookMissed() const { return m_unit->lookMissed(); }

    // The camera's extension unit for api()'s transfers; null when device control is
    // unavailable.
    BVUnit* unit() const { return m_unit->unit(); }
    bool libraryLoaded() const { return m_unit->libraryLoaded(); }
    // The library's exports; all empty without the library.
    const BravikApi& api() const { return m_unit->api(); }

    // What the box shows and commands, for the preview and for tests.
    int ledLevel() const { return m_unit->ledLevel(); }
    int deviceLevel() const { return m_unit->deviceLevel(); }
    int rotation() const { return m_nRotation; }
    int buttonCode() const { return m_unit->buttonCode(); }
    bool ledSwitch() const { return m_unit->ledSwitch(); }
    bool boost() const { return m_unit->boost(); }
    bool levelPending() const { return m_unit->levelPending(); }
    bool tubeAbsent() const { return m_unit->tubeAbsent(); }
    int ledMax() const { return scope::kLedMax; }
    wxWindow* control(Control c) const { return m_controls[c].get(); }
    // Picture 2k is control k's release image, 2k + 1 its click image.
    const wxBitmap& picture(int i) const { return m_pictures[static_cast<size_t>(i)]; }

private:
    // Starts the watch when the unit asks for ticks; it stops itself once they are done.
    void watchUnit();
    void onWatch(wxTimerEvent& event);
    // The unit found answering at its opening.
    void openingSteps();
    void closingSteps();
    void drawChanges(const ScopeUnit::PollStatus& status);
    void loadPictures(int w, int h);
    void showIconPictures();
    void onLedDown(wxCommandEvent& event);
    void onLedUp(wxCommandEvent& event);
    void onIconDown(wxMouseEvent& event);
    wxBitmapButton* button(Control c) const;
    SkinBitmap* icon(Control c) const;
    const wxBitmap& releasePicture(Control c) const { return m_pictures[2 * size_t(c)]; }
    const wxBitmap& clickPicture(Control c) const { return m_pictures[2 * size_t(c) + 1]; }

    std::unique_ptr<ScopeUnit> m_unit;
    // Runs while the unit asks for ticks.
    wxTimer m_watch;

    std::array<wxBitmap, 10> m_pictures;
    // Children of the parent, not of the box; weak so a parent torn down first is noticed.
    std::array<wxWeakRef<wxWindow>, kControls> m_controls;

    int m_nRotation = 0;
};
