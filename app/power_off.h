// The exit button drawn into the bottom-left corner of the skin.
#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>

class SkinBitmap;

class COrvexPowerOff : public wxWindow {
public:
    COrvexPowerOff(wxWindow* parent, const wxBitmap& cornerTile, const wxPoint& cornerOrigin);
    ~COrvexPowerOff() override;
    void layoutPowerOff(const wxBitmap& cornerTile, int y);
    SkinBitmap* button() const { return m_button; }

private:
    void onButtonDown(wxMouseEvent& event);
    SkinBitmap* m_button = nullptr;
};
