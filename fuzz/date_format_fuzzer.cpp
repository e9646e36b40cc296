// Formats a value with a pattern and a locale whose forms, names and separators all come from the input.
// Input: one selector byte, eight bytes of value, then NUL-separated texts: the pattern, the four locale
// forms, the AM and PM texts, the two separators, then month and day names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/date_format.h"
#include "formats/date_time.h"

namespace {

class Texts {
public:
    explicit Texts(std::string_view input) : m_rest(input) {}

    std::string next() {
        const std::size_t end = m_rest.find('\0');
        const std::string text(m_rest.substr(0, end));
        m_rest = end == std::string_view::npos ? std::string_view() : m_rest.substr(end + 1);
        return text;
    }

private:
    std::string_view m_rest;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + 1, sizeof bits);
    double days = 0.0;
    if (data[0] % 2 == 0) {
        // Raw bits reach NaN, infinities and values far out of range.
        std::memcpy(&days, &bits, sizeof days);
    } else {
        // A day between years 1 and 9999 and a time of day, on either side of 1899-12-30.
        const auto day = static_cast<double>(static_cast<std::int64_t>(bits >> 32) % 3'652'059 - 693'593);
        const double fraction = static_cast<double>(bits & 0xFFFFFFFFu) / 4294967296.0;
        days = day < 0 ? day - fraction : day + fraction;
    }
    const moraven::DateTime value(days);

    Texts texts(std::string_view(reinterpret_cast<const char*>(data + 9), size - 9));
    const std::string pattern = texts.next();
    moraven::DateFormatLocale locale = moraven::englishDateFormatLocale();
    locale.shortDateFormat = texts.next();
    locale.longDateFormat = texts.next();
    locale.shortTimeFormat = texts.next();
    locale.longTimeFormat = texts.next();
    locale.timeAmString = texts.next();
    locale.timePmString = texts.next();
    locale.dateSeparator = texts.next();
    locale.timeSeparator = texts.next();
    locale.shortMonthNames[data[0] / 2 % 12] = texts.next();
    locale.longDayNames[data[0] / 2 % 7] = texts.next();

    const auto text = moraven::formatDateTime(pattern, value, locale);
    if (text.has_value() != moraven::decodeDateTime(value).has_value()) std::abort();
    if (!text) return 0;

    // Every pattern character gives at most one locale form, and a form's characters give at most one name,
    // separator or number each; forms inside forms give nothing. Anything longer means runaway expansion.
    std::size_t longestPiece = 32;
    for (const std::string* piece :
         {&locale.timeAmString, &locale.timePmString, &locale.dateSeparator, &locale.timeSeparator}) {
        if (piece->size() > longestPiece) longestPiece = piece->size();
    }
    for (const auto& names : {locale.shortMonthNames, locale.longMonthNames}) {
        for (const auto& name : names) longestPiece = name.size() > longestPiece ? name.size() : longestPiece;
    }
    for (const auto& names : {locale.shortDayNames, locale.longDayNames}) {
        for (const auto& name : names) longestPiece = name.size() > longestPiece ? name.size() : longestPiece;
    }
    std::size_t longestForm = 1;
    for (const std::string* form :
         {&locale.shortDateFormat, &locale.longDateFormat, &locale.shortTimeFormat, &locale.longTimeFormat}) {
        if (form->size() > longestForm) longestForm = form->size();
    }
    const std::size_t patternSize = pattern.empty() ? 1 : pattern.size();
    if (text->size() > patternSize * (2 * longestForm + 1) * longestPiece) std::abort();
    return 0;
}
