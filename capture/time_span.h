// Elapsed time between two local date-times, as the status label shows it.
#pragma once

#include "platform/clock.h"

#include <wx/string.h>

#include <cstdint>

// Seconds from a to b (negative when b is earlier).
int64_t secondsBetween(const platform::LocalTime& a, const platform::LocalTime& b);
// "HH:MM:SS"; hours grow past 24 as needed.
wxString formatTimeSpan(int64_t seconds);
