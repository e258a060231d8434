// The application object: creates the one main frame.
#pragma once

#include <wx/app.h>

class COrvexFrame;

class COrvexApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

private:
    COrvexFrame* m_frame = nullptr;
};
