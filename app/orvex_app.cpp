#include "app/orvex_app.h"

#include "app/orvex_frame.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t s_endRequested = 0;

void noteEndRequest(int)
{
    s_endRequested = 1;
}

// A logout or a kill asks the program to end: close the window as the user would, so an
// open recording is finished and every file is closed properly.
void closeOnSignal(int)
{
    if (g_MainFrame)
        g_MainFrame->Close();
}
}  // namespace

void catchEndSignalsEarly()
{
    struct sigaction sa {};
    sa.sa_handler = noteEndRequest;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

bool COrvexApp::OnInit()
{
    m_frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
    m_frame->Show(true);
    SetSignalHandler(SIGTERM, closeOnSignal);
    SetSignalHandler(SIGINT, closeOnSignal);
    SetSignalHandler(SIGHUP, closeOnSignal);
    // Asked to end while the window was being built: close it now, as the handler would.
    if (s_endRequested)
        CallAfter([] { closeOnSignal(SIGTERM); });
    return true;
}

int COrvexApp::OnExit()
{
    return 0;
}
