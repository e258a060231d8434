// Whether the toolkit would hand a pointer event at a widget's centre to that widget, and a
// way out of a modal dialog the test could not answer.
#pragma once

#include <string>

class wxWindow;

namespace widgetinput
{
// Mapped, sensitive, allocated at its size, the toolkit's topmost window under the pointer is
// its own (or a child's), and a native button has taken the pointer's entry.
bool takesInput(const wxWindow* w);
// What takesInput found, for a failure message.
std::string describe(const wxWindow* w);
// Answers "No" to every dialog on the screen, from the toolkit's own loop: a test whose real
// key presses could not reach a modal question fails instead of waiting on it forever.
void answerOpenDialogsNo();
} // namespace widgetinput
