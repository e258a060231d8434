#include "app/capture_notice.h"

#include "app/browse_panel_base.h"
#include "app/notice.h"
#include "app/orvex_state.h"

void showCaptureResult(const CaptureResult& result)
{
    if (result.kept && !result.path.empty() && g_BrowsePanel)
        g_BrowsePanel->addFile(result.path);
    if (!result.failure.empty())
        showFailureNotice(wxString::FromUTF8(result.failure));
    else if (result.kept)
        showNotice(wxString::FromUTF8(result.name));
}
