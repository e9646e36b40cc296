#include "platform/system_locale.h"

#include <algorithm>
#include <vector>

namespace moraven {
namespace {

enum class Case { AsIs, Upper, Lower };

// One piece of a Qt format: literal text, a field already written in the pattern language, or the time zone.
struct Piece {
    enum class Kind { Literal, Field, Zone } kind;
    QString text;
    char letter = 0;  // Field: Qt's letter ('d', 'M', 'y', 'h', 'H', 'm', 's', 'z', 'a', 'A')
};

std::vector<Piece> splitQtFormat(const QString& format, Case* markerCase = nullptr) {
    std::vector<Piece> pieces;
    QString literal;
    const auto flushLiteral = [&] {
        if (literal.isEmpty()) return;
        pieces.push_back({Piece::Kind::Literal, literal});
        literal.clear();
    };
    const qsizetype size = format.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = format[i];
        if (c == u'\'') {
            // 'text' is literal, and '' a single quote, inside or outside quoted text.
            if (i + 1 < size && format[i + 1] == u'\'') {
                literal += u'\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < size) {
                if (format[i] == u'\'') {
                    if (i + 1 < size && format[i + 1] == u'\'') {
                        literal += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += format[i++];
            }
            continue;
        }
        qsizetype repeat = 1;
        while (i + repeat < size && format[i + repeat] == c) ++repeat;
        const char letter = c.toLatin1();
        qsizetype used = 0;
        QString field;
        switch (letter) {
            case 'd':
                used = std::min<qsizetype>(repeat, 4);
                field = QString(used, u'd');
                break;
            case 'M':
                used = std::min<qsizetype>(repeat, 4);
                field = QString(used, u'm');
                break;
            case 'y':
                // Qt knows "yy" and "yyyy"; a lone y is text.
                used = repeat >= 4 ? 4 : repeat >= 2 ? 2 : 0;
                field = QString(used, u'y');
                break;
            case 'h':
            case 'H':
                used = std::min<qsizetype>(repeat, 2);
                field = QString(used, u'h');
                break;
            case 'm':
                used = std::min<qsizetype>(repeat, 2);
                field = QString(used, u'n');
                break;
            case 's':
                used = std::min<qsizetype>(repeat, 2);
                field = QString(used, u's');
                break;
            case 'z':
                used = repeat >= 3 ? 3 : 1;
                field = QString(used, u'z');
                break;
            case 'a':
            case 'A': {
                const bool pair = i + 1 < size && (format[i + 1] == u'p' || format[i + 1] == u'P');
                used = pair ? 2 : 1;
                field = QStringLiteral("ampm");
                if (markerCase != nullptr && *markerCase == Case::AsIs) {
                    const bool upper = letter == 'A';
                    const bool mixed = pair && (format[i + 1] == u'P') != upper;
                    *markerCase = mixed ? Case::AsIs : upper ? Case::Upper : Case::Lower;
                }
                break;
            }
            case 't':
                flushLiteral();
                pieces.push_back({Piece::Kind::Zone, {}});
                i += repeat;
                continue;
            default:
                break;
        }
        if (used == 0) {
            literal += c;
            ++i;
            continue;
        }
        flushLiteral();
        pieces.push_back({Piece::Kind::Field, field, letter});
        i += used;
    }
    flushLiteral();
    return pieces;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == QChar(0x00A0) || c == QChar(0x202F); }

QString trimmedBlanks(QString text) {
    while (!text.isEmpty() && isBlank(text.front())) text.remove(0, 1);
    while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
    return text;
}

// Literal text in the pattern language: copied as it is when no character of it has a meaning there (a "/"
// or ":" that the locale's separator replaces by itself has none), otherwise in double quotes (single quotes
// for text holding a double quote).
std::string literalPattern(const QString& text, const std::string& dateSeparator,
                           const std::string& timeSeparator) {
    bool plain = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'"' || u == u'\'' ||
            (u == u'/' && dateSeparator != "/") || (u == u':' && timeSeparator != ":")) {
            plain = false;
        }
    }
    if (plain) return text.toStdString();
    std::string out;
    const QString doubleQuote = QStringLiteral("\"");
    qsizetype i = 0;
    while (i < text.size()) {
        // A run without double quotes goes inside double quotes, a run of double quotes inside single ones.
        const bool quotes = text[i] == u'"';
        qsizetype end = i;
        while (end < text.size() && (text[end] == u'"') == quotes) ++end;
        const char wrapper = quotes ? '\'' : '"';
        out += wrapper;
        out += text.mid(i, end - i).toStdString();
        out += wrapper;
        i = end;
    }
    return out;
}

// The first piece of literal text after a field whose letter is in `after`, without its blanks; `fallback`
// when there is none or it is all blanks.
std::string separatorOf(const QString& format, const char* after, const char* fallback) {
    const std::vector<Piece> pieces = splitQtFormat(format);
    bool fieldSeen = false;
    for (const Piece& piece : pieces) {
        if (piece.kind == Piece::Kind::Field) {
            fieldSeen = std::string_view(after).find(piece.letter) != std::string_view::npos;
        } else if (piece.kind == Piece::Kind::Literal && fieldSeen) {
            const QString separator = trimmedBlanks(piece.text);
            return separator.isEmpty() ? fallback : separator.toStdString();
        }
    }
    return fallback;
}

}  // namespace

