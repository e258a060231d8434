// The capture date the tests use: 7 March 2026, 09:05:33 local time.
#pragma once

#include "platform/clock.h"

inline platform::LocalTime march7()
{
    return platform::LocalTime{2026, 3, 7, 9, 5, 33};
}
