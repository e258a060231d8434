// The windows of the later rooms that the shell builds without knowing their classes: the
// program's entry (and the GUI tests) install the makers before the frame is created.
#pragma once

#include <wx/gdicmn.h>

#include <functional>

class wxWindow;
class COrvexScreenBase;
class COrvexBrowsePanelBase;
class COrvexState;

struct ShellParts {
    std::function<COrvexScreenBase*(wxWindow* parent, const wxPoint& pos, const wxSize& size)>
        screen;
    std::function<COrvexBrowsePanelBase*(wxWindow* parent, const wxPoint& pos, const wxSize& size)>
        browsePanel;
    std::function<COrvexState*(wxWindow* parent, const wxPoint& origin)> preview;
    std::function<COrvexState*(wxWindow* parent, const wxPoint& origin)> browse;
    std::function<COrvexState*(wxWindow* parent, const wxPoint& origin)> setup;
    // Runs once the data files are open, before anything lists the storage folder.
    std::function<void()> storageReady;
};

ShellParts& shellParts();
// The program's own parts (defined with the entry point's composition).
void installViewerParts();