std::string patternFromQtFormat(const QString& format, const std::string& dateSeparator,
                                const std::string& timeSeparator) {
    std::vector<Piece> pieces = splitQtFormat(format);
    // The zone goes, and with it the blanks that follow it.
    std::vector<Piece> kept;
    bool afterZone = false;
    for (Piece& piece : pieces) {
        if (piece.kind == Piece::Kind::Zone) {
            afterZone = true;
            continue;
        }
        if (piece.kind == Piece::Kind::Literal && afterZone) {
            while (!piece.text.isEmpty() && isBlank(piece.text.front())) piece.text.remove(0, 1);
            if (piece.text.isEmpty()) continue;
        }
        afterZone = false;
        if (piece.kind == Piece::Kind::Literal && !kept.empty() && kept.back().kind == Piece::Kind::Literal) {
            kept.back().text += piece.text;
        } else {
            kept.push_back(std::move(piece));
        }
    }
    // A zone at either end leaves blanks there.
    if (!kept.empty() && kept.front().kind == Piece::Kind::Literal) {
        QString& text = kept.front().text;
        while (!text.isEmpty() && isBlank(text.front())) text.remove(0, 1);
    }
    if (!kept.empty() && kept.back().kind == Piece::Kind::Literal) {
        QString& text = kept.back().text;
        while (!text.isEmpty() && isBlank(text.back())) text.chop(1);
    }

    std::string pattern;
    for (const Piece& piece : kept) {
        if (piece.kind == Piece::Kind::Literal) {
            pattern += literalPattern(piece.text, dateSeparator, timeSeparator);
            continue;
        }
        const std::string field = piece.text.toStdString();
        // Two fields of one letter side by side would read as one longer field ("d" then "dddd" is not
        // "ddddd"): an empty quoted text keeps them apart.
        if (!pattern.empty() && (pattern.back() | 0x20) == (field.front() | 0x20)) pattern += "\"\"";
        pattern += field;
    }
    return pattern;
}

DateFormatLocale dateFormatLocaleFrom(const QLocale& locale) {
    DateFormatLocale result;
    for (int month = 1; month <= 12; ++month) {
        result.shortMonthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::ShortFormat).toStdString();
        result.longMonthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::LongFormat).toStdString();
    }
    // Qt counts days from Monday (1) to Sunday (7); the patterns from Sunday.
    for (int day = 1; day <= 7; ++day) {
        const std::size_t index = static_cast<std::size_t>(day % 7);
        result.shortDayNames[index] = locale.dayName(day, QLocale::ShortFormat).toStdString();
        result.longDayNames[index] = locale.dayName(day, QLocale::LongFormat).toStdString();
    }

    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    result.dateSeparator = separatorOf(shortDate, "dMy", "/");
    result.timeSeparator = separatorOf(shortTime, "hH", ":");
    const auto pattern = [&](const QString& format) {
        return patternFromQtFormat(format, result.dateSeparator, result.timeSeparator);
    };
    result.shortDateFormat = pattern(shortDate);
    result.longDateFormat = pattern(locale.dateFormat(QLocale::LongFormat));
    result.shortTimeFormat = pattern(shortTime);
    result.longTimeFormat = pattern(longTime);

    // The am/pm texts as the time forms show them: Qt writes "AP" in upper case and "ap" in lower case.
    Case markerCase = Case::AsIs;
    splitQtFormat(longTime, &markerCase);
    if (markerCase == Case::AsIs) splitQtFormat(shortTime, &markerCase);
    QString am = locale.amText();
    QString pm = locale.pmText();
    if (markerCase == Case::Upper) {
        am = am.toUpper();
        pm = pm.toUpper();
    } else if (markerCase == Case::Lower) {
        am = am.toLower();
        pm = pm.toLower();
    }
    result.timeAmString = am.toStdString();
    result.timePmString = pm.toStdString();
    return result;
}

DateFormatLocale systemDateFormatLocale() { return dateFormatLocaleFrom(QLocale::system()); }

}  // namespace moraven
