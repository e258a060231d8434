// The zoom bar beside the picture and the label on it naming the magnification, as the live
// view and the browse tab both show them: twenty steps, the bar's top is no zoom.
#pragma once

#include <wx/bitmap.h>
#include <wx/gdicmn.h>

class COrvexState;
class SkinBitmap;
class wxScrollBar;
class wxScrollEvent;
class wxWindow;

class ZoomControl
{
public:
    // Both windows are made hidden on parent; the owner's makeZoomLabel sets the zoom.
    ZoomControl(COrvexState& owner, wxWindow* parent, const wxPoint& origin);
    ~ZoomControl();
    ZoomControl(const ZoomControl&) = delete;
    ZoomControl& operator=(const ZoomControl&) = delete;

    void show(bool on);
    // Back to no zoom.
    void reset();
    // Moves the bar by delta steps (a wheel notch is one).
    void step(int delta);
    // Draws the label of the bar's level, which also applies that zoom.
    void showLabel();
    // Places both for the column tile side with its top-left corner at panel, below a top
    // bar of topBar's height; the label's background is cut from the tile.
    void layout(const wxBitmap& side, const wxBitmap& topBar, const wxPoint& panel);

    int level() const;
    wxScrollBar* bar() const { return m_bar; }
    SkinBitmap* label() const { return m_label; }

private:
    void onScroll(wxScrollEvent& event);

    COrvexState& m_owner;
    wxScrollBar* m_bar = nullptr;
    SkinBitmap* m_label = nullptr;
    wxBitmap m_labelBackground;
};
