#include "app/shell_parts.h"

#include "app/browse_panel_base.h"
#include "app/screen_base.h"

ShellParts& shellParts()
{
    static ShellParts parts;
    return parts;
}

COrvexScreenBase::COrvexScreenBase(wxWindow* parent, const wxPoint& pos, const wxSize& size)
    : SkinBitmap(parent, wxID_ANY, blackBitmap(size.x, size.y), pos, size)
{
}

COrvexBrowsePanelBase::COrvexBrowsePanelBase(wxWindow* parent)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, wxPanelNameStr)
{
    Hide();
}
