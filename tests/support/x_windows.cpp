#include "support/x_windows.h"
#include "support/wait_for.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace xwindows
{

namespace
{

// A connection of its own for each question, so nothing waits in another client's queue.
class Connection
{
public:
    Connection() : m_display(XOpenDisplay(nullptr)) {}
    ~Connection()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* get() const { return m_display; }

private:
    Display* m_display;
};

bool cardinalProperty(Display* d, Window w, const char* name, unsigned long& value)
{
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(d, w, atom, 0, 1, False, AnyPropertyType, &type, &format,
                                      &count, &after, &data);
    const bool ok = rc == Success && data && count == 1 && format == 32;
    if (ok)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return ok;
}

// Visits w and its descendants down to depth levels (a window manager adds one: its frame).
bool anyWindow(Display* d, Window w, int depth, const std::function<bool(Window)>& match)
{
    if (match(w))
        return true;
    if (depth == 0)
        return false;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < n && !found; ++i)
        found = anyWindow(d, children[i], depth - 1, match);
    if (children)
        XFree(children);
    return found;
}

bool titled(Display* d, Window w, const std::string& title)
{
    char* name = nullptr;
    const bool same = XFetchName(d, w, &name) && name && title == name;
    if (name)
        XFree(name);
    return same;
}

} // namespace

unsigned long viewableWindowOf(pid_t pid, const std::string& title)
{
    Connection c;
    if (!c.get())
        return 0;
    Display* d = c.get();
    Window found = 0;
    anyWindow(d, DefaultRootWindow(d), 2, [&](Window w) {
        unsigned long owner = 0;
        XWindowAttributes a;
        if (!cardinalProperty(d, w, "_NET_WM_PID", owner) ||
            owner != static_cast<unsigned long>(pid))
            return false;
        if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable)
            return false;
        if (!title.empty() && !titled(d, w, title))
            return false;
        found = w;
        return true;
    });
    return found;
}

unsigned long viewableWindowOf(pid_t pid)
{
    return viewableWindowOf(pid, {});
}

bool placeOf(unsigned long window, Rect& rect)
{
    Connection c;
    Display* d = c.get();
    XWindowAttributes a;
    Window child = 0;
    if (!d || !XGetWindowAttributes(d, window, &a) ||
        !XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &rect.x, &rect.y, &child))
        return false;
    rect.width = a.width;
    rect.height = a.height;
    return true;
}

bool hasFocus(unsigned long window)
{
    Connection c;
    Display* d = c.get();
    if (!d)
        return false;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return false;
    return anyWindow(d, window, 3, [&](Window w) { return w == focus; });
}

WindowManager::WindowManager()
{
    std::string exe = "/usr/bin/openbox", sm = "--sm-disable";
    char* argv[] = {exe.data(), sm.data(), nullptr};
    if (posix_spawn(&m_pid, exe.c_str(), nullptr, nullptr, argv, environ) != 0) {
        m_pid = -1;
        m_error = "cannot start " + exe;
        return;
    }
    // Managing once it has announced itself on the root window.
    m_ready = e2e::waitFor(
                  [this] {
                      int status = 0;
                      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                          m_pid = -1;
                          return true;
                      }
                      Connection c;
                      unsigned long check = 0;
                      return c.get() && cardinalProperty(c.get(), DefaultRootWindow(c.get()),
                                                         "_NET_SUPPORTING_WM_CHECK", check);
                  },
                  20000) &&
              m_pid > 0;
    if (!m_ready)
        m_error = m_pid > 0 ? "openbox did not start managing" : "openbox ended at once";
}

WindowManager::~WindowManager()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
}

} // namespace xwindows
