#include "app/shell_parts.h"

#include "app/data_files.h"

#include "browse/orvex_browse_panel.h"
#include "browse/orvex_browse_state.h"
#include "capture/orvex_preview_state.h"
#include "pipeline/orvex_screen.h"
#include "pipeline/recording_repair.h"
#include "setup/orvex_setup_state.h"

void installViewerParts()
{
    ShellParts& p = shellParts();
    p.screen = [](wxWindow* parent, const wxPoint& pos, const wxSize& size) -> COrvexScreenBase* {
        return new COrvexScreen(parent, size, pos);
    };
    p.browsePanel = [](wxWindow* parent, const wxPoint& pos,
                       const wxSize& size) -> COrvexBrowsePanelBase* {
        return new COrvexBrowsePanel(parent, pos, size);
    };
    p.preview = [](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
        return new COrvexPreviewState(parent, origin);
    };
    p.browse = [](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
        return new COrvexBrowseState(parent, origin);
    };
    p.setup = [](wxWindow* parent, const wxPoint& origin) -> COrvexState* {
        return new COrvexSetupState(parent, origin);
    };
    p.storageReady = [] { repairRecordings(toUtf8(g_StoragePath)); };
}
