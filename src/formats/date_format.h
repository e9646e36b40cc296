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

// Formats `value` with `pattern`, read left to right. Letters are tokens whatever their case; a token is the
// run of characters identical to its first one ("Mm" is two tokens):
//   d dd          day without / with leading zero      ddd dddd   short / long day name
//   ddddd         the locale's short date               dddddd     the locale's long date
//   m mm          month (minutes right after h or hh)   mmm mmmm   short / long month name
//   yy yyyy       two- / four-digit year                h hh       hour
//   n nn          minute                                s ss       second
//   z zzz         milliseconds                          t tt       the locale's short / long time
//   am/pm a/p     a 12-hour clock; the marker's own letters are written ("AM/PM" gives "PM", "a/p" gives "p")
//   ampm          a 12-hour clock with the locale's texts   aaa aaaa   short / long day name
//   c             the short date, a blank and the long time
//   / :           the locale's date and time separators
//   "text" 'text' copied unchanged (an unclosed quote runs to the end)
// Any other character is copied. An empty pattern means "c".
// "m" means minutes when the last letter before it was an h, whatever non-letters lie between ("hh:mm").
// An hour is on the 12-hour clock (0 -> 12, 13..23 -> 1..11) when an am/pm, a/p or ampm token came before it
// in the same pattern, or when the first unquoted 'a' after it, before any further h, starts one of them.
// The locale's forms are expanded as patterns of their own (one level: forms named inside a form give
// nothing, so a form that names itself ends). Nothing when `value` is no date (see decodeDateTime).
std::optional<std::string> formatDateTime(std::string_view pattern, DateTime value,
                                          const DateFormatLocale& locale = englishDateFormatLocale());

}  // namespace moraven
