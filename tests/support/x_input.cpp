#include "support/x_input.h"

#include <wx/utils.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <vector>

namespace xinput
{

namespace
{

// The test program's own connection (the toolkit's): what it sends here is in the server
// before the call returns, ahead of anything the program under test does next.
Display* display()
{
    return static_cast<Display*>(wxGetX11Display());
}

bool sent(Display* d)
{
    XSync(d, False);
    return true;
}

bool tap(Display* d, KeySym sym, bool down)
{
    const KeyCode code = XKeysymToKeycode(d, sym);
    return code != 0 && XTestFakeKeyEvent(d, code, down ? True : False, CurrentTime);
}

bool numLockOn(Display* d)
{
    unsigned int state = 0;
    XkbGetIndicatorState(d, XkbUseCoreKbd, &state);
    // NumLock is the second indicator of the core keyboard.
    return (state & 2u) != 0;
}

} // namespace

bool available()
{
    int event = 0, error = 0, major = 0, minor = 0;
    Display* d = display();
    return d && XTestQueryExtension(d, &event, &error, &major, &minor);
}

bool key(const std::string& combo)
{
    Display* d = display();
    if (!d)
        return false;
    std::vector<KeySym> mods;
    std::string rest = combo;
    for (;;) {
        if (rest.rfind("ctrl+", 0) == 0) {
            mods.push_back(XK_Control_L);
            rest = rest.substr(5);
        } else if (rest.rfind("alt+", 0) == 0) {
            mods.push_back(XK_Alt_L);
            rest = rest.substr(4);
        } else if (rest.rfind("shift+", 0) == 0) {
            mods.push_back(XK_Shift_L);
            rest = rest.substr(6);
        } else {
            break;
        }
    }
    const KeySym sym = XStringToKeysym(rest.c_str());
    if (sym == NoSymbol || XKeysymToKeycode(d, sym) == 0)
        return false;
    // Keypad digits are digits only with NumLock on, as on a real keyboard.
    const bool keypadDigit = sym >= XK_KP_0 && sym <= XK_KP_9;
    const bool toggleLock = keypadDigit && !numLockOn(d);
    bool ok = true;
    if (toggleLock)
        ok = tap(d, XK_Num_Lock, true) && tap(d, XK_Num_Lock, false);
    for (KeySym m : mods)
        ok = ok && tap(d, m, true);
    ok = ok && tap(d, sym, true) && tap(d, sym, false);
    for (auto m = mods.rbegin(); m != mods.rend(); ++m)
        ok = tap(d, *m, false) && ok;
    if (toggleLock)
        ok = tap(d, XK_Num_Lock, true) && tap(d, XK_Num_Lock, false) && ok;
    return ok && sent(d);
}

bool moveTo(int x, int y)
{
    Display* d = display();
    return d && XTestFakeMotionEvent(d, -1, x, y, CurrentTime) && sent(d);
}

bool click()
{
    Display* d = display();
    return d && XTestFakeButtonEvent(d, 1, True, CurrentTime) &&
           XTestFakeButtonEvent(d, 1, False, CurrentTime) && sent(d);
}

bool press()
{
    Display* d = display();
    return d && XTestFakeButtonEvent(d, 1, True, CurrentTime) && sent(d);
}

bool release()
{
    Display* d = display();
    return d && XTestFakeButtonEvent(d, 1, False, CurrentTime) && sent(d);
}

} // namespace xinput
