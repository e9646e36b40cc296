#include "formats/date_time.h"

#include <time.h>

#include <cmath>
#include <cstdint>

namespace moraven {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Day numbers of 0001-01-01 and 9999-12-31 counted from 1899-12-30.
constexpr std::int64_t kFirstDay = -693'593;
constexpr std::int64_t kLastDay = 2'958'465;
// 1899-12-30 counted from 1970-01-01.
constexpr std::int64_t kEpochOffsetDays = 25'569;

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (H. Hinnant's algorithm: years are
// counted from March so that the leap day ends the year, in 400-year eras of 146097 days).
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The inverse of daysFromCivil.
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

struct DaySplit {
    std::int64_t day;      // days from 1899-12-30
    std::int64_t msOfDay;  // 0 .. kMsPerDay - 1
};

// The whole part (towards zero) is the day and the absolute fraction the time of day, rounded to whole
// milliseconds; a time that rounds up to 24:00 carries into the next calendar day, so 23:59:59.9996 is
// 00:00:00.000 of the next day on either side of 1899-12-30.
std::optional<DaySplit> splitValue(DateTime value) {
    const double days = value.days();
    // The range test comes first so that the conversions below always fit an int64.
    if (!std::isfinite(days) || days <= static_cast<double>(kFirstDay - 1) ||
        days >= static_cast<double>(kLastDay + 1)) {
        return std::nullopt;
    }
    const double whole = std::trunc(days);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t msOfDay = std::llround(std::fabs(days - whole) * static_cast<double>(kMsPerDay));
    if (msOfDay >= kMsPerDay) {
        ++day;
        msOfDay = 0;
    }
    if (day < kFirstDay || day > kLastDay) return std::nullopt;
    return DaySplit{day, msOfDay};
}

}  // namespace

std::optional<DateTime> encodeDateTime(const CalendarDateTime& f) {
    if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > daysInMonth(f.year, f.month)) {
        return std::nullopt;
    }
    if (f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59 ||
        f.millisecond < 0 || f.millisecond > 999) {
        return std::nullopt;
    }
    const double date = static_cast<double>(daysFromCivil(f.year, f.month, f.day) + kEpochOffsetDays);
    const std::int64_t msOfDay =
        ((static_cast<std::int64_t>(f.hour) * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
    const double time = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the whole part counts backwards while the fraction still adds time of day.
    return DateTime(date >= 0 ? date + time : date - time);
}

std::optional<CalendarDateTime> decodeDateTime(DateTime value) {
    const auto split = splitValue(value);
    if (!split) return std::nullopt;
    CalendarDateTime f;
    civilFromDays(split->day - kEpochOffsetDays, f.year, f.month, f.day);
    std::int64_t ms = split->msOfDay;
    f.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    f.second = static_cast<int>(ms % 60);
    ms /= 60;
    f.minute = static_cast<int>(ms % 60);
    f.hour = static_cast<int>(ms / 60);
    return f;
}

std::optional<int> dayOfWeek(DateTime value) {
    const auto split = splitValue(value);
    if (!split) return std::nullopt;
    // 1899-12-30 was a Saturday (7).
    const std::int64_t sinceSunday = ((split->day + 6) % 7 + 7) % 7;
    return static_cast<int>(sinceSunday) + 1;
}

DateTime currentDateTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const time_t seconds = now.tv_sec;
    tm local{};
    if (localtime_r(&seconds, &local) == nullptr) gmtime_r(&seconds, &local);
    CalendarDateTime f;
    f.year = local.tm_year + 1900;
    f.month = local.tm_mon + 1;
    f.day = local.tm_mday;
    f.hour = local.tm_hour;
    f.minute = local.tm_min;
    // A leap second (tm_sec 60) is held as the last second of its minute.
    f.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    f.millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
    return encodeDateTime(f).value_or(DateTime());
}

}  // namespace moraven
