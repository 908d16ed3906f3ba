// The date pickers' values on the stored clock and their date texts,
// without display. Time zones are POSIX rules, so no zone files are needed.
#include "filter/picker_time.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

void use_zone(const char* tz)
{
    setenv("TZ", tz, 1);
    tzset();
}

// The zone of the machine again after each test.
class PickerTime : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("TZ");
        tzset();
    }
};

constexpr unsigned STORED_OFFSET = 28800;

}  // namespace

// Months count from 0, as the calendar gives them.
TEST_F(PickerTime, StoredSecondsOfALocalTimeInEachZone)
{
    const char* const berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
    const struct {
        const char* tz;
        int year, month, day, hour, minute, second;
        std::uint64_t unix_time;  // the stored clock reads STORED_OFFSET less
    } rows[] = {
        {"UTC0", 2024, 0, 15, 0, 0, 0, 1705276800u},
        {berlin, 2024, 6, 1, 12, 0, 0, 1719828000u},   // summer: 10:00 UTC
        {berlin, 2024, 0, 15, 12, 0, 0, 1705316400u},  // winter: 11:00 UTC
        {"CST-8", 2024, 2, 1, 8, 0, 0, 1709251200u},   // 00:00 UTC
        {"HST10", 2024, 2, 1, 8, 0, 0, 1709251200u + 18 * 3600},
        // Before the stored clock's start 0, after its end the largest value.
        {"UTC0", 1960, 5, 1, 0, 0, 0, 0},
        {"UTC0", 1970, 0, 1, 7, 59, 59, 0},
        {"UTC0", 1970, 0, 1, 8, 0, 1, STORED_OFFSET + 1},
        {"UTC0", 2200, 0, 1, 0, 0, 0, 4294967295ull + STORED_OFFSET},
    };
    for (const auto& r : rows) {
        use_zone(r.tz);
        const std::uint64_t stored = r.unix_time < STORED_OFFSET ? 0 : r.unix_time - STORED_OFFSET;
        const unsigned got =
            stored_seconds_of_local(r.year, r.month, r.day, r.hour, r.minute, r.second);
        EXPECT_EQ(got, stored) << r.tz << " " << r.year << "-" << r.month + 1 << "-" << r.day << " "
                               << r.hour;
    }
}

TEST_F(PickerTime, DateTextIsTheChosenDateEvenFarWestOfUtc)
{
    std::setlocale(LC_TIME, "C");
    for (const char* tz : {"UTC0", "HST10", "CST-8", "NZST-12"}) {
        use_zone(tz);
        EXPECT_EQ(local_date_text(2024, 5, 1), "06/01/24") << tz;
        EXPECT_EQ(local_date_text(2023, 11, 31), "12/31/23") << tz;
    }
}
