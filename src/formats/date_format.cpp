#include "formats/date_format.h"

#include <cstddef>
#include <utility>

namespace moraven {
namespace {

// The top-level pattern is level 1 and the locale forms it names are level 2. Forms named inside those
// produce nothing, so a locale whose short date is "ddddd" cannot recurse forever.
constexpr int kMaxPatternLevel = 2;

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive test that `text` starts with `prefix` (prefix given in upper case).
bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upperAscii(text[i]) != prefix[i]) return false;
    }
    return true;
}

// "am/pm", "a/p" and "ampm" are the markers that switch the hours to a 12-hour clock.
bool startsWithHalfDayMarker(std::string_view text) {
    return startsWithNoCase(text, "AM/PM") || startsWithNoCase(text, "A/P") || startsWithNoCase(text, "AMPM");
}

// Whether an hour token whose run ends at `from` is written on a 12-hour clock: it is when the first 'a'
// outside quotes that follows, before any further hour token, starts a half-day marker.
bool halfDayMarkerFollows(std::string_view pattern, std::size_t from) {
    char openQuote = 0;
    for (std::size_t i = from; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (openQuote != 0) {
            if (c == openQuote) openQuote = 0;
            continue;
        }
        switch (c) {
            case '\'':
            case '"':
                openQuote = c;
                break;
            case 'a':
            case 'A':
                return startsWithHalfDayMarker(pattern.substr(i));
            case 'h':
            case 'H':
                return false;
            default:
                break;
        }
    }
    return false;
}

class Formatter {
public:
    Formatter(const CalendarDateTime& fields, int weekday, const DateFormatLocale& locale)
        : m_fields(fields), m_weekdayIndex(weekday - 1), m_locale(locale) {}

    void appendPattern(std::string_view pattern, int level);

    std::string take() { return std::move(m_out); }

private:
    void appendNumber(int value, int minDigits);

    const CalendarDateTime& m_fields;
    int m_weekdayIndex;  // 0 = Sunday
    const DateFormatLocale& m_locale;
    std::string m_out;
};

void Formatter::appendNumber(int value, int minDigits) {
    const std::string digits = std::to_string(value);
    if (digits.size() < static_cast<std::size_t>(minDigits)) {
        m_out.append(static_cast<std::size_t>(minDigits) - digits.size(), '0');
    }
    m_out += digits;
}

