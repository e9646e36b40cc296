#include "platform/system_locale.h"

#include <string>

#include <gtest/gtest.h>
#include <QDate>
#include <QTime>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "platform/settings_environment.h"
#include "platform/system_services.h"

namespace moraven {
namespace {

// Tuesday 5 March 2024, an afternoon and a morning.
const CalendarDateTime kAfternoon{2024, 3, 5, 14, 7, 9, 0};
const CalendarDateTime kMorning{2024, 3, 5, 9, 5, 3, 0};

std::string formatted(const char* pattern, const CalendarDateTime& when, const DateFormatLocale& locale) {
    return formatDateTime(pattern, encodeDateTime(when).value(), locale).value_or("no date");
}

TEST(SystemLocaleTest, QtFormatsBecomePatterns) {
    struct Case {
        const char* qt;
        const char* pattern;
    };
    const Case cases[] = {
        {"dd/MM/yyyy", "dd/mm/yyyy"},
        {"M/d/yy", "m/d/yy"},
        {"dd.MM.yy", "dd.mm.yy"},
        {"dddd, MMMM d, yyyy", "dddd, mmmm d, yyyy"},
        {"dddd d. MMMM yyyy", "dddd d. mmmm yyyy"},
        {"HH:mm", "hh:nn"},
        {"H.mm.ss", "h.nn.ss"},
        {"h:mm AP", "h:nn ampm"},
        {"h:mm:ss AP t", "h:nn:ss ampm"},
        {"HH:mm:ss t", "hh:nn:ss"},
        {"t HH:mm:ss", "hh:nn:ss"},
        {"AP h:mm", "ampm h:nn"},
        {"HH:mm:ss.zzz", "hh:nn:ss.zzz"},
        // Text in quotes, and letters that are no field in Qt, are quoted where they would be fields.
        {"dddd, d MMMM yyyy 'г'.", "dddd, d mmmm yyyy г."},
        {"d 'de' MMMM 'de' yyyy", "d\" de \"mmmm\" de \"yyyy"},
        {"HH 'h' mm", "hh\" h \"nn"},
        {"h 'o''clock'", "h\" o'clock\""},
        {"yyyy'\"'MM", "yyyy'\"'mm"},
        {"yyyy年M月d日dddd", "yyyy年m月d日dddd"},
        {"y yyy", "\"y \"yy\"y\""},
        // Two fields of one letter side by side stay two fields.
        {"ddddd", "dddd\"\"d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.qt);
        EXPECT_EQ(patternFromQtFormat(QString::fromUtf8(c.qt)), c.pattern);
    }
    // A "/" or ":" that is not the locale's separator is quoted, so that it stays itself.
    EXPECT_EQ(patternFromQtFormat("dd.MM/yyyy", ".", ":"), "dd.mm\"/\"yyyy");
    EXPECT_EQ(patternFromQtFormat("H:mm", "/", "."), "h\":\"nn");
}

TEST(SystemLocaleTest, DatesReadAsTheLocalesUsersWriteThem) {
    struct Case {
        QLocale locale;
        const char* shortDate;
        const char* longDate;
        const char* shortTime;
        const char* longTime;
        const char* morningTime;
        const char* slashes;  // "yyyy/mm/dd hh:nn": the locale's separators
    };
    const Case cases[] = {
        {QLocale(QLocale::French, QLocale::France), "05/03/2024", "mardi 5 mars 2024", "14:07", "14:07:09",
         "09:05:03", "2024/03/05 14:07"},
        {QLocale(QLocale::German, QLocale::Germany), "05.03.24", "Dienstag, 5. März 2024", "14:07",
         "14:07:09", "09:05:03", "2024.03.05 14:07"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "3/5/24", "Tuesday, March 5, 2024", "2:07 PM",
         "2:07:09 PM", "9:05:03 AM", "2024/03/05 14:07"},
        {QLocale(QLocale::Finnish, QLocale::Finland), "5.3.2024", "tiistaina 5. maaliskuuta 2024", "14.07",
         "14.07.09", "9.05.03", "2024.03.05 14.07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        const DateFormatLocale locale = dateFormatLocaleFrom(c.locale);
        EXPECT_EQ(formatted("ddddd", kAfternoon, locale), c.shortDate);
        EXPECT_EQ(formatted("dddddd", kAfternoon, locale), c.longDate);
        EXPECT_EQ(formatted("t", kAfternoon, locale), c.shortTime);
        EXPECT_EQ(formatted("tt", kAfternoon, locale), c.longTime);
        EXPECT_EQ(formatted("tt", kMorning, locale), c.morningTime);
        EXPECT_EQ(formatted("c", kAfternoon, locale), std::string(c.shortDate) + " " + c.longTime);
        EXPECT_EQ(formatted("yyyy/mm/dd hh:nn", kAfternoon, locale), c.slashes);
    }
    const DateFormatLocale french = dateFormatLocaleFrom(QLocale(QLocale::French, QLocale::France));
    EXPECT_EQ(formatted("ddd d mmm yyyy", kAfternoon, french), "mar. 5 mars 2024");
    EXPECT_EQ(formatted("dddd d mmmm", CalendarDateTime{2024, 2, 4, 0, 0, 0, 0}, french),
              "dimanche 4 février");
}

// Every locale Qt knows writes its short and long dates and its short time through the patterns exactly as
// Qt writes them itself. Locales with digits other than 0 to 9 are left out: the patterns write ASCII digits.
TEST(SystemLocaleTest, EveryLocaleAgreesWithQt) {
    const QDate date(2024, 3, 5);
    int compared = 0;
    for (const QLocale& qt :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        if (qt.zeroDigit() != QLatin1String("0")) continue;
        SCOPED_TRACE(qt.name().toStdString());
        const DateFormatLocale locale = dateFormatLocaleFrom(qt);
        EXPECT_EQ(formatted("ddddd", kAfternoon, locale),
                  qt.toString(date, QLocale::ShortFormat).toStdString());
        EXPECT_EQ(formatted("dddddd", kAfternoon, locale),
                  qt.toString(date, QLocale::LongFormat).toStdString());
        for (const CalendarDateTime& when : {kAfternoon, kMorning}) {
            const QTime time(when.hour, when.minute, when.second);
            EXPECT_EQ(formatted("t", when, locale), qt.toString(time, QLocale::ShortFormat).toStdString());
        }
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

TEST(SystemLocaleTest, TheSettingsEnvironmentComesFromTheSystem) {
    const SettingsEnvironment environment = systemSettingsEnvironment();
    EXPECT_EQ(environment.documentsFolder, PersonalFolder());
    EXPECT_EQ(environment.executablePath, ownExecutablePath());
    EXPECT_FALSE(environment.executablePath.empty());
    EXPECT_EQ(environment.dateLocale.longMonthNames, dateFormatLocaleFrom(QLocale::system()).longMonthNames);
}

}  // namespace
}  // namespace moraven
