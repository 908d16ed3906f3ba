// The clock of the stored records: Unix time minus 8 hours. Shared by the
// utility module and the program's fallback when the module is missing.
#pragma once

#include <ctime>

inline unsigned int stored_time_now()
{
    return static_cast<unsigned int>(std::time(nullptr) - 28800);
}

// Local time of day minus 8 hours; null pointers are skipped.
inline void stored_time_of_day(int* hour, int* minute, int* second)
{
    time_t now = std::time(nullptr);
    struct tm local { };
    localtime_r(&now, &local);
    if (hour)
        *hour = (local.tm_hour - 8 + 24) % 24;
    if (minute)
        *minute = local.tm_min;
    if (second)
        *second = local.tm_sec;
}
