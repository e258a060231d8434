// Keys and the mouse wheel: caught frame-wide (GTK hands them to the focused or hovered
// child and never to the frame) and dispatched by the frame's key table.
#include "app/browse_panel_base.h"
#include "app/orvex_frame.h"
#include "app/orvex_state.h"
#include "app/picture_settings.h"
#include "app/wheel_filter.h"

#include <wx/textctrl.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

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
    switch (code) {
    case 13:
        s->keyEnter();
        break;
    case 16:
        s->keyCtrlP();
        break;
    case 18:
        s->keyCtrlR();
        break;
    case 19:
        s->keyCtrlS();
        break;
    case 27:
        // Full screen may hide its exit button (a missing picture): Escape always leaves it.
        if (g_FullScreen)
            toggleFullScreen();
        else
            s->keyEscape();
        break;
    case 32:
        s->keySpace();
        break;
    case 49:
    case 50:
    case 51:
    case 52:
        if (panel)
            panel->selectSlot(code - 49);
        break;
    case 97:
        if (alt && panel)
            panel->scanFolder(FilterAll);
        break;
    case 112:
        if (alt && panel)
            panel->scanFolder(FilterPhoto);
        break;
    case 118:
        if (alt && panel)
            panel->scanFolder(FilterVideo);
        break;
    case 127:
        if (panel && panel->isViewing())
            panel->deleteFile(panel->selectedSlot());
        break;
    case 314:
        s->keyLeft();
        break;
    case 315:
        s->wheelStep(-1);
        break;
    case 316:
        s->keyRight();
        break;
    case 317:
        s->wheelStep(1);
        break;
    case 340:
        s->keyF1();
        break;
    case 341:
        s->keyF2();
        break;
    case 342:
        s->keyF3();
        break;
    case 350:
        if (s->id() != StateSetup)
            toggleFullScreen();
        break;
    case 366:
        if (panel)
            panel->pagePrev();
        break;
    case 367:
        if (panel)
            panel->pageNext();
        break;
    default:
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
