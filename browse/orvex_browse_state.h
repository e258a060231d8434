// The browse tab: shows a captured photo or video chosen in the thumbnail strip.
#pragma once

#include "app/orvex_state.h"

class COrvexBrowseState : public COrvexState {
public:
    COrvexBrowseState(wxWindow* parent, const wxPoint& origin);

    bool canEnter() override;
    void enter() override;
    void leave() override;
    void relayout(wxBitmap topLeft, wxBitmap side, wxBitmap topBar, wxBitmap bottomBar) override;
    void layoutTab(wxBitmap topLeft) override;
    void hideAll() override;
    void showAll() override;
    void keyEscape() override;
};
