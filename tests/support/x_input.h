// Real keyboard and mouse input through the X server (its XTEST extension), sent
// to the server before each call returns, so the program under test sees it on its next
// round of events.
#pragma once

#include <string>

namespace xinput
{

// False when there is no X display.
bool available();
// A key by its X keysym name ("Return", "F11", "a", "Prior", "KP_Enter", "KP_1"), with "ctrl+",
// "alt+" and "shift+" prefixes, pressed and released.
bool key(const std::string& combo);
bool moveTo(int x, int y);
// A left click where the pointer is.
bool click();
// The left button pressed or released where the pointer is (a drag between them).
bool press();
bool release();

} // namespace xinput
