#include "formats/dv_audio.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>

#include "formats/byte_order.h"

namespace moraven {

namespace {

// Layout of one DIF sequence: blocks of 80 bytes, each starting with 3 id bytes. Blocks 0 to 5 are the
// header, subcode and VAUX blocks; then come 9 groups of one audio block and 15 video blocks.
constexpr std::size_t kBlockBytes = 80;
constexpr std::size_t kIdBytes = 3;
constexpr std::size_t kFirstAudioBlock = 6;
constexpr std::size_t kAudioBlockStride = 16;  // one audio block, then 15 video blocks
constexpr int kAudioBlocks = 9;                // audio blocks per sequence

// An audio block: id, one 5-byte AAUX pack, then 72 bytes of samples. 16-bit samples are stored big-endian,
// 36 to a block; 12-bit samples come in 3-byte groups of two (one per channel of the pair), 24 groups.
constexpr std::size_t kPackOffset = kIdBytes;
constexpr std::size_t kSampleOffset = kPackOffset + 5;
constexpr int kSamples16PerBlock = 36;
constexpr int kGroups12PerBlock = 24;
static_assert(kSampleOffset + 2 * kSamples16PerBlock == kBlockBytes);
static_assert(kSampleOffset + 3 * kGroups12PerBlock == kBlockBytes);

constexpr std::uint8_t kAudioSourceId = 0x50;
constexpr std::uint8_t kAudioControlId = 0x51;

constexpr std::uint16_t kError16 = 0x8000;  // a 16-bit sample the recorder marked as lost
constexpr std::uint16_t kError12 = 0x800;   // the same for a 12-bit code

// The frame's shape for one system: `halfSequences` sequences carry each half of the sound.
struct SystemShape {
    std::size_t frameBytes = 0;
    int halfSequences = 0;
};

std::optional<SystemShape> shapeOf(DvSystem system) {
    switch (system) {
        case DvSystem::Pal625:
            return SystemShape{kDvPalFrameBytes, 6};
        case DvSystem::Ntsc525:
            return SystemShape{kDvNtscFrameBytes, 5};
        case DvSystem::Unknown:
            break;
    }
    return std::nullopt;
}

// The sampling frequencies DV defines, in the order of their SMP code, with the smallest and largest number
// of samples per channel a frame may carry (the pack stores the count as an offset from the smallest).
struct RateLimits {
    std::uint32_t rate;
    std::uint32_t minPal, maxPal;
    std::uint32_t minNtsc, maxNtsc;
};
constexpr std::array<RateLimits, 3> kRates{{
    {48000, 1896, 1944, 1580, 1620},
    {44100, 1742, 1786, 1452, 1489},
    {32000, 1264, 1296, 1053, 1080},
}};

std::optional<std::uint8_t> rateCode(std::uint32_t sampleRate) {
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        if (kRates[i].rate == sampleRate) return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
}

std::uint32_t minSamples(const RateLimits& limits, DvSystem system) {
    return system == DvSystem::Pal625 ? limits.minPal : limits.minNtsc;
}
std::uint32_t maxSamples(const RateLimits& limits, DvSystem system) {
    return system == DvSystem::Pal625 ? limits.maxPal : limits.maxNtsc;
}

std::size_t audioBlockOffset(int sequence, int block) {
    return static_cast<std::size_t>(sequence) * kDvSequenceBytes +
           (kFirstAudioBlock + static_cast<std::size_t>(block) * kAudioBlockStride) * kBlockBytes;
}

// The pack slots of the audio blocks hold the AAUX packs in a fixed order that alternates with the sequence:
// even sequences carry the source pack in audio block 3 and the source-control pack in block 4, odd ones in
// blocks 0 and 1.
int sourcePackBlock(int sequence) { return sequence % 2 == 0 ? 3 : 0; }

// Which sample of its channel (0 = the frame's first) the `index`th sample of audio block `block` in
// sequence `sequence` of its half holds. The shuffle spreads neighbouring samples over different sequences
// and blocks so that a lost block costs isolated samples: within a half of S sequences, block groups of
// three start 5 samples back per group, sequences step by 3, blocks of a group by 3S, and the samples of
// one block lie 9S apart. The same position serves both channels and both halves.
std::uint32_t samplePosition(int halfSequences, int sequence, int block, int index) {
    const int width = 3 * halfSequences;
    const int start = (3 * sequence + width - 5 * (block / 3)) % width;
    return static_cast<std::uint32_t>(start + width * (block % 3) + 3 * width * index);
}

// The 12-bit curve for codes 0..2047: linear up to 511, then segments of 256 codes each doubling the step.
std::int32_t expandPositive(std::int32_t code) {
    const std::int32_t segment = code >> 8;
    if (segment < 2) return code;
    const std::int32_t shift = segment - 1;
    return (code - 256 * shift) << shift;
}

std::int32_t compressPositive(std::int32_t value) {
    if (value < 512) return value;
    const int shift = std::bit_width(static_cast<std::uint32_t>(value)) - 9;
    return (value >> shift) + 256 * shift;
}

std::int16_t sample12(std::uint16_t code) { return code == kError12 ? 0 : DvExpand12(code); }

std::optional<DvAudioFormat> decodeSourcePack(Bytes pack, DvSystem system) {
    const std::uint8_t pc1 = u8(pack, 1);
    const std::uint8_t pc2 = u8(pack, 2);
    const std::uint8_t pc3 = u8(pack, 3);
    const std::uint8_t pc4 = u8(pack, 4);

    const std::uint8_t smp = (pc4 >> 3) & 7;
    if (smp >= kRates.size()) return std::nullopt;
    const RateLimits& limits = kRates[smp];

    DvAudioFormat format;
    format.sampleRate = limits.rate;
    format.system = system;
    switch (pc4 & 7) {
        case 0:
            format.quantization = DvSampleQuantization::Linear16;
            break;
        case 1:
            // The non-linear 12-bit mode exists at 32 kHz only.
            if (limits.rate != 32000) return std::nullopt;
            format.quantization = DvSampleQuantization::NonLinear12;
            break;
        default:
            return std::nullopt;
    }
    // The 50/60 flag must name the system the header block gave: the header decides the frame's shape, and a
    // pack that disagrees with it is not to be trusted for the sample count either.
    const bool fifty = (pc3 & 0x20) != 0;
    if (fifty != (system == DvSystem::Pal625)) return std::nullopt;

    format.samplesInFrame = minSamples(limits, system) + (pc1 & 0x3F);
    if (format.samplesInFrame > maxSamples(limits, system)) return std::nullopt;
    format.locked = (pc1 & 0x80) == 0;  // LF: 0 locked, 1 unlocked (the usual consumer recording)
    // CHN 1: two channels in each audio block, which with 12-bit sound means a second stereo pair in the
    // second half of the sequences.
    const std::uint8_t chn = (pc2 >> 5) & 3;
    format.stereoPairs = (format.quantization == DvSampleQuantization::NonLinear12 && chn == 1) ? 2 : 1;
    return format;
}

// The distance between the positions of two neighbouring samples of one block (see samplePosition).
std::uint32_t sampleStep(int halfSequences) { return static_cast<std::uint32_t>(9 * halfSequences); }

// `frame` holds at least the system's frame bytes (checked by the caller), so every audio block lies in it.
void read16(Bytes frame, int halfSequences, std::uint32_t samples, std::vector<std::int16_t>& out) {
    const std::uint32_t step = sampleStep(halfSequences);
    for (int half = 0; half < 2; ++half) {
        for (int s = 0; s < halfSequences; ++s) {
            for (int b = 0; b < kAudioBlocks; ++b) {
                const std::uint8_t* block =
                    frame.data() + audioBlockOffset(half * halfSequences + s, b) + kSampleOffset;
                // Positions grow along the block: past the frame's last sample, the rest of the block is unused.
                std::uint32_t t = samplePosition(halfSequences, s, b, 0);
                for (int k = 0; k < kSamples16PerBlock && t < samples; ++k, t += step) {
                    const auto raw = static_cast<std::uint16_t>((block[2 * k] << 8) | block[2 * k + 1]);
                    out[2 * static_cast<std::size_t>(t) + static_cast<std::size_t>(half)] =
                        raw == kError16 ? std::int16_t{0} : static_cast<std::int16_t>(raw);
                }
            }
        }
    }
}

// One half of the sequences holds one stereo pair: each 3-byte group carries the high 8 bits of both
// channels' codes, then their low 4 bits (left in the high nibble).
void read12(Bytes frame, int halfSequences, int half, std::uint32_t samples, std::vector<std::int16_t>& out) {
    for (int s = 0; s < halfSequences; ++s) {
        for (int b = 0; b < kAudioBlocks; ++b) {
            const std::size_t block = audioBlockOffset(half * halfSequences + s, b) + kSampleOffset;
            for (int k = 0; k < kGroups12PerBlock; ++k) {
                const std::uint32_t t = samplePosition(halfSequences, s, b, k);
                if (t >= samples) continue;
                const std::size_t at = block + 3 * static_cast<std::size_t>(k);
                const std::uint8_t low = u8(frame, at + 2);
                const auto left = static_cast<std::uint16_t>((u8(frame, at) << 4) | (low >> 4));
                const auto right = static_cast<std::uint16_t>((u8(frame, at + 1) << 4) | (low & 0x0F));
                out[2 * static_cast<std::size_t>(t)] = sample12(left);
                out[2 * static_cast<std::size_t>(t) + 1] = sample12(right);
            }
        }
    }
}

}  // namespace

std::optional<DvAudioFormat> DvReadAudioFormat(std::span<const std::uint8_t> frame) {
    const DvSystem system = DvSystemOf(frame);
    const auto shape = shapeOf(system);
    if (!shape || frame.size() < shape->frameBytes) return std::nullopt;
    // Cameras repeat the source pack in every sequence; the first copy found is taken, and a broken one
    // refuses the frame's sound rather than falling back to a later copy that may disagree with the samples.
    const int sequences = 2 * shape->halfSequences;
    for (int s = 0; s < sequences; ++s) {
        for (int b = 0; b < kAudioBlocks; ++b) {
            const std::size_t pack = audioBlockOffset(s, b) + kPackOffset;
            if (u8(frame, pack) == kAudioSourceId) return decodeSourcePack(frame.subspan(pack, 5), system);
        }
    }
    return std::nullopt;
}

std::optional<DvAudioSamples> DvReadAudio(std::span<const std::uint8_t> frame) {
    const auto format = DvReadAudioFormat(frame);
    if (!format) return std::nullopt;
    const int halfSequences = shapeOf(format->system)->halfSequences;

    DvAudioSamples result;
    result.format = *format;
    const std::size_t values = 2 * static_cast<std::size_t>(format->samplesInFrame);
    result.firstPair.assign(values, 0);
    if (format->quantization == DvSampleQuantization::Linear16) {
        read16(frame, halfSequences, format->samplesInFrame, result.firstPair);
    } else {
        read12(frame, halfSequences, 0, format->samplesInFrame, result.firstPair);
        if (format->stereoPairs == 2) {
            result.secondPair.assign(values, 0);
            read12(frame, halfSequences, 1, format->samplesInFrame, result.secondPair);
        }
    }
    return result;
}

std::uint32_t DvAudioSamplesPerFrame(DvSystem system, std::uint32_t sampleRate, std::uint64_t frameIndex) {
    const auto code = rateCode(sampleRate);
    if (!code) return 0;
    switch (system) {
        case DvSystem::Pal625:
            return sampleRate / 25;
        case DvSystem::Ntsc525: {
            if (sampleRate == 48000) {
                // The locked five-frame sequence: 8008 samples every 5 frames.
                constexpr std::array<std::uint32_t, 5> kPattern{1600, 1602, 1602, 1602, 1602};
                return kPattern[frameIndex % kPattern.size()];
            }
            // Frame n carries floor((n + 1) × R) − floor(n × R) samples, R = rate × 1001 / 30000, so the
            // running total never falls a whole sample behind the exact one nor gets ahead of it. The pattern
            // repeats after 30000 / gcd(rate × 1001, 30000) frames (100 at 44.1 kHz, 15 at 32 kHz), which
            // keeps the products small for any frame index.
            const std::uint64_t numerator = static_cast<std::uint64_t>(sampleRate) * 1001;
            const std::uint64_t denominator = 30000;
            const std::uint64_t period = denominator / std::gcd(numerator, denominator);
            const std::uint64_t n = frameIndex % period;
            return static_cast<std::uint32_t>((n + 1) * numerator / denominator -
                                              n * numerator / denominator);
        }
        case DvSystem::Unknown:
            break;
    }
    return 0;
}

namespace {

// The two AAUX packs of sequence `sequence` written into their slots (see sourcePackBlock).
void writeAudioPacks(std::span<std::uint8_t> frame, int sequence, const std::array<std::uint8_t, 5>& source) {
    // Source-control pack as consumer recorders write it: no copy restriction, source and compression not
    // stated, not a recording start or end, original recording, forward at normal speed, no genre.
    constexpr std::array<std::uint8_t, 5> kControl{kAudioControlId, 0x3F, 0xCF, 0xA0, 0xFF};
    const int sourceBlock = sourcePackBlock(sequence);
    const std::size_t sourceAt = audioBlockOffset(sequence, sourceBlock) + kPackOffset;
    const std::size_t controlAt = audioBlockOffset(sequence, sourceBlock + 1) + kPackOffset;
    std::copy(source.begin(), source.end(), frame.begin() + static_cast<std::ptrdiff_t>(sourceAt));
    std::copy(kControl.begin(), kControl.end(), frame.begin() + static_cast<std::ptrdiff_t>(controlAt));
}

// Checks shared by both writers: the system's shape, the rate's limits and the sample count; the lowest
// count of the rate, or nothing when the frame cannot take the sound.
std::optional<std::uint32_t> leastSamples(std::span<const std::uint8_t> frame, DvSystem system,
                                          std::uint32_t sampleRate, std::uint32_t samplesInFrame) {
    const auto shape = shapeOf(system);
    const auto code = rateCode(sampleRate);
    if (!shape || !code || frame.size() < shape->frameBytes) return std::nullopt;
    const RateLimits& limits = kRates[*code];
    const std::uint32_t least = minSamples(limits, system);
    if (samplesInFrame < least || samplesInFrame > maxSamples(limits, system)) return std::nullopt;
    return least;
}

}  // namespace

bool DvWriteAudio(std::span<std::uint8_t> frame, DvSystem system, std::uint32_t sampleRate,
                  std::span<const std::int16_t> samples, std::uint32_t samplesInFrame) {
    const auto least = leastSamples(frame, system, sampleRate, samplesInFrame);
    if (!least || samples.size() / 2 > samplesInFrame) return false;
    const std::uint8_t code = *rateCode(sampleRate);
    const bool pal = system == DvSystem::Pal625;
    const int half = shapeOf(system)->halfSequences;
    for (int seq = 0; seq < 2 * half; ++seq) {
        const int channel = seq < half ? 0 : 1;
        // Source pack: LF 0 (locked) and a reserved 1 over AF_SIZE; one channel per block, audio mode naming
        // the channel of this half; reserved and ML bits 1, the 50/60 flag, STYPE 0 (two channels); emphasis
        // off, the rate code and QU 0 (16 bits).
        writeAudioPacks(frame, seq,
                        {kAudioSourceId, static_cast<std::uint8_t>(0x40 | (samplesInFrame - *least)),
                         static_cast<std::uint8_t>(channel), static_cast<std::uint8_t>(0xC0 | (pal ? 0x20 : 0x00)),
                         static_cast<std::uint8_t>(0x80 | (code << 3))});
        for (int b = 0; b < kAudioBlocks; ++b) {
            const std::size_t block = audioBlockOffset(seq, b);
            std::size_t t = samplePosition(half, seq % half, b, 0);
            for (int k = 0; k < kSamples16PerBlock; ++k, t += sampleStep(half)) {
                const std::size_t index = 2 * t + static_cast<std::size_t>(channel);
                std::int16_t value = t < samplesInFrame && index < samples.size() ? samples[index] : 0;
                // 0x8000 marks a lost sample: the loudest negative value is stored one step quieter.
                if (value == std::numeric_limits<std::int16_t>::min()) ++value;
                const auto raw = static_cast<std::uint16_t>(value);
                const std::size_t at = block + kSampleOffset + 2 * static_cast<std::size_t>(k);
                frame[at] = static_cast<std::uint8_t>(raw >> 8);
                frame[at + 1] = static_cast<std::uint8_t>(raw);
            }
        }
    }
    return true;
}

bool DvWriteAudio12(std::span<std::uint8_t> frame, DvSystem system, std::span<const std::int16_t> firstPair,
                    std::span<const std::int16_t> secondPair, std::uint32_t samplesInFrame) {
    constexpr std::uint32_t kRate = 32000;
    const auto least = leastSamples(frame, system, kRate, samplesInFrame);
    if (!least || firstPair.size() / 2 > samplesInFrame || secondPair.size() / 2 > samplesInFrame) return false;
    const std::uint8_t code = *rateCode(kRate);
    const bool pal = system == DvSystem::Pal625;
    const int half = shapeOf(system)->halfSequences;
    for (int seq = 0; seq < 2 * half; ++seq) {
        const std::span<const std::int16_t> pair = seq < half ? firstPair : secondPair;
        // Source pack as for 16 bits, with CHN 1 (both channels of the pair in each block, audio mode 0:
        // stereo) and QU 1 (12-bit non-linear).
        writeAudioPacks(frame, seq,
                        {kAudioSourceId, static_cast<std::uint8_t>(0x40 | (samplesInFrame - *least)), 0x20,
                         static_cast<std::uint8_t>(0xC0 | (pal ? 0x20 : 0x00)),
                         static_cast<std::uint8_t>(0x80 | (code << 3) | 1)});
        for (int b = 0; b < kAudioBlocks; ++b) {
            const std::size_t block = audioBlockOffset(seq, b) + kSampleOffset;
            for (int k = 0; k < kGroups12PerBlock; ++k) {
                const std::size_t t = samplePosition(half, seq % half, b, k);
                const bool present = t < samplesInFrame && 2 * t + 1 < pair.size();
                const std::uint16_t left = DvCompress12(present ? pair[2 * t] : std::int16_t{0});
                const std::uint16_t right = DvCompress12(present ? pair[2 * t + 1] : std::int16_t{0});
                const std::size_t at = block + 3 * static_cast<std::size_t>(k);
                frame[at] = static_cast<std::uint8_t>(left >> 4);
                frame[at + 1] = static_cast<std::uint8_t>(right >> 4);
                frame[at + 2] = static_cast<std::uint8_t>(((left & 0x0F) << 4) | (right & 0x0F));
            }
        }
    }
    return true;
}

DvAudioPackWords DvReadAudioPackWords(std::span<const std::uint8_t> frame, DvSystem system) {
    DvAudioPackWords words;
    const std::optional<SystemShape> shape = shapeOf(system);
    if (!shape || frame.size() < shape->frameBytes) return words;
    // The word of the pack `id` in its slot of sequence `sequence`: the source pack's block, or the next.
    auto word = [&](int sequence, std::uint8_t id, int slot) -> std::uint32_t {
        const std::size_t at = audioBlockOffset(sequence, sourcePackBlock(sequence) + slot) + kPackOffset;
        return frame[at] == id ? u32le(frame, at + 1) : 0;
    };
    const int half = shape->halfSequences;
    words.source = word(0, kAudioSourceId, 0);
    words.control = word(0, kAudioControlId, 1);
    words.secondHalfSource = word(half, kAudioSourceId, 0);
    words.secondHalfControl = word(half, kAudioControlId, 1);
    return words;
}

std::int16_t DvExpand12(std::uint16_t code) {
    const std::int32_t bits = code & 0xFFF;
    const std::int32_t value = bits >= 0x800 ? bits - 0x1000 : bits;
    // Negative codes mirror the positive curve in one's complement: code −1 − c expands to −1 − expand(c).
    const std::int32_t expanded = value >= 0 ? expandPositive(value) : -1 - expandPositive(-1 - value);
    return static_cast<std::int16_t>(expanded);
}

std::uint16_t DvCompress12(std::int16_t sample) {
    const std::int32_t value = sample;
    std::int32_t code = value >= 0 ? compressPositive(value) : -1 - compressPositive(-1 - value);
    // −2048 (0x800) is the error marker, never a sample.
    code = std::max(code, -2047);
    return static_cast<std::uint16_t>(code & 0xFFF);
}

std::array<std::uint8_t, kDvInfoBytes> dvInfoOfFrame(Bytes frame, DvSystem system) {
    const DvAudioPackWords audio = DvReadAudioPackWords(frame, system);
    DvInfo info;
    info.aauxSrc = audio.source;
    info.aauxCtl = audio.control;
    info.aauxSrc1 = audio.secondHalfSource;
    info.aauxCtl1 = audio.secondHalfControl;
    info.vauxSrc = DvVauxPackWord(frame, kDvVauxSourcePackId);
    info.vauxCtl = DvVauxPackWord(frame, kDvVauxSourceControlPackId);
    return encodeDvInfo(info);
}

}  // namespace moraven
