// The X server as another client sees it: which program's window is up, who has the
// keyboard focus, and a small window manager for tests that need one.
#pragma once

#include <sys/types.h>

#include <string>

namespace xwindows
{

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The viewable top-level window of process pid (by its _NET_WM_PID), or 0.
unsigned long viewableWindowOf(pid_t pid);
// The same for a window titled title (a dialog of the program), or 0.
unsigned long viewableWindowOf(pid_t pid, const std::string& title);
// Where the window is on the root window; false when it is gone.
bool placeOf(unsigned long window, Rect& rect);
// True when the keyboard focus is on window or one of its children.
bool hasFocus(unsigned long window);

// openbox on this display, started by the constructor and ready (managing windows) once
// ready() is true; ended by the destructor.
class WindowManager
{
public:
    WindowManager();
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;
    bool ready() const { return m_ready; }
    const std::string& error() const { return m_error; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
    std::string m_error;
};

} // namespace xwindows
