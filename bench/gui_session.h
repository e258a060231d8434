// The toolkit started on the X display for the benchmarks that paint: one top-level window
// with a panel to put the program's windows on.
#pragma once

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <cstdlib>

namespace benchgui
{

class App : public wxApp
{
public:
    bool OnInit() override { return true; }
};

inline wxFrame*& window()
{
    static wxFrame* w = nullptr;
    return w;
}

// The panel of a new window of the given size, shown by show() once its children are made;
// null without an X display (run under xvfb-run) or when the toolkit does not start.
inline wxPanel* start(int& argc, char** argv, const wxSize& size)
{
    if (!std::getenv("DISPLAY"))
        return nullptr;
    wxApp::SetInstance(new App);
    if (!wxEntryStart(argc, argv))
        return nullptr;
    wxTheApp->CallOnInit();
    wxInitAllImageHandlers();
    window() = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, size);
    return new wxPanel(window());
}

inline void show()
{
    window()->Show();
    wxTheApp->Yield();
}

inline void stop()
{
    if (!window())
        return;
    window()->Destroy();
    window() = nullptr;
    wxEntryCleanup();
}

} // namespace benchgui
