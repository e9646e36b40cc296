#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Little-endian loads and stores on byte spans. Every access checks the span's size first: a read past the
// end yields 0 and a write past the end does nothing, so a caller that got its bounds wrong gets a wrong
// value, never an out-of-bounds access. Parsers check sizes themselves before they decode; this is the
// last line of defence, not the bounds check.
namespace moraven {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

inline bool fits(Bytes bytes, std::size_t offset, std::size_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}

inline std::uint8_t u8(Bytes bytes, std::size_t offset) {
    return fits(bytes, offset, 1) ? bytes[offset] : 0;
}

inline std::uint16_t u16le(Bytes bytes, std::size_t offset) {
    if (!fits(bytes, offset, 2)) return 0;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t u32le(Bytes bytes, std::size_t offset) {
    if (!fits(bytes, offset, 4)) return 0;
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t u64le(Bytes bytes, std::size_t offset) {
    if (!fits(bytes, offset, 8)) return 0;
    return static_cast<std::uint64_t>(u32le(bytes, offset)) |
           (static_cast<std::uint64_t>(u32le(bytes, offset + 4)) << 32);
}

inline std::int16_t s16le(Bytes bytes, std::size_t offset) {
    return static_cast<std::int16_t>(u16le(bytes, offset));
}

inline std::int32_t s32le(Bytes bytes, std::size_t offset) {
    return static_cast<std::int32_t>(u32le(bytes, offset));
}

inline void putU16le(MutableBytes bytes, std::size_t offset, std::uint16_t value) {
    if (!fits(bytes, offset, 2)) return;
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putU32le(MutableBytes bytes, std::size_t offset, std::uint32_t value) {
    if (!fits(bytes, offset, 4)) return;
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void putU64le(MutableBytes bytes, std::size_t offset, std::uint64_t value) {
    putU32le(bytes, offset, static_cast<std::uint32_t>(value));
    putU32le(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

inline std::array<std::uint8_t, 4> u32leBytes(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace moraven
