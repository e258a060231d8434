#include "support/widget_input.h"

#include <wx/window.h>

#include <gtk/gtk.h>

#include <sstream>

namespace widgetinput
{

namespace
{

struct Found {
    bool mapped = false, sensitive = false, sized = false;
    bool entered = true; // a native button has seen the pointer come in
    GtkWidget* under = nullptr; // the widget whose window is topmost under the pointer
};

Found look(const wxWindow* w)
{
    Found f;
    auto* g = static_cast<GtkWidget*>(w->GetHandle());
    if (!g)
        return f;
    f.mapped = gtk_widget_get_mapped(g);
    f.sensitive = gtk_widget_is_sensitive(g);
    GtkAllocation a;
    gtk_widget_get_allocation(g, &a);
    f.sized = a.width == w->GetSize().x && a.height == w->GetSize().y;
    // A native button acts on a release only after it took the pointer's entry; a click
    // handled before that entry (the toolkit may deliver it late, after a page was just
    // shown under the pointer) does nothing.
    if (GTK_IS_BUTTON(g))
        f.entered = (gtk_widget_get_state_flags(g) & GTK_STATE_FLAG_PRELIGHT) != 0;
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(g));
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer)
        return f;
    // Asks the server where the pointer is, then walks the toolkit's own windows as they
    // stand now: the one found is the one a click would be handed to.
    GdkWindow* at = gdk_device_get_window_at_position(pointer, nullptr, nullptr);
    gpointer owner = nullptr;
    if (at)
        gdk_window_get_user_data(at, &owner);
    f.under = static_cast<GtkWidget*>(owner);
    return f;
}

bool owns(const wxWindow* w, GtkWidget* under)
{
    auto* g = static_cast<GtkWidget*>(w->GetHandle());
    return under && (under == g || gtk_widget_is_ancestor(under, g));
}

} // namespace

bool takesInput(const wxWindow* w)
{
    const Found f = look(w);
    return f.mapped && f.sensitive && f.sized && f.entered && owns(w, f.under);
}

std::string describe(const wxWindow* w)
{
    const Found f = look(w);
    std::ostringstream s;
    s << "mapped " << f.mapped << ", sensitive " << f.sensitive << ", allocated at its size "
      << f.sized << ", pointer entered " << f.entered << ", under the pointer "
      << (f.under ? G_OBJECT_TYPE_NAME(f.under) : "nothing of the program's")
      << (owns(w, f.under) ? " (its own)" : " (another widget)");
    return s.str();
}

void answerOpenDialogsNo()
{
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next)
        if (GTK_IS_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_NO);
    g_list_free(windows);
}
} // namespace widgetinput
