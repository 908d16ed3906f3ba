#include "filter/picker_time.h"

#include <ctime>

namespace {

// The stored clock runs 8 hours behind Unix time.
constexpr long long STORED_OFFSET = 28800;
constexpr long long STORED_MAX = 4294967295LL;

}  // namespace

unsigned stored_seconds_of_local(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    const std::time_t unix_time = std::mktime(&t);
    // mktime's -1 is also 1969-12-31 23:59:59 UTC: before the stored clock either way.
    const long long stored = static_cast<long long>(unix_time) - STORED_OFFSET;
    if (unix_time == static_cast<std::time_t>(-1) || stored < 0)
        return 0;
    return static_cast<unsigned>(stored > STORED_MAX ? STORED_MAX : stored);
}

std::string local_date_text(int year, int month, int day)
{
    std::tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    // Fills the day of the week and of the year for locales that show them.
    std::tm normalised = t;
    if (std::mktime(&normalised) != static_cast<std::time_t>(-1) && normalised.tm_mday == day &&
        normalised.tm_mon == month)
        t = normalised;
    char buf[242];
    const std::size_t n = std::strftime(buf, 241, "%x", &t);
    return std::string(buf, n);
}
