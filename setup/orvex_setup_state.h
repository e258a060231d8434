// The setup tab: storage folder and time-stamp format.
#pragma once

#include "app/orvex_state.h"

class COrvexSetupState : public COrvexState {
public:
    COrvexSetupState(wxWindow* parent, const wxPoint& origin);

    void enter() override;
    void leave() override;
    void relayout(wxBitmap topLeft, wxBitmap side, wxBitmap topBar, wxBitmap bottomBar) override;
    void layoutTab(wxBitmap topLeft) override;
    void hideAll() override;
    void showAll() override;
    void keyEscape() override;
};
