// Keys and the mouse wheel: caught frame-wide (GTK hands them to the focused or hovered
// child and never to the frame) and dispatched by the frame's key table.
#include "app/browse_panel_base.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/wheel_filter.h"
#include "pipeline/picture_settings.h"

#include <wx/bmpbuttn.h>
#include <wx/scrolbar.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <iterator>

namespace
{

// The table's code for a key event: Ctrl+letter as its control character (16 for Ctrl+P),
// letters in lower case as the char event would give them.
int tableCode(const wxKeyEvent& event)
{
    int code = event.GetKeyCode();
    const int mods = event.GetModifiers();
    if (code >= 'A' && code <= 'Z') {
        if (mods == wxMOD_CONTROL)
            return code - 'A' + 1;
        return code - 'A' + 'a';
    }
    // The keypad's Enter and digits give the char codes of their main-block twins.
    if (code == WXK_NUMPAD_ENTER)
        return WXK_RETURN;
    if (code >= WXK_NUMPAD0 && code <= WXK_NUMPAD9)
        return '0' + (code - WXK_NUMPAD0);
    return code;
}

enum class KeyAction {
    Enter,
    CtrlP,
    CtrlR,
    CtrlS,
    Escape,
    Space,
    Slot, // the strip's slot for the digit
    ShowAll,
    ShowPhotos,
    ShowVideos,
    Delete,
    Left,
    WheelUp,
    Right,
    WheelDown,
    F1,
    F2,
    F3,
    FullScreen,
    PagePrev,
    PageNext,
};

struct KeyBinding {
    int code; // as tableCode gives it
    bool altNeeded;
    KeyAction action;
};

// The numbers the program always went by (callers hand dispatchKey such numbers).
static_assert(WXK_RETURN == 13 && WXK_CONTROL_P == 16 && WXK_CONTROL_R == 18 &&
              WXK_CONTROL_S == 19 && WXK_ESCAPE == 27 && WXK_SPACE == 32 && WXK_DELETE == 127);
static_assert(WXK_LEFT == 314 && WXK_UP == 315 && WXK_RIGHT == 316 && WXK_DOWN == 317);
static_assert(WXK_F1 == 340 && WXK_F2 == 341 && WXK_F3 == 342 && WXK_F11 == 350);
static_assert(WXK_PAGEUP == 366 && WXK_PAGEDOWN == 367);

constexpr KeyBinding kKeyTable[] = {
    {WXK_RETURN, false, KeyAction::Enter},
    {WXK_CONTROL_P, false, KeyAction::CtrlP},
    {WXK_CONTROL_R, false, KeyAction::CtrlR},
    {WXK_CONTROL_S, false, KeyAction::CtrlS},
    {WXK_ESCAPE, false, KeyAction::Escape},
    {WXK_SPACE, false, KeyAction::Space},
    {'1', false, KeyAction::Slot},
    {'2', false, KeyAction::Slot},
    {'3', false, KeyAction::Slot},
    {'4', false, KeyAction::Slot},
    {'a', true, KeyAction::ShowAll},
    {'p', true, KeyAction::ShowPhotos},
    {'v', true, KeyAction::ShowVideos},
    {WXK_DELETE, false, KeyAction::Delete},
    {WXK_LEFT, false, KeyAction::Left},
    {WXK_UP, false, KeyAction::WheelUp},
    {WXK_RIGHT, false, KeyAction::Right},
    {WXK_DOWN, false, KeyAction::WheelDown},
    {WXK_F1, false, KeyAction::F1},
    {WXK_F2, false, KeyAction::F2},
    {WXK_F3, false, KeyAction::F3},
    {WXK_F11, false, KeyAction::FullScreen},
    {WXK_PAGEUP, false, KeyAction::PagePrev},
    {WXK_PAGEDOWN, false, KeyAction::PageNext},
};

} // namespace

void COrvexFrame::onCharHook(wxKeyEvent& event)
{
    event.Skip(!takeKey(event));
}

bool COrvexFrame::takeKey(const wxKeyEvent& event)
{
    // While text is typed (a folder's new name) every key is the editor's: a digit must not
    // pick a slot, nor Escape leave the tab and so save the half-typed name.
    if (dynamic_cast<wxTextCtrl*>(wxWindow::FindFocus()))
        return false;
    const int code = tableCode(event);
    if (code != WXK_DELETE) {
        dispatchKey(code, wxGetKeyState(WXK_ALT) || event.AltDown());
        return false;
    }
    // Delete asks a question: the press is used up here, or GTK hands it on to the parents
    // once the question's loop returns and it asks again. A held key's repeats would queue up
    // questions, so only a press after a release counts. (The toolkit's own repeat flag is
    // not filled in for this event.)
    if (m_deleteHeld)
        return true;
    m_deleteHeld = true;
    dispatchKey(code, false);
    // A release while the question was up went to the question, not to us.
    if (!wxGetKeyState(WXK_DELETE))
        m_deleteHeld = false;
    return true;
}

void COrvexFrame::keyReleased(int keyCode)
{
    if (keyCode == WXK_DELETE)
        m_deleteHeld = false;
}

