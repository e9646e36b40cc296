#pragma once

#include <cstdint>
#include <vector>

// The wave-format header (WAVEFORMATEX) that describes a sound stream in an AVI "strf" chunk and in a WAV
// file's "fmt " chunk: format tag, channels, sampling rate, byte rate, block size, bits per sample and any
// format-specific bytes after it.
namespace moraven {

inline constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
    std::uint16_t formatTag = kWaveFormatPcm;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSecond = 48000;
    std::uint32_t averageBytesPerSecond = 192000;
    std::uint16_t blockAlign = 4;  // bytes of one sample of every channel
    std::uint16_t bitsPerSample = 16;
    std::vector<std::uint8_t> extra;  // the cbSize bytes after the 18-byte header (none for PCM)

    // Integer PCM: block size channels × bytes per sample, byte rate rate × block size.
    static WaveFormat pcm(std::uint16_t channels, std::uint32_t samplesPerSecond,
                          std::uint16_t bitsPerSample) {
        WaveFormat format;
        format.channels = channels;
        format.samplesPerSecond = samplesPerSecond;
        format.bitsPerSample = bitsPerSample;
        format.blockAlign = static_cast<std::uint16_t>(channels * ((bitsPerSample + 7) / 8));
        format.averageBytesPerSecond = samplesPerSecond * format.blockAlign;
        return format;
    }

    // Usable for writing: a block size and a byte rate that time can be counted in.
    bool isValid() const {
        return blockAlign != 0 && averageBytesPerSecond != 0 && channels != 0 && extra.size() <= 0xFFFF;
    }

    // The header as stored: 18 bytes and the extra bytes (WAVEFORMATEX with cbSize), or, when
    // `withExtraSize` is false and there are no extra bytes, the 16-byte PCM form without cbSize.
    std::vector<std::uint8_t> bytes(bool withExtraSize) const {
        std::vector<std::uint8_t> out;
        auto put16 = [&out](std::uint32_t v) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        };
        auto put32 = [&put16](std::uint32_t v) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        };
        put16(formatTag);
        put16(channels);
        put32(samplesPerSecond);
        put32(averageBytesPerSecond);
        put16(blockAlign);
        put16(bitsPerSample);
        if (withExtraSize || !extra.empty()) {
            put16(static_cast<std::uint16_t>(extra.size()));
            out.insert(out.end(), extra.begin(), extra.end());
        }
        return out;
    }
};

}  // namespace moraven
