// The window under every control: it shows the composed skin, holds the keyboard focus
// (GTK sends keys only to a focusable window) and offers the About entry on a right click.
#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>

class wxMenu;

class COrvexBackground : public wxWindow {
public:
    COrvexBackground(wxWindow* parent, const wxBitmap& canvas, const wxPoint& pos, const wxSize& size);
    void showCanvas(const wxBitmap& canvas);
    const wxBitmap& canvas() const { return m_canvas; }
    bool AcceptsFocus() const override { return true; }
    bool AcceptsFocusFromKeyboard() const override { return true; }
    // The right-click menu: a separator and "About <title>".
    wxMenu* makeContextMenu() const;

private:
    void onPaint(wxPaintEvent& event);
    void onContextMenu(wxContextMenuEvent& event);
    void onMenu(wxCommandEvent& event);
    wxBitmap m_canvas;
};
