// Process entry: command line, then the toolkit's windowed entry with assertion reports off.
#include "app/command_line.h"
#include "app/orvex_app.h"
#include "app/shell_parts.h"

#include <wx/app.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>

wxIMPLEMENT_APP_NO_MAIN(COrvexApp);

int main(int argc, char** argv)
{
    CommandLine cl = parseCommandLine(argc, argv);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "orvex: %s\n%s", cl.error.c_str(), usageText().c_str());
        return 2;
    }
    if (cl.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
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