void COrvexFrame::dispatchKey(int code, bool alt)
{
    COrvexState* s = g_CurrentState;
    COrvexBrowsePanelBase* panel = m_browsePanel;
    if (!s)
        return;
    const KeyBinding* key = std::find_if(std::begin(kKeyTable), std::end(kKeyTable),
                                         [code](const KeyBinding& k) { return k.code == code; });
    if (key == std::end(kKeyTable) || (key->altNeeded && !alt))
        return;
    switch (key->action) {
    case KeyAction::Enter:
        s->keyEnter();
        break;
    case KeyAction::CtrlP:
        s->keyCtrlP();
        break;
    case KeyAction::CtrlR:
        s->keyCtrlR();
        break;
    case KeyAction::CtrlS:
        s->keyCtrlS();
        break;
    case KeyAction::Escape:
        // Full screen may hide its exit button (a missing picture): Escape always leaves it.
        if (g_FullScreen)
            toggleFullScreen();
        else
            s->keyEscape();
        break;
    case KeyAction::Space:
        s->keySpace();
        break;
    case KeyAction::Slot:
        if (panel)
            panel->selectSlot(code - '1');
        break;
    case KeyAction::ShowAll:
        if (panel)
            panel->scanFolder(FilterAll);
        break;
    case KeyAction::ShowPhotos:
        if (panel)
            panel->scanFolder(FilterPhoto);
        break;
    case KeyAction::ShowVideos:
        if (panel)
            panel->scanFolder(FilterVideo);
        break;
    case KeyAction::Delete:
        if (panel && panel->isViewing())
            panel->deleteFile(panel->selectedSlot());
        break;
    case KeyAction::Left:
        s->keyLeft();
        break;
    case KeyAction::WheelUp:
        s->wheelStep(-1);
        break;
    case KeyAction::Right:
        s->keyRight();
        break;
    case KeyAction::WheelDown:
        s->wheelStep(1);
        break;
    case KeyAction::F1:
        s->keyF1();
        break;
    case KeyAction::F2:
        s->keyF2();
        break;
    case KeyAction::F3:
        s->keyF3();
        break;
    case KeyAction::FullScreen:
        if (s->allowsFullScreen())
            toggleFullScreen();
        break;
    // Paging the strip by key takes the focus as paging by its buttons does.
    case KeyAction::PagePrev:
        if (panel) {
            takeFocus();
            panel->pagePrev();
        }
        break;
    case KeyAction::PageNext:
        if (panel) {
            takeFocus();
            panel->pageNext();
        }
        break;
    }
}

void COrvexFrame::wheel(int rotation, int delta)
{
    if (g_CurrentState && delta != 0)
        g_CurrentState->wheelStep(-(rotation / delta));
}

void COrvexFrame::onFullScreenDown(wxMouseEvent& event)
{
    event.Skip();
    toggleFullScreen();
    takeFocus();
}

WheelFilter::WheelFilter(COrvexFrame* frame) : m_frame(frame)
{
    wxEvtHandler::AddFilter(this);
}

WheelFilter::~WheelFilter()
{
    wxEvtHandler::RemoveFilter(this);
}

int WheelFilter::FilterEvent(wxEvent& event)
{
    // GTK hands the keyboard focus to a bitmap button or a scroll bar that is used with the
    // mouse; the background takes it back as the control acts, so the keys keep reaching the
    // frame (and Space or Enter do not work the control again).
    if (event.GetEventType() == wxEVT_BUTTON || event.IsKindOf(wxCLASSINFO(wxScrollEvent))) {
        wxObject* o = event.GetEventObject();
        if (o &&
            (o->IsKindOf(wxCLASSINFO(wxBitmapButton)) || o->IsKindOf(wxCLASSINFO(wxScrollBar))) &&
            wxGetTopLevelParent(static_cast<wxWindow*>(o)) == m_frame)
            m_frame->takeFocus();
    }
    if (event.GetEventType() == wxEVT_KEY_UP)
        m_frame->keyReleased(static_cast<wxKeyEvent&>(event).GetKeyCode());
    // The toolkit sends no char hook while the mouse is captured (a drag on the seek bar):
    // the key still goes by the frame's table, once.
    if (event.GetEventType() == wxEVT_KEY_DOWN && wxWindow::GetCapture()) {
        auto* w = wxDynamicCast(event.GetEventObject(), wxWindow);
        if (w && wxGetTopLevelParent(w) == m_frame)
            return m_frame->takeKey(static_cast<wxKeyEvent&>(event)) ? Event_Processed : Event_Skip;
    }
    if (event.GetEventType() != wxEVT_MOUSEWHEEL)
        return Event_Skip;
    auto* w = wxDynamicCast(event.GetEventObject(), wxWindow);
    if (!w || wxGetTopLevelParent(w) != m_frame)
        return Event_Skip;
    auto& wheelEvent = static_cast<wxMouseEvent&>(event);
    if (wheelEvent.GetWheelAxis() != wxMOUSE_WHEEL_VERTICAL)
        return Event_Skip;
    // Over a list the user scrolls (the setup folder tree), the wheel scrolls it, not the zoom.
    for (wxWindow* p = w; p && p != m_frame; p = p->GetParent())
        if (p->IsKindOf(wxCLASSINFO(wxTreeCtrl)))
            return Event_Skip;
    m_frame->wheel(wheelEvent.GetWheelRotation(), wheelEvent.GetWheelDelta());
    return Event_Processed;
}
