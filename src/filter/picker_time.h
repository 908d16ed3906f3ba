// The values of the date pickers: a local date and time of day on the
// clock of the stored records, and the date as the locale writes it.
#pragma once

#include <string>

// Seconds on the stored clock (Unix time minus 8 hours) of a local date
// (month 0 to 11) and time of day; the daylight-saving flag comes from the
// system's time zone rules. A moment before the start of the stored clock
// gives 0, one after its end 4294967295.
unsigned stored_seconds_of_local(int year, int month, int day, int hour, int minute, int second);

// The date itself in the locale's format ("%x"), at most 240 bytes.
std::string local_date_text(int year, int month, int day);
