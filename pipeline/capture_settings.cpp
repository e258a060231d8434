#include "pipeline/capture_settings.h"

wxString g_StoragePath;
int g_TimeStamp = 0;
