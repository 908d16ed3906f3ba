// The date pickers' values on the stored clock and their date texts,
// without display. Time zones are POSIX rules, so no zone files are needed.
#include "filter/picker_time.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

class LocalZone {
public:
    explicit LocalZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old, had_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~LocalZone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

constexpr unsigned STORED_OFFSET = 28800;

}  // namespace

TEST(PickerTime, LocalMidnightOfUtcZoneIsUnixTimeMinusEightHours)
{
    LocalZone utc("UTC0");
    // 2024-01-15 00:00:00 UTC.
    EXPECT_EQ(stored_seconds_of_local(2024, 0, 15, 0, 0, 0), 1705276800u - STORED_OFFSET);
    EXPECT_EQ(stored_seconds_of_local(2024, 0, 15, 23, 59, 59),
              stored_seconds_of_local(2024, 0, 15, 0, 0, 0) + 86399);
}

TEST(PickerTime, SummerBoundTakesDaylightSavingFromTheSystem)
{
    LocalZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2024-07-01 12:00 in Berlin is 10:00 UTC; in winter 12:00 is 11:00 UTC.
    EXPECT_EQ(stored_seconds_of_local(2024, 6, 1, 12, 0, 0), 1719828000u - STORED_OFFSET);
    EXPECT_EQ(stored_seconds_of_local(2024, 0, 15, 12, 0, 0), 1705316400u - STORED_OFFSET);
}

TEST(PickerTime, TheSameSettingsDependOnTheZone)
{
    unsigned east = 0, west = 0;
    {
        LocalZone z("CST-8");
        east = stored_seconds_of_local(2024, 2, 1, 8, 0, 0);
    }
    {
        LocalZone z("HST10");
        west = stored_seconds_of_local(2024, 2, 1, 8, 0, 0);
    }
    EXPECT_EQ(west - east, 18u * 3600);
    // 08:00 in a UTC+8 zone is 00:00 UTC, so the stored clock reads 16:00
    // of the day before.
    EXPECT_EQ(east, 1709251200u - STORED_OFFSET);
}

TEST(PickerTime, BeforeTheStoredClockIsZeroAndAfterItsEndTheLargestValue)
{
    LocalZone utc("UTC0");
    EXPECT_EQ(stored_seconds_of_local(1970, 0, 1, 7, 59, 59), 0u);
    EXPECT_EQ(stored_seconds_of_local(1970, 0, 1, 8, 0, 0), 0u);
    EXPECT_EQ(stored_seconds_of_local(1970, 0, 1, 8, 0, 1), 1u);
    EXPECT_EQ(stored_seconds_of_local(1960, 5, 1, 0, 0, 0), 0u);
    EXPECT_EQ(stored_seconds_of_local(2200, 0, 1, 0, 0, 0), 4294967295u);
}

TEST(PickerTime, DateTextIsTheChosenDateEvenFarWestOfUtc)
{
    std::setlocale(LC_TIME, "C");
    for (const char* tz : {"UTC0", "HST10", "CST-8", "NZST-12"}) {
        LocalZone z(tz);
        EXPECT_EQ(local_date_text(2024, 5, 1), "06/01/24") << tz;
        EXPECT_EQ(local_date_text(2023, 11, 31), "12/31/23") << tz;
    }
}
