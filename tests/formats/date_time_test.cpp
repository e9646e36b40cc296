#include "formats/date_time.h"

#include <time.h>

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace moraven {
namespace {

constexpr double kMsPerDay = 86'400'000.0;

CalendarDateTime fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                        int millisecond = 0) {
    return CalendarDateTime{year, month, day, hour, minute, second, millisecond};
}

std::string describe(const CalendarDateTime& f) {
    return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) + " " +
           std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" + std::to_string(f.second) + "." +
           std::to_string(f.millisecond);
}

TEST(DateTimeTest, EncodesKnownDatesAndDecodesThemBack) {
    struct Case {
        CalendarDateTime fields;
        double days;
    };
    const Case cases[] = {
        {fields(1899, 12, 30), 0.0},
        {fields(1899, 12, 31), 1.0},
        {fields(1900, 1, 1), 2.0},
        {fields(1900, 3, 1), 61.0},  // 1900 has no 29 February
        {fields(2000, 1, 1), 36526.0},
        {fields(2000, 2, 29), 36585.0},
        {fields(2004, 2, 29), 38046.0},
        {fields(2004, 7, 15, 12), 38183.5},
        {fields(2004, 7, 15, 13, 5, 9), 38183.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0},
        {fields(2004, 7, 15, 0, 0, 0, 1), 38183.0 + 1 / kMsPerDay},
        {fields(2004, 7, 15, 23, 59, 59, 999), 38183.0 + 86'399'999 / kMsPerDay},
        {fields(1899, 12, 29, 6), -1.25},  // before the epoch the time of day is still added as a fraction
        {fields(1899, 12, 29, 18), -1.75},
        {fields(1, 1, 1), -693593.0},
        {fields(1, 1, 1, 12), -693593.5},
        {fields(9999, 12, 31, 23, 59, 59, 999), 2958465.0 + 86'399'999 / kMsPerDay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.fields));
        const auto value = encodeDateTime(c.fields);
        ASSERT_TRUE(value.has_value());
        EXPECT_DOUBLE_EQ(value->days(), c.days);
        EXPECT_EQ(decodeDateTime(DateTime(c.days)), c.fields);
        EXPECT_EQ(decodeDateTime(*value), c.fields);
    }
}

TEST(DateTimeTest, TimesOfDaySurviveTheRoundTripOnBothSidesOfTheEpoch) {
    for (int ms = 0; ms < 86'400'000; ms += 9'973) {
        const auto f = fields(2004, 7, 15, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000);
        const auto value = encodeDateTime(f);
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(decodeDateTime(*value), f) << describe(f);
        const auto early = fields(1850, 6, 1, f.hour, f.minute, f.second, f.millisecond);
        ASSERT_EQ(decodeDateTime(*encodeDateTime(early)), early) << describe(early);
    }
}

