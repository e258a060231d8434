// The live-view tab.
#pragma once

#include "app/orvex_state.h"

class COrvexPreviewState : public COrvexState {
public:
    COrvexPreviewState(wxWindow* parent, const wxPoint& origin);

    void enter() override;
    void leave() override;
    void relayout(wxBitmap topLeft, wxBitmap side, wxBitmap topBar, wxBitmap bottomBar) override;
    void layoutTab(wxBitmap topLeft) override;
    void hideAll() override;
    void showAll() override;
};
