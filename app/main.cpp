// Process entry: command line, then the toolkit's windowed entry with assertion reports off.
#include "app/command_line.h"
#include "app/orvex_app.h"
#include "app/shell_parts.h"
#include "platform/bounded_file.h"

#include <wx/app.h>
#include <wx/log.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

wxIMPLEMENT_APP_NO_MAIN(COrvexApp);

namespace
{

int run(int argc, char** argv)
{
    catchEndSignalsEarly();
    CommandLine cl = parseCommandLine(argc, argv);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "orvex: %s\n%s", cl.error.c_str(), usageText().c_str());
        return 2;
    }
    if (cl.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    // Past a file-size limit a write fails instead of killing the program, so a recording
    // that meets it is finished and stays playable.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!startBackends(cl))
        return 1;

    installViewerParts();
    // The native controls (the zoom bar) in the dark theme the skin is drawn for, unless the
    // user chose a theme of their own.
    setenv("GTK_THEME", "Adwaita:dark", 0);
    wxSetAssertHandler(nullptr);
    wxLog::SetLogLevel(wxLOG_Info);
    // The toolkit sees only the program name: the options are ours.
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    int rc = wxEntry(wxArgc, wxArgv);
    stopBackends(cl);
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    // A failure nobody caught ends in one line and exit 1, never in an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvex: %s\n", files::printable(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "orvex: unexpected failure\n");
    }
    return 1;
}