TEST(DateTimeTest, LeapDaysFollowTheGregorianRule) {
    struct Case {
        int year;
        bool hasLeapDay;
    };
    const Case cases[] = {{1900, false}, {2000, true}, {2004, true}, {2003, false},
                          {2100, false}, {2400, true}, {4, true},    {1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        const auto leapDay = encodeDateTime(fields(c.year, 2, 29));
        EXPECT_EQ(leapDay.has_value(), c.hasLeapDay);
        const auto feb28 = encodeDateTime(fields(c.year, 2, 28));
        const auto mar1 = encodeDateTime(fields(c.year, 3, 1));
        ASSERT_TRUE(feb28 && mar1);
        EXPECT_EQ(mar1->days() - feb28->days(), c.hasLeapDay ? 2.0 : 1.0);
    }
}

TEST(DateTimeTest, RefusesImpossibleFields) {
    const CalendarDateTime cases[] = {
        fields(2004, 0, 1),
        fields(2004, 13, 1),
        fields(2004, 1, 0),
        fields(2004, 1, 32),
        fields(2004, 4, 31),
        fields(2004, 6, 31),
        fields(2004, 9, 31),
        fields(2004, 11, 31),
        fields(2003, 2, 29),
        fields(2004, 2, 30),
        fields(2004, 1, 1, 24),
        fields(2004, 1, 1, -1),
        fields(2004, 1, 1, 0, 60),
        fields(2004, 1, 1, 0, -1),
        fields(2004, 1, 1, 0, 0, 60),
        fields(2004, 1, 1, 0, 0, 0, 1000),
        fields(2004, 1, 1, 0, 0, 0, -1),
        fields(0, 1, 1),
        fields(10000, 1, 1),
        fields(-1, 1, 1),
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(encodeDateTime(c).has_value()) << describe(c);
    }
    EXPECT_TRUE(encodeDateTime(fields(2004, 12, 31, 23, 59, 59, 999)).has_value());
}

TEST(DateTimeTest, RoundsToTheNearestMillisecondAndCarriesIntoTheNextDay) {
    struct Case {
        double days;
        CalendarDateTime expected;
    };
    const double day = 38183.0;  // 2004-07-15
    const Case cases[] = {
        {day + 1234.4 / kMsPerDay, fields(2004, 7, 15, 0, 0, 1, 234)},
        {day + 1234.6 / kMsPerDay, fields(2004, 7, 15, 0, 0, 1, 235)},
        {day + 86'399'999.4 / kMsPerDay, fields(2004, 7, 15, 23, 59, 59, 999)},
        {day + 86'399'999.6 / kMsPerDay, fields(2004, 7, 16)},
        // The carry crosses month and year ends too.
        {38168.0 + 86'399'999.6 / kMsPerDay, fields(2004, 7, 1)},
        {38352.0 + 86'399'999.6 / kMsPerDay, fields(2005, 1, 1)},
        // Before the epoch the next day is the one nearer to it: 1899-12-29 23:59:59.9996 is 12-30 00:00.
        {-1.0 - 86'399'999.6 / kMsPerDay, fields(1899, 12, 30)},
        {-2.0 - 86'399'999.6 / kMsPerDay, fields(1899, 12, 29)},
        {-0.4 / kMsPerDay, fields(1899, 12, 30)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.days);
        EXPECT_EQ(decodeDateTime(DateTime(c.days)), c.expected);
    }
}

TEST(DateTimeTest, NegativeValuesCountDaysBackwardsWithTheFractionAsTimeOfDay) {
    EXPECT_EQ(decodeDateTime(DateTime(-1.25)), fields(1899, 12, 29, 6));
    EXPECT_EQ(decodeDateTime(DateTime(-0.5)), fields(1899, 12, 30, 12));
    EXPECT_EQ(decodeDateTime(DateTime(-0.5)), decodeDateTime(DateTime(0.5)));
    EXPECT_EQ(decodeDateTime(DateTime(-36522.75)), fields(1800, 1, 1, 18));
    EXPECT_EQ(encodeDateTime(fields(1800, 1, 1, 18))->days(), -36522.75);
}

TEST(DateTimeTest, ValuesThatAreNoDateDecodeToNothing) {
    const double cases[] = {
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        -693594.0,                             // year 0
        2958466.0,                             // year 10000
        2958465.0 + 86'399'999.6 / kMsPerDay,  // rounds into year 10000
        1e300,
        -1e300,
        std::numeric_limits<double>::max(),
    };
    for (const double days : cases) {
        SCOPED_TRACE(days);
        EXPECT_FALSE(decodeDateTime(DateTime(days)).has_value());
        EXPECT_FALSE(dayOfWeek(DateTime(days)).has_value());
    }
    EXPECT_TRUE(decodeDateTime(DateTime(-693593.999)).has_value()) << "0001-01-01 23:58:33.6";
}

TEST(DateTimeTest, DayOfWeekCountsFromSunday) {
    struct Case {
        double days;
        int weekday;
    };
    const Case cases[] = {
        {0.0, 7},        // 1899-12-30 Saturday
        {1.0, 1},        // Sunday
        {38183.5, 5},    // 2004-07-15 Thursday
        {38173.0, 2},    // 2004-07-05 Monday
        {-1.25, 6},      // 1899-12-29 Friday
        {-7.0, 7},       // 1899-12-23 Saturday
        {-693593.0, 2},  // 0001-01-01 Monday
        {2958465.5, 6},  // 9999-12-31 Friday
        {1.0 - 0.4 / kMsPerDay, 1},
        {0.0 + 86'399'999.6 / kMsPerDay, 1},  // rounds into Sunday
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.days);
        EXPECT_EQ(dayOfWeek(DateTime(c.days)), c.weekday);
    }
}

// Reads the same clock as currentDateTime: time() reads a coarser clock that can still show the
// previous second for a few milliseconds after the fine one has moved on.
CalendarDateTime localNow() {
    timespec fine{};
    clock_gettime(CLOCK_REALTIME, &fine);
    const time_t now = fine.tv_sec;
    tm local{};
    localtime_r(&now, &local);
    return fields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec > 59 ? 59 : local.tm_sec);
}

TEST(DateTimeTest, CurrentDateTimeIsTheLocalClock) {
    const auto before = encodeDateTime(localNow());
    const DateTime now = currentDateTime();
    const auto after = encodeDateTime(localNow());
    ASSERT_TRUE(before && after);
    // The clock's own reading carries milliseconds that the whole-second readings around it lack.
    EXPECT_GE(now.days(), before->days());
    EXPECT_LT(now.days(), after->days() + 1.0 / 86400.0);
}

}  // namespace
}  // namespace moraven
