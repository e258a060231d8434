#include "app/status_text.h"

wxString g_StatusText;
wxColour g_StatusColour(0, 0, 0);
