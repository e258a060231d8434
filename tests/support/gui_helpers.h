// Small helpers for tests that drive real windows.
#pragma once

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <functional>
#include <thread>

// Lets the toolkit and the X server catch up: handles pending events for about ms.
inline void pumpEvents(int ms = 50)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
            loop->DispatchTimeout(2);
        while (wxTheApp->Pending())
            wxTheApp->Dispatch();
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    } while (std::chrono::steady_clock::now() < until);
}

// Pumps until cond holds or about ms have passed; returns cond.
inline bool pumpUntil(const std::function<bool()>& cond, int ms = 3000)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        pumpEvents(10);
    }
    return true;
}

inline wxRect rectOf(const wxWindow* w)
{
    return wxRect(w->GetPosition(), w->GetSize());
}

// Pixel-for-pixel equality of two bitmaps.
inline bool sameBitmap(const wxBitmap& a, const wxBitmap& b)
{
    if (!a.IsOk() || !b.IsOk())
        return a.IsOk() == b.IsOk();
    if (a.GetSize() != b.GetSize())
        return false;
    wxImage ia = a.ConvertToImage(), ib = b.ConvertToImage();
    return std::equal(ia.GetData(), ia.GetData() + ia.GetWidth() * ia.GetHeight() * 3, ib.GetData());
}

// Screen position of a window's centre (for simulated mouse input).
inline wxPoint screenCentre(const wxWindow* w)
{
    return w->ClientToScreen(wxPoint(w->GetSize().x / 2, w->GetSize().y / 2));
}

#include "support/widget_input.h"
#include "support/x_input.h"

#include <cstdio>

// Points at the widget's centre and clicks once the toolkit would hand the click to it: a
// widget just shown or moved takes input only after the toolkit's next layout, and a native
// button acts on a click only after it has taken the pointer's entry; a loaded machine
// delays both.
inline bool clickOnWindow(const wxWindow* w)
{
    const bool ready = pumpUntil([&] {
        const wxPoint p = screenCentre(w);
        return xinput::moveTo(p.x, p.y) && widgetinput::takesInput(w);
    });
    if (!ready) {
        std::fprintf(stderr, "clickOnWindow: %s\n", widgetinput::describe(w).c_str());
        return false;
    }
    return xinput::click();
}