void Formatter::appendPattern(std::string_view pattern, int level) {
    if (level > kMaxPatternLevel) return;

    // Only letters update the last token, so "hh:mm" still reads the "mm" as minutes.
    char lastToken = ' ';
    bool twelveHourClock = false;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const std::size_t start = pos;
        const char starter = pattern[pos++];
        // A run counts only characters identical to its first one: "Mm" is two runs.
        const auto takeRun = [&] {
            while (pos < pattern.size() && pattern[pos] == starter) ++pos;
            return static_cast<int>(pos - start);
        };

        char token = upperAscii(starter);
        if (isAsciiLetter(token)) {
            if (token == 'M' && lastToken == 'H') token = 'N';
            lastToken = token;
        }

        switch (token) {
            case 'Y': {
                const int count = takeRun();
                if (count <= 2) {
                    appendNumber(m_fields.year % 100, 2);
                } else {
                    appendNumber(m_fields.year, 4);
                }
                break;
            }
            case 'M': {
                const int count = takeRun();
                if (count <= 2) {
                    appendNumber(m_fields.month, count);
                } else if (count == 3) {
                    m_out += m_locale.shortMonthNames[m_fields.month - 1];
                } else {
                    m_out += m_locale.longMonthNames[m_fields.month - 1];
                }
                break;
            }
            case 'D': {
                const int count = takeRun();
                if (count <= 2) {
                    appendNumber(m_fields.day, count);
                } else if (count == 3) {
                    m_out += m_locale.shortDayNames[m_weekdayIndex];
                } else if (count == 4) {
                    m_out += m_locale.longDayNames[m_weekdayIndex];
                } else if (count == 5) {
                    appendPattern(m_locale.shortDateFormat, level + 1);
                } else {
                    appendPattern(m_locale.longDateFormat, level + 1);
                }
                break;
            }
            case 'H': {
                const int count = takeRun();
                if (halfDayMarkerFollows(pattern, pos)) twelveHourClock = true;
                int hour = m_fields.hour;
                if (twelveHourClock) {
                    if (hour == 0) {
                        hour = 12;
                    } else if (hour > 12) {
                        hour -= 12;
                    }
                }
                appendNumber(hour, count > 2 ? 2 : count);
                break;
            }
            case 'N': {
                const int count = takeRun();
                appendNumber(m_fields.minute, count > 2 ? 2 : count);
                break;
            }
            case 'S': {
                const int count = takeRun();
                appendNumber(m_fields.second, count > 2 ? 2 : count);
                break;
            }
            case 'Z': {
                const int count = takeRun();
                appendNumber(m_fields.millisecond, count > 3 ? 3 : count);
                break;
            }
            case 'T': {
                const int count = takeRun();
                appendPattern(count == 1 ? m_locale.shortTimeFormat : m_locale.longTimeFormat, level + 1);
                break;
            }
            case 'C': {
                takeRun();
                appendPattern(m_locale.shortDateFormat, level + 1);
                m_out += ' ';
                appendPattern(m_locale.longTimeFormat, level + 1);
                break;
            }
            case 'A': {
                // The markers copy their own letters from the pattern, so "AM/PM" writes "PM" and
                // "am/pm" writes "pm"; only "ampm" takes the locale's texts.
                const std::string_view rest = pattern.substr(start);
                const bool afternoon = m_fields.hour >= 12;
                if (startsWithNoCase(rest, "AM/PM")) {
                    m_out += rest.substr(afternoon ? 3 : 0, 2);
                    pos = start + 5;
                    twelveHourClock = true;
                } else if (startsWithNoCase(rest, "A/P")) {
                    m_out += rest[afternoon ? 2 : 0];
                    pos = start + 3;
                    twelveHourClock = true;
                } else if (startsWithNoCase(rest, "AMPM")) {
                    m_out += afternoon ? m_locale.timePmString : m_locale.timeAmString;
                    pos = start + 4;
                    twelveHourClock = true;
                } else if (startsWithNoCase(rest, "AAAA")) {
                    m_out += m_locale.longDayNames[m_weekdayIndex];
                    pos = start + 4;
                } else if (startsWithNoCase(rest, "AAA")) {
                    m_out += m_locale.shortDayNames[m_weekdayIndex];
                    pos = start + 3;
                } else {
                    m_out += starter;
                }
                break;
            }
            case '/':
                m_out += m_locale.dateSeparator;
                break;
            case ':':
                m_out += m_locale.timeSeparator;
                break;
            case '\'':
            case '"': {
                // Quoted text runs to the same quote character; an unclosed quote runs to the end.
                const std::size_t close = pattern.find(starter, pos);
                const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
                m_out += pattern.substr(pos, end - pos);
                pos = close == std::string_view::npos ? end : close + 1;
                break;
            }
            default:
                m_out += starter;
                break;
        }
    }
}

}  // namespace

const DateFormatLocale& englishDateFormatLocale() {
    static const DateFormatLocale locale{
        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
        {"January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
         "November", "December"},
        {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
        {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
        "m/d/yyyy",
        "dddd, mmmm d, yyyy",
        "h:mm AMPM",
        "h:mm:ss AMPM",
        "AM",
        "PM",
        "/",
        ":",
    };
    return locale;
}

std::optional<std::string> formatDateTime(std::string_view pattern, DateTime value,
                                          const DateFormatLocale& locale) {
    const auto fields = decodeDateTime(value);
    const auto weekday = dayOfWeek(value);
    if (!fields || !weekday) return std::nullopt;
    Formatter formatter(*fields, *weekday, locale);
    formatter.appendPattern(pattern.empty() ? std::string_view("c") : pattern, 1);
    return formatter.take();
}

}  // namespace moraven
