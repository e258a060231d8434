#include "support/x_input.h"

#include <wx/defs.h>
#include <wx/gdicmn.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <map>

namespace xinput
{

namespace
{
// The simulator's X requests are only sent with the next one it makes: follow each action
// with a motion to where the pointer already is, which pushes the action out and does
// nothing itself.
bool flush(wxUIActionSimulator& sim)
{
    return sim.MouseMove(::wxGetMousePosition());
}

int keyCode(const std::string& name)
{
    static const std::map<std::string, int> names = {
        {"Return", WXK_RETURN}, {"Escape", WXK_ESCAPE}, {"space", WXK_SPACE}, {"Left", WXK_LEFT},
        {"Up", WXK_UP},         {"Right", WXK_RIGHT},   {"Down", WXK_DOWN},   {"Prior", WXK_PAGEUP},
        {"Next", WXK_PAGEDOWN}, {"Delete", WXK_DELETE}, {"F1", WXK_F1},       {"F2", WXK_F2},
        {"F3", WXK_F3},         {"F11", WXK_F11},
    };
    auto it = names.find(name);
    if (it != names.end())
        return it->second;
    if (name.size() == 1)
        return static_cast<unsigned char>(name[0]);
    return 0;
}
} // namespace

bool available()
{
    return wxGetX11Display() != nullptr;
}

bool key(const std::string& combo)
{
    int mods = wxMOD_NONE;
    std::string rest = combo;
    for (;;) {
        if (rest.rfind("ctrl+", 0) == 0) {
            mods |= wxMOD_CONTROL;
            rest = rest.substr(5);
        } else if (rest.rfind("alt+", 0) == 0) {
            mods |= wxMOD_ALT;
            rest = rest.substr(4);
        } else if (rest.rfind("shift+", 0) == 0) {
            mods |= wxMOD_SHIFT;
            rest = rest.substr(6);
        } else {
            break;
        }
    }
    const int code = keyCode(rest);
    if (!code)
        return false;
    wxUIActionSimulator sim;
    return sim.Char(code, mods) && flush(sim);
}

bool moveTo(int x, int y)
{
    wxUIActionSimulator sim;
    return sim.MouseMove(x, y) && sim.MouseMove(x, y);
}

bool click()
{
    wxUIActionSimulator sim;
    return sim.MouseClick(wxMOUSE_BTN_LEFT) && flush(sim);
}

bool press()
{
    wxUIActionSimulator sim;
    return sim.MouseDown(wxMOUSE_BTN_LEFT) && flush(sim);
}

bool release()
{
    wxUIActionSimulator sim;
    return sim.MouseUp(wxMOUSE_BTN_LEFT) && flush(sim);
}

} // namespace xinput
