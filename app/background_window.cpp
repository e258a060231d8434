#include "app/background_window.h"

#include "app/data_files.h"
#include "app/orvex_frame.h"

#include <wx/dcclient.h>
#include <wx/menu.h>

COrvexBackground::COrvexBackground(wxWindow* parent, const wxBitmap& canvas, const wxPoint& pos,
                                   const wxSize& size)
    : m_canvas(canvas)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, wxID_ANY, pos, size, wxWANTS_CHARS);
    Bind(wxEVT_PAINT, &COrvexBackground::onPaint, this);
    Bind(wxEVT_CONTEXT_MENU, &COrvexBackground::onContextMenu, this);
    Bind(wxEVT_MENU, &COrvexBackground::onMenu, this, ID_ABOUT);
}

void COrvexBackground::showCanvas(const wxBitmap& canvas)
{
    m_canvas = canvas;
    Refresh(false);
}

void COrvexBackground::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    if (m_canvas.IsOk())
        dc.DrawBitmap(m_canvas, 0, 0, false);
}

wxMenu* COrvexBackground::makeContextMenu() const
{
    auto* menu = new wxMenu;
    menu->AppendSeparator();
    menu->Append(ID_ABOUT, wxString("About ") + g_Title);
    return menu;
}

void COrvexBackground::onContextMenu(wxContextMenuEvent&)
{
    wxMenu* menu = makeContextMenu();
    PopupMenu(menu);
    delete menu;
}

void COrvexBackground::onMenu(wxCommandEvent&)
{
    if (g_MainFrame)
        g_MainFrame->showAbout();
}
