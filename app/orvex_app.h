// The application object: creates the one main frame.
#pragma once

#include <wx/app.h>

class COrvexFrame;

// From the first moment of the process a logout or a kill is noted, so one that comes while the
// window is being built ends the program as soon as it can close properly.
void catchEndSignalsEarly();

class COrvexApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

private:
    COrvexFrame* m_frame = nullptr;
};
