#include "app/orvex_app.h"

#include "app/orvex_frame.h"

#include <csignal>

namespace {
// A logout or a kill asks the program to end: close the window as the user would, so an
// open recording is finished and every file is closed properly.
void closeOnSignal(int)
{
    if (g_MainFrame)
        g_MainFrame->Close();
}
}  // namespace

bool COrvexApp::OnInit()
{
    m_frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
    m_frame->Show(true);
    SetSignalHandler(SIGTERM, closeOnSignal);
    SetSignalHandler(SIGINT, closeOnSignal);
    SetSignalHandler(SIGHUP, closeOnSignal);
    return true;
}

int COrvexApp::OnExit()
{
    return 0;
}
