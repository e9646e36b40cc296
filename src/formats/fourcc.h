#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/byte_order.h"

namespace moraven {

// A four-character code ("RIFF", "dvsd", "iavs") as a 32-bit value whose bytes, lowest first, are the
// characters in file order: "dvsd" is 0x64737664.
class FourCC {
public:
    constexpr FourCC() = default;
    constexpr explicit FourCC(std::uint32_t value) : m_value(value) {}

    // From a literal of exactly four characters: FourCC::of("dvsd").
    static constexpr FourCC of(const char (&text)[5]) {
        return FourCC(static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) |
                      (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8) |
                      (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16) |
                      (static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24));
    }

    // The code stored at `offset` of `bytes` (zero when the span is too short).
    static FourCC at(Bytes bytes, std::size_t offset) { return FourCC(u32le(bytes, offset)); }

    constexpr std::uint32_t value() const { return m_value; }

    // The character at position 0..3, in file order.
    constexpr char charAt(int index) const { return static_cast<char>((m_value >> (8 * index)) & 0xFF); }

    // The four bytes as they stand, unprintable ones included.
    std::string text() const {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = charAt(i);
        return s;
    }

    // The code with ASCII letters folded to lower case ("DVSD" and "dvsd" compare equal after it).
    constexpr FourCC lowerCase() const {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            auto c = static_cast<std::uint32_t>((m_value >> (8 * i)) & 0xFF);
            if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
            v |= c << (8 * i);
        }
        return FourCC(v);
    }

    friend constexpr bool operator==(FourCC, FourCC) = default;

private:
    std::uint32_t m_value = 0;
};

}  // namespace moraven
