#pragma once

#include <cstdint>
#include <optional>

namespace moraven {

// A calendar date and time down to the millisecond. Plain fields; nothing here says whether they form a
// real date: encodeDateTime decides that.
struct CalendarDateTime {
    int year = 0;         // 1..9999
    int month = 0;        // 1..12
    int day = 0;          // 1..days in month
    int hour = 0;         // 0..23
    int minute = 0;       // 0..59
    int second = 0;       // 0..59
    int millisecond = 0;  // 0..999

    friend bool operator==(const CalendarDateTime&, const CalendarDateTime&) = default;
};

// A date-time value: days since 1899-12-30 00:00 as a double, the fraction being the time of day (one hour
// is 1/24, one second 1/86400). Recording dates, file dates and the clock are held this way. For values
// before 1899-12-30 the whole part counts days backwards and the fraction is still the time of day
// (-1.25 is 1899-12-29 06:00), which is how such values have always been stored.
class DateTime {
public:
    constexpr DateTime() = default;
    constexpr explicit DateTime(double days) : m_days(days) {}

    constexpr double days() const { return m_days; }

    friend constexpr bool operator==(DateTime, DateTime) = default;

private:
    double m_days = 0.0;
};

// The value of a calendar date-time, or nothing when the fields form no real date or time (month 0,
// 31 April, 29 February of a common year, hour 24, minute 60, year 0 or above 9999, ...).
std::optional<DateTime> encodeDateTime(const CalendarDateTime& fields);

// The calendar fields of a value, its time of day rounded to the nearest millisecond (a time that rounds to
// 24:00 is 00:00 of the next day); nothing when the value is no date (not finite, or outside years 1 to
// 9999).
std::optional<CalendarDateTime> decodeDateTime(DateTime value);

// Day of the week, 1 = Sunday .. 7 = Saturday; nothing when the value is no date.
std::optional<int> dayOfWeek(DateTime value);

// The system clock as local time.
DateTime currentDateTime();

}  // namespace moraven
