#include "app/power_off.h"

#include "app/orvex_frame.h"
#include "app/skin_bitmap.h"
#include "app/skin_geometry.h"

namespace {
wxBitmap cut(const wxBitmap& tile, const SkinRect& r)
{
    if (!tile.IsOk() || r.w < 1 || r.h < 1 || r.x + r.w > tile.GetWidth() ||
        r.y + r.h > tile.GetHeight())
        return blackBitmap(r.w, r.h);
    return tile.GetSubBitmap(wxRect(r.x, r.y, r.w, r.h));
}
}  // namespace

COrvexPowerOff::COrvexPowerOff(wxWindow* parent, const wxBitmap& tile, const wxPoint& origin)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, wxPanelNameStr)
{
    Hide();
    SkinRect r{44, 15, 70, 72};
    m_button = new SkinBitmap(parent, wxID_ANY, cut(tile, r), wxPoint(origin.x + r.x, origin.y + r.y),
                              wxSize(r.w, r.h));
    m_button->Bind(wxEVT_LEFT_DOWN, &COrvexPowerOff::onButtonDown, this);
}

COrvexPowerOff::~COrvexPowerOff()
{
    if (m_button)
        m_button->Destroy();
}

void COrvexPowerOff::layoutPowerOff(const wxBitmap& tile, int y)
{
    const int a = tile.IsOk() ? tile.GetWidth() : 136;
    const int b = tile.IsOk() ? tile.GetHeight() : 106;
    SkinRect r = powerOffRegion(a, b);
    m_button->Hide();
    m_button->SetSize(r.x, y + r.y, std::max(r.w, 1), std::max(r.h, 1));
    m_button->show(cut(tile, r));
    m_button->Refresh();
    m_button->Show();
}

void COrvexPowerOff::onButtonDown(wxMouseEvent& event)
{
    event.Skip();
    // Posted, so the close runs after this handler has returned.
    if (g_MainFrame)
        g_MainFrame->CallAfter([] {
            if (g_MainFrame)
                g_MainFrame->Close();
        });
}
