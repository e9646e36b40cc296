#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/avi_headers.h"
#include "formats/fourcc.h"

// Appending little-endian fields to a byte vector, for the writers that build RIFF headers in memory.
namespace moraven::riff {

inline void appendU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void appendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void appendU64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    appendU32(out, static_cast<std::uint32_t>(value));
    appendU32(out, static_cast<std::uint32_t>(value >> 32));
}

inline void appendFourCC(std::vector<std::uint8_t>& out, FourCC code) { appendU32(out, code.value()); }

inline void appendZeros(std::vector<std::uint8_t>& out, std::size_t count) {
    out.insert(out.end(), count, 0);
}

inline void appendBytes(std::vector<std::uint8_t>& out, Bytes bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A chunk header: the code and the size of the data that follows (the pad byte after odd data not counted).
inline void appendChunkHeader(std::vector<std::uint8_t>& out, FourCC id, std::uint32_t size) {
    appendBytes(out, encodeChunkHeader({id, size}));
}

}  // namespace moraven::riff
