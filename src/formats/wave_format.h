#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/byte_order.h"

// The wave-format header (WAVEFORMAT, WAVEFORMATEX) that describes a sound stream in an AVI "strf" chunk and
// in a WAV file's "fmt " chunk: format tag, channels, sampling rate, byte rate, block size, bits per sample
// and any format-specific bytes after it. This is the one decoder and encoder of the layout: a MediaType's
// wave view, the AVI and WAV writers and the RIFF report all go through it.
namespace moraven {

inline constexpr std::uint16_t kWaveFormatPcm = 1;

namespace wavefmt {
inline constexpr std::size_t kFormatTag = 0;
inline constexpr std::size_t kChannels = 2;
inline constexpr std::size_t kSamplesPerSecond = 4;
inline constexpr std::size_t kAverageBytesPerSecond = 8;
inline constexpr std::size_t kBlockAlign = 12;
inline constexpr std::size_t kBitsPerSample = 14;
inline constexpr std::size_t kPcmBytes = 16;  // WAVEFORMAT with bits per sample (PCMWAVEFORMAT)
inline constexpr std::size_t kExtraSize = 16;  // cbSize of WAVEFORMATEX
inline constexpr std::size_t kExBytes = 18;
static_assert(kBitsPerSample + 2 == kPcmBytes && kExtraSize + 2 == kExBytes);
}  // namespace wavefmt

struct WaveFormat {
    std::uint16_t formatTag = kWaveFormatPcm;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSecond = 48000;
    std::uint32_t averageBytesPerSecond = 192000;
    std::uint16_t blockAlign = 4;  // bytes of one sample of every channel
    std::uint16_t bitsPerSample = 16;
    // cbSize as decoded (0 for a 16-byte header); it may announce more bytes than the block holds. The
    // encoder writes extra.size() in its place.
    std::uint16_t extraSize = 0;
    std::vector<std::uint8_t> extra;  // the bytes after the 18-byte header that the block holds, at most cbSize

    // Integer PCM: block size channels × bytes per sample, byte rate rate × block size.
    static WaveFormat pcm(std::uint16_t channels, std::uint32_t samplesPerSecond, std::uint16_t bitsPerSample);

    // The header at the start of `block`: absent when it has fewer than 16 bytes. Reads nothing past it.
    static std::optional<WaveFormat> decode(Bytes block);

    // Integer PCM of 16 bits, the sound the DV and conversion stages exchange.
    bool isPcm16() const { return formatTag == kWaveFormatPcm && bitsPerSample == 16; }

    // Usable for writing: a block size and a byte rate that time can be counted in.
    bool isValid() const {
        return blockAlign != 0 && averageBytesPerSecond != 0 && channels != 0 && extra.size() <= 0xFFFF;
    }

    // The header as stored: 18 bytes and the extra bytes (WAVEFORMATEX with cbSize), or, when
    // `withExtraSize` is false and there are no extra bytes, the 16-byte PCM form without cbSize.
    std::vector<std::uint8_t> bytes(bool withExtraSize) const;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

}  // namespace moraven
