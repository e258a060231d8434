// The window the tabs live in, as a switch of tabs needs it: the focus kept where keys reach
// the program, and the full-screen button shown only for a tab that allows it. The frame is
// the one host; the tabs never name it.
#pragma once

class TabHost
{
public:
    virtual void keepKeysReaching() = 0;
    virtual void showFullScreenButton(bool show) = 0;

protected:
    ~TabHost() = default;
};

// The frame while it lives; null before and after.
extern TabHost* g_TabHost;
