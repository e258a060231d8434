// Sends every vertical wheel event over the frame's windows to the frame, tells it of key
// releases, and hands it the keys pressed while the mouse is captured.
#pragma once

#include <wx/eventfilter.h>

class COrvexFrame;

class WheelFilter : public wxEventFilter {
public:
    explicit WheelFilter(COrvexFrame* frame);
    ~WheelFilter() override;
    int FilterEvent(wxEvent& event) override;

private:
    COrvexFrame* m_frame;
};
