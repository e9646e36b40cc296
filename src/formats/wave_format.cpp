#include "formats/wave_format.h"

#include <algorithm>

namespace moraven {

WaveFormat WaveFormat::pcm(std::uint16_t channels, std::uint32_t samplesPerSecond, std::uint16_t bitsPerSample) {
    WaveFormat format;
    format.channels = channels;
    format.samplesPerSecond = samplesPerSecond;
    format.bitsPerSample = bitsPerSample;
    format.blockAlign = static_cast<std::uint16_t>(channels * ((bitsPerSample + 7) / 8));
    format.averageBytesPerSecond = samplesPerSecond * format.blockAlign;
    return format;
}

std::optional<WaveFormat> WaveFormat::decode(Bytes b) {
    if (b.size() < wavefmt::kPcmBytes) return std::nullopt;
    WaveFormat w;
    w.formatTag = u16le(b, wavefmt::kFormatTag);
    w.channels = u16le(b, wavefmt::kChannels);
    w.samplesPerSecond = u32le(b, wavefmt::kSamplesPerSecond);
    w.averageBytesPerSecond = u32le(b, wavefmt::kAverageBytesPerSecond);
    w.blockAlign = u16le(b, wavefmt::kBlockAlign);
    w.bitsPerSample = u16le(b, wavefmt::kBitsPerSample);
    w.extraSize = u16le(b, wavefmt::kExtraSize);  // 0 when the header has only 16 bytes
    if (b.size() > wavefmt::kExBytes) {
        const Bytes rest = b.subspan(wavefmt::kExBytes);
        const Bytes kept = rest.first(std::min<std::size_t>(rest.size(), w.extraSize));
        w.extra.assign(kept.begin(), kept.end());
    }
    return w;
}

std::vector<std::uint8_t> WaveFormat::bytes(bool withExtraSize) const {
    const bool ex = withExtraSize || !extra.empty();
    std::vector<std::uint8_t> out(ex ? wavefmt::kExBytes : wavefmt::kPcmBytes, 0);
    putU16le(out, wavefmt::kFormatTag, formatTag);
    putU16le(out, wavefmt::kChannels, channels);
    putU32le(out, wavefmt::kSamplesPerSecond, samplesPerSecond);
    putU32le(out, wavefmt::kAverageBytesPerSecond, averageBytesPerSecond);
    putU16le(out, wavefmt::kBlockAlign, blockAlign);
    putU16le(out, wavefmt::kBitsPerSample, bitsPerSample);
    if (ex) {
        putU16le(out, wavefmt::kExtraSize, static_cast<std::uint16_t>(extra.size()));
        out.insert(out.end(), extra.begin(), extra.end());
    }
    return out;
}

}  // namespace moraven
