#pragma once

#include <string>

#include <QLocale>
#include <QString>

#include "formats/date_format.h"

namespace moraven {

// The names, forms, separators and am/pm texts of `locale` for the date-time patterns: day and month names
// as the locale writes them in dates, the short and long date and time forms turned into the pattern
// language, the date separator and the time separator found in the short forms ("/" and ":" when they
// have none), and the am/pm texts in the case that the locale's time forms use.
DateFormatLocale dateFormatLocaleFrom(const QLocale& locale);

// The same for the user's locale (LC_TIME, LC_ALL, LANG): what the program uses wherever it formats a date
// for the user.
DateFormatLocale systemDateFormatLocale();

// A date or time format of Qt's (QLocale::dateFormat, "dd/MM/yyyy", "h:mm AP") written in the pattern
// language ("dd/mm/yyyy", "h:nn ampm") for a locale with the given separators. Literal text is quoted where
// it would otherwise read as tokens, or as a separator other than itself; the time zone ("t"), which the
// pattern language lacks, is left out together with the blanks that set it apart.
std::string patternFromQtFormat(const QString& format, const std::string& dateSeparator = "/",
                                const std::string& timeSeparator = ":");

}  // namespace moraven
