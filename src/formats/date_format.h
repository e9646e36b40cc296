#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "formats/date_time.h"

namespace moraven {

// Names, separators and the four standard forms that the pattern language takes from a locale. The forms
// are themselves patterns of the same language.
struct DateFormatLocale {
    std::array<std::string, 12> shortMonthNames;
    std::array<std::string, 12> longMonthNames;
    std::array<std::string, 7> shortDayNames;  // Sunday first
    std::array<std::string, 7> longDayNames;   // Sunday first
    std::string shortDateFormat;
    std::string longDateFormat;
    std::string shortTimeFormat;
    std::string longTimeFormat;
    std::string timeAmString;
    std::string timePmString;
    std::string dateSeparator;
    std::string timeSeparator;
};

// The default locale: English names, "/" and ":" as separators, short date "m/d/yyyy", long date
// "dddd, mmmm d, yyyy", short time "h:mm AMPM", long time "h:mm:ss AMPM", "AM" and "PM".
const DateFormatLocale& englishDateFormatLocale();

// Formats `value` with `pattern`:
//   d dd          day without / with leading zero      ddd dddd   short / long day name
//   ddddd         the locale's short date               dddddd     the locale's long date
//   m mm          month (minutes right after h or hh)   mmm mmmm   short / long month name
//   yy yyyy       two- / four-digit year                h hh       hour
//   n nn          minute                                s ss       second
//   z zzz         milliseconds                          t tt       the locale's short / long time
//   am/pm a/p ampm   a 12-hour clock with its marker (the locale's texts for ampm)
//   c             the short date followed by the long time
//   / :           the locale's date and time separators
//   "text" 'text' copied unchanged
// Any other character is copied. An empty pattern means "c". Nothing when `value` is no date.
std::optional<std::string> formatDateTime(std::string_view pattern, DateTime value,
                                          const DateFormatLocale& locale = englishDateFormatLocale());

}  // namespace moraven
