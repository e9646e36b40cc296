#include "window/utf8_case.h"

namespace moraven {

namespace {

constexpr bool inRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

// The capitals of a block whose capital and small letters alternate, the capital at the even or odd place.
constexpr bool alternatingCapital(char32_t c, char32_t first, char32_t last, bool capitalIsEven) {
    return inRange(c, first, last) && ((c % 2 == 0) == capitalIsEven);
}

// The simple lower-case mapping of the letters of two-byte UTF-8 (U+0080 to U+07FF) in the scripts named in
// the header; every other character maps to itself.
char32_t lowerTwoByteLetter(char32_t c) {
    // Latin-1 Supplement: À..Þ, but not the multiplication sign.
    if (inRange(c, 0xC0, 0xDE) && c != 0xD7) return c + 0x20;
    // Latin Extended-A.
    if (c == 0x130) return U'i';  // İ: the dotted capital I lowers to plain i
    if (c == 0x178) return 0xFF;  // Ÿ
    if (alternatingCapital(c, 0x100, 0x12F, true) || alternatingCapital(c, 0x132, 0x137, true) ||
        alternatingCapital(c, 0x139, 0x148, false) || alternatingCapital(c, 0x14A, 0x177, true) ||
        alternatingCapital(c, 0x179, 0x17E, false)) {
        return c + 1;
    }
    // Greek, with its accented capitals.
    if (c == 0x386) return 0x3AC;
    if (inRange(c, 0x388, 0x38A)) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (inRange(c, 0x38E, 0x38F)) return c + 0x3F;
    if (inRange(c, 0x391, 0x3A1) || inRange(c, 0x3A3, 0x3AB)) return c + 0x20;
    if (c == 0x3CF) return 0x3D7;
    if (alternatingCapital(c, 0x3D8, 0x3EF, true)) return c + 1;
    // Cyrillic and its Supplement.
    if (inRange(c, 0x400, 0x40F)) return c + 0x50;
    if (inRange(c, 0x410, 0x42F)) return c + 0x20;
    if (alternatingCapital(c, 0x460, 0x481, true) || alternatingCapital(c, 0x48A, 0x4BF, true)) return c + 1;
    if (c == 0x4C0) return 0x4CF;
    if (alternatingCapital(c, 0x4C1, 0x4CE, false)) return c + 1;
    if (alternatingCapital(c, 0x4D0, 0x52F, true)) return c + 1;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        // Every mapping above stays below U+0800.
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::string lowerUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 'A' && b <= 'Z') {
            out += static_cast<char>(b - 'A' + 'a');
            continue;
        }
        // Only two-byte sequences hold letters that change. A lead byte C2..DF and one continuation byte form
        // a well-formed sequence (C0 and C1 would be overlong); a continuation byte never starts a longer
        // sequence, so the bytes of three- and four-byte sequences are copied one by one unchanged, as are
        // stray and truncated bytes.
        if (b >= 0xC2 && b <= 0xDF && text.size() - i >= 2 &&
            isContinuation(static_cast<unsigned char>(text[i + 1]))) {
            const char32_t c = (static_cast<char32_t>(b & 0x1F) << 6) |
                               static_cast<char32_t>(static_cast<unsigned char>(text[i + 1]) & 0x3F);
            appendUtf8(out, lowerTwoByteLetter(c));
            ++i;
            continue;
        }
        out += static_cast<char>(b);
    }
    return out;
}

}  // namespace moraven
