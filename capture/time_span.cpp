#include "capture/time_span.h"

namespace
{
// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t toSeconds(const platform::LocalTime& t)
{
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}
} // namespace

int64_t secondsBetween(const platform::LocalTime& a, const platform::LocalTime& b)
{
    return toSeconds(b) - toSeconds(a);
}

wxString formatTimeSpan(int64_t s)
{
    const bool negative = s < 0;
    if (negative)
        s = -s;
    return wxString::Format("%s%02lld:%02lld:%02lld", negative ? "-" : "",
                            static_cast<long long>(s / 3600), static_cast<long long>(s / 60 % 60),
                            static_cast<long long>(s % 60));
}
