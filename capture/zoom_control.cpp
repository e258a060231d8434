#include "capture/zoom_control.h"

#include "app/orvex_state.h"
#include "app/skin_bitmap.h"
#include "capture/preview_layout.h"

#include <wx/scrolbar.h>

#include <algorithm>

namespace
{
constexpr int kRange = 20;
constexpr int kTileW = 148, kTileH = 652;
} // namespace

ZoomControl::ZoomControl(COrvexState& owner, wxWindow* parent, const wxPoint& origin)
    : m_owner(owner)
{
    m_bar = new wxScrollBar(parent, wxID_ANY, wxPoint(origin.x + 134, origin.y + 52),
                            wxSize(14, 300), wxSB_VERTICAL);
    m_bar->SetScrollbar(kRange, 0, kRange, 5);
    for (const auto& t : {wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_LINEUP,
                          wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
                          wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED})
        m_bar->Bind(t, &ZoomControl::onScroll, this);
    m_bar->Hide();

    m_labelBackground = blackBitmap(32, 20);
    m_label = new SkinBitmap(parent, wxID_ANY, m_labelBackground,
                             wxPoint(origin.x + 116, origin.y + 32), wxSize(32, 20));
    m_label->Hide();
}

ZoomControl::~ZoomControl()
{
    m_label->Destroy();
    m_bar->Destroy();
}

void ZoomControl::show(bool on)
{
    m_bar->Show(on);
    m_label->Show(on);
}

void ZoomControl::reset()
{
    m_bar->SetThumbPosition(kRange);
    showLabel();
}

void ZoomControl::step(int delta)
{
    m_bar->SetThumbPosition(m_bar->GetThumbPosition() + delta);
    showLabel();
}

int ZoomControl::level() const
{
    return kRange - m_bar->GetThumbPosition();
}

void ZoomControl::showLabel()
{
    m_label->show(m_owner.makeZoomLabel(level(), copyBitmap(m_labelBackground)));
}

void ZoomControl::onScroll(wxScrollEvent& event)
{
    event.Skip();
    showLabel();
    m_label->Refresh();
}

void ZoomControl::layout(const wxBitmap& side, const wxBitmap& topBar, const wxPoint& panel)
{
    const int a = side.IsOk() ? side.GetWidth() : kTileW;
    const int b = side.IsOk() ? side.GetHeight() : kTileH;
    const ZoomPlace z = zoomPlace(a, b, panel.x, panel.y, topBar.IsOk() ? topBar.GetHeight() : 52);
    // Never below the toolkit's own size for a scroll bar: GTK cannot lay one out smaller
    // and complains; in a tiny window the bar is clipped instead.
    const wxSize least = m_bar->GetBestSize();
    m_bar->SetSize(z.bar.x, z.bar.y, std::max(z.bar.w, least.x), std::max(z.bar.h, least.y));
    m_bar->Refresh();
    m_label->SetSize(z.label.x, z.label.y, std::max(z.label.w, 1), std::max(z.label.h, 1));
    const wxRect under(z.label.x - panel.x, z.label.y - panel.y, std::max(z.label.w, 1),
                       std::max(z.label.h, 1));
    if (side.IsOk() && wxRect(0, 0, side.GetWidth(), side.GetHeight()).Contains(under))
        m_labelBackground = side.GetSubBitmap(under);
    else
        m_labelBackground = blackBitmap(under.width, under.height);
    showLabel();
    m_label->Refresh();
}
