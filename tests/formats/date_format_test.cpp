#include "formats/date_format.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace moraven {
namespace {

DateTime at(int year, int month, int day, int hour, int minute, int second, int millisecond = 0) {
    return encodeDateTime(CalendarDateTime{year, month, day, hour, minute, second, millisecond}).value();
}

// A Thursday afternoon and a Monday morning whose fields all have one digit.
const DateTime kAfternoon = at(2004, 7, 15, 13, 5, 9, 123);
const DateTime kMorning = at(2004, 7, 5, 8, 4, 3, 7);

struct Case {
    const char* pattern;
    DateTime value;
    const char* expected;
};

void expectFormats(const Case* begin, const Case* end, const DateFormatLocale& locale) {
    for (const Case* c = begin; c != end; ++c) {
        SCOPED_TRACE(std::string("pattern \"") + c->pattern + "\"");
        EXPECT_EQ(formatDateTime(c->pattern, c->value, locale), std::string(c->expected));
    }
}

template <std::size_t N>
void expectFormats(const Case (&cases)[N], const DateFormatLocale& locale = englishDateFormatLocale()) {
    expectFormats(cases, cases + N, locale);
}

TEST(DateFormatTest, ShippedPatternsGiveWhatTheUserExpects) {
    const Case cases[] = {
        // Sort keys: 24-hour digits only, so that text order is time order.
        {"yyyymmddhhnnss", kAfternoon, "20040715130509"},
        {"yyyymmddhhnnss", kMorning, "20040705080403"},
        // File-name patterns with a marker: the hours follow the 12-hour clock.
        {"yyyy.mm.dd_hh.nn.ss_am/pm", kAfternoon, "2004.07.15_01.05.09_pm"},
        {"yyyy.mm.dd_hh.nn.ss_am/pm", kMorning, "2004.07.05_08.04.03_am"},
        {"yyyymmdd_hh.nn.ss_am/pm", kAfternoon, "20040715_01.05.09_pm"},
        {"yyyymmdd_hh.nn.ss_am/pm", kMorning, "20040705_08.04.03_am"},
        {"yyyy/mm/dd hh:nn:ss am/pm", kAfternoon, "2004/07/15 01:05:09 pm"},
        {"yyyy/mm/dd hh:nn:ss am/pm", kMorning, "2004/07/05 08:04:03 am"},
        // Displayed datecode: the locale's short date, then 24-hour time.
        {"ddddd hh:nn:ss", kAfternoon, "7/15/2004 13:05:09"},
        {"ddddd hh:nn:ss", kMorning, "7/5/2004 08:04:03"},
        // Scene file footer: "mm" after "hh" is minutes; the quoted "at" is no marker.
        {"dddddd 'at' hh:mm:ss", kAfternoon, "Thursday, July 15, 2004 at 13:05:09"},
        {"dddddd 'at' hh:mm:ss", kMorning, "Monday, July 5, 2004 at 08:04:03"},
        {"yyyy/mm/d", kAfternoon, "2004/07/15"},
        {"yyyy/mm/d", kMorning, "2004/07/5"},
        {"h:mm:ss", kAfternoon, "13:05:09"},
        {"h:mm:ss", kMorning, "8:04:03"},
        // Inlay lines.
        {"ddddd", kAfternoon, "7/15/2004"},
        {"tt", kAfternoon, "1:05:09 PM"},
        {"tt", kMorning, "8:04:03 AM"},
    };
    expectFormats(cases);
}

TEST(DateFormatTest, EveryTokenOfTheLanguage) {
    const Case cases[] = {
        {"d", kMorning, "5"},
        {"dd", kMorning, "05"},
        {"d", kAfternoon, "15"},
        {"ddd", kAfternoon, "Thu"},
        {"dddd", kAfternoon, "Thursday"},
        {"ddddd", kMorning, "7/5/2004"},
        {"dddddd", kAfternoon, "Thursday, July 15, 2004"},
        {"ddddddd", kAfternoon, "Thursday, July 15, 2004"},
        {"m", kMorning, "7"},
        {"mm", kMorning, "07"},
        {"mmm", kAfternoon, "Jul"},
        {"mmmm", kAfternoon, "July"},
        {"mmmmm", kAfternoon, "July"},
        {"y", kAfternoon, "04"},
        {"yy", kAfternoon, "04"},
        {"yyy", kAfternoon, "2004"},
        {"yyyy", kAfternoon, "2004"},
        {"yyyyyy", kAfternoon, "2004"},
        {"yy yyyy", at(33, 1, 2, 0, 0, 0), "33 0033"},
        {"yy", at(1999, 1, 2, 0, 0, 0), "99"},
        {"yy", at(2100, 1, 2, 0, 0, 0), "00"},
        {"h hh hhh", kMorning, "8 08 08"},
        {"n nn nnn", kMorning, "4 04 04"},
        {"s ss sss", kMorning, "3 03 03"},
        {"z zz zzz zzzz", kMorning, "7 07 007 007"},
        {"z", kAfternoon, "123"},
        {"t", kAfternoon, "1:05 PM"},
        {"t", kMorning, "8:04 AM"},
        {"tt", kAfternoon, "1:05:09 PM"},
        {"ttt", kAfternoon, "1:05:09 PM"},
        {"c", kAfternoon, "7/15/2004 1:05:09 PM"},
        {"c", at(2004, 7, 15, 0, 0, 0), "7/15/2004 12:00:00 AM"},  // midnight still shows its time
        {"aaa aaaa", kAfternoon, "Thu Thursday"},
        {"a aa", kAfternoon, "a aa"},
        {"ampm", kAfternoon, "PM"},
        {"ampm", kMorning, "AM"},
        {"x/y:", kAfternoon, "x/04:"},
        // Letters are tokens in either case; runs count only identical characters.
        {"YYYY-MM-DD HH:NN:SS.ZZZ", kAfternoon, "2004-07-15 13:05:09.123"},
        {"DDDD MMMM", kAfternoon, "Thursday July"},
        {"Dd", kMorning, "55"},
        {"yY", kAfternoon, "0404"},
        // Other letters and characters are copied one by one.
        {"Week: q[x]#", kAfternoon, "Week: q[x]#"},
        {"\xC3\xA9t\xC3\xA9", kAfternoon,
         "\xC3\xA9"
         "1:05 PM"
         "\xC3\xA9"},
    };
    expectFormats(cases);
}

TEST(DateFormatTest, MAfterAnHourMeansMinutes) {
    const Case cases[] = {
        {"hh:mm", kAfternoon, "13:05"},
        {"h:m", kAfternoon, "13:5"},
        {"H:M", kAfternoon, "13:5"},
        {"hh mm", kAfternoon, "13 05"},
        {"hh'h'mm", kAfternoon, "13h05"},  // quotes are no letters
        {"h:mmm", kAfternoon, "13:05"},    // minutes never take a name
        {"mm", kAfternoon, "07"},
        {"mm:hh", kAfternoon, "07:13"},
        {"nn:mm", kAfternoon, "05:07"},
        {"hhdmm", kAfternoon, "131507"},       // a letter between ends the rule
        {"hh:mm:mm", kAfternoon, "13:05:07"},  // the minutes token is the last one now
        {"hhMm", kAfternoon, "1357"},
    };
    expectFormats(cases);
}

TEST(DateFormatTest, MarkersSwitchTheHoursToATwelveHourClock) {
    const DateTime halfPastMidnight = at(2004, 7, 15, 0, 30, 0);
    const DateTime noon = at(2004, 7, 15, 12, 0, 0);
    const DateTime fiveToMidnight = at(2004, 7, 15, 23, 55, 0);
    const Case cases[] = {
        {"h:nn am/pm", halfPastMidnight, "12:30 am"},
        {"h:nn am/pm", noon, "12:00 pm"},
        {"H:NN AM/PM", kAfternoon, "1:05 PM"},
        {"hh:nn am/pm", fiveToMidnight, "11:55 pm"},
        {"h:nn Am/pM", kAfternoon, "1:05 pM"},  // the marker's own letters are written
        {"h:nn Am/pM", kMorning, "8:04 Am"},
        {"hh:nn a/p", kAfternoon, "01:05 p"},
        {"hh:nn A/P", kMorning, "08:04 A"},
        {"h ampm", kAfternoon, "1 PM"},
        {"h AmPm", halfPastMidnight, "12 AM"},
        {"am/pm h", kAfternoon, "pm 1"},  // an earlier marker switches the later hours
        {"ampm h", noon, "PM 12"},
        {"h 'am/pm'", kAfternoon, "13 am/pm"},
        {"h \"a/p\" am/pm", kAfternoon, "1 a/p pm"},
        {"h ax am/pm", kAfternoon, "13 ax pm"},        // the first 'a' decides
        {"h:nn hh am/pm", kAfternoon, "13:05 01 pm"},  // the next hour token ends the search
        {"hh:nn t", kAfternoon, "13:05 1:05 PM"},      // a marker inside a locale form is not seen
        {"aaaa h", kAfternoon, "Thursday 13"},         // day names are no markers
    };
    expectFormats(cases);
}

TEST(DateFormatTest, QuotedTextIsCopiedUnchanged) {
    const Case cases[] = {
        {"'yyyy' yyyy", kAfternoon, "yyyy 2004"},
        {"\"hh:nn\" hh", kAfternoon, "hh:nn 13"},
        {"\"it's\" d", kAfternoon, "it's 15"},
        {"'say \"hi\"' d", kAfternoon, "say \"hi\" 15"},
        {"''d\"\"", kAfternoon, "15"},
        {"d 'dd", kAfternoon, "15 dd"},  // an unclosed quote runs to the end
        {"d \"", kAfternoon, "15 "},
        {"\"A \"dddd \" of \"mmmm", at(2006, 3, 12, 15, 46, 37), "A Sunday  of March"},
    };
    expectFormats(cases);
}

DateFormatLocale customLocale() {
    DateFormatLocale locale = englishDateFormatLocale();
    locale.dateSeparator = ".";
    locale.timeSeparator = "-";
    locale.shortDateFormat = "dd/mm/yyyy";
    locale.longDateFormat = "dddd d mmmm yyyy";
    locale.shortTimeFormat = "hh:nn";
    locale.longTimeFormat = "hh:nn:ss";
    locale.timeAmString = "vorm.";
    locale.timePmString = "nachm.";
    locale.longMonthNames[6] = "Juli";
    locale.longDayNames[4] = "Donnerstag";
    locale.shortDayNames[4] = "Do";
    return locale;
}

TEST(DateFormatTest, SeparatorsNamesAndFormsComeFromTheLocale) {
    const Case cases[] = {
        {"yyyy/mm/dd hh:nn:ss", kAfternoon, "2004.07.15 13-05-09"},
        {"ddddd", kAfternoon, "15.07.2004"},
        {"dddddd", kAfternoon, "Donnerstag 15 Juli 2004"},
        {"ddd aaa", kAfternoon, "Do Do"},
        {"t|tt", kAfternoon, "13-05|13-05-09"},
        {"c", kAfternoon, "15.07.2004 13-05-09"},
        {"", kAfternoon, "15.07.2004 13-05-09"},
        {"h ampm", kAfternoon, "1 nachm."},
        {"h ampm", kMorning, "8 vorm."},
        {"'/:' /:", kAfternoon, "/: .-"},
    };
    expectFormats(cases, customLocale());

    DateFormatLocale wide = englishDateFormatLocale();
    wide.dateSeparator = "";
    wide.timeSeparator = " h ";
    EXPECT_EQ(formatDateTime("yyyy/mm/dd hh:nn", kAfternoon, wide), "20040715 13 h 05");
}

TEST(DateFormatTest, AnEmptyPatternMeansC) {
    EXPECT_EQ(formatDateTime("", kAfternoon), "7/15/2004 1:05:09 PM");
    EXPECT_EQ(formatDateTime("", kAfternoon), formatDateTime("c", kAfternoon));
    EXPECT_EQ(formatDateTime("", kMorning), formatDateTime("C", kMorning));
}

TEST(DateFormatTest, LocaleFormsExpandOneLevelOnly) {
    DateFormatLocale selfNaming = englishDateFormatLocale();
    selfNaming.shortDateFormat = "[ddddd]";
    selfNaming.longDateFormat = "dddddd";
    selfNaming.shortTimeFormat = "<t|tt|c|ddddd>";
    selfNaming.longTimeFormat = "(c)";
    const Case cases[] = {
        {"ddddd", kAfternoon, "[]"}, {"< ddddd >", kAfternoon, "< [] >"}, {"dddddd", kAfternoon, ""},
        {"t", kAfternoon, "<|| |>"},  // "c" inside a form keeps only its blank
        {"tt", kAfternoon, "( )"},   {"c", kAfternoon, "[] ( )"},         {"", kAfternoon, "[] ( )"},
    };
    expectFormats(cases, selfNaming);

    // Forms naming each other end as well.
    DateFormatLocale mutual = englishDateFormatLocale();
    mutual.shortDateFormat = "t";
    mutual.shortTimeFormat = "ddddd";
    EXPECT_EQ(formatDateTime("ddddd", kAfternoon, mutual), "");
    EXPECT_EQ(formatDateTime("t-d", kAfternoon, mutual), "-15");
}

TEST(DateFormatTest, ValuesBeforeTheEpochFormatTheirOwnDayAndTime) {
    EXPECT_EQ(formatDateTime("dddd yyyy-mm-dd hh:nn", DateTime(-1.25)), "Friday 1899-12-29 06:00");
    EXPECT_EQ(formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", DateTime(-693593.5)), "0001-01-01 12:00:00.000");
}

TEST(DateFormatTest, AValueThatIsNoDateGivesNothing) {
    const double cases[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), 1e10, -700000.0};
    for (const double days : cases) {
        SCOPED_TRACE(days);
        EXPECT_EQ(formatDateTime("yyyy", DateTime(days)), std::nullopt);
        EXPECT_EQ(formatDateTime("'text'", DateTime(days)), std::nullopt);
        EXPECT_EQ(formatDateTime("", DateTime(days)), std::nullopt);
    }
}

}  // namespace
}  // namespace moraven
