// Feeds arbitrary bytes to the DV sound reader and writer: as they come, tiled into whole PAL and NTSC
// frames, and as a frame whose source pack takes its four bytes from the input (so that short inputs reach
// every rate, quantisation and count) with the rest of the input tiled over the audio blocks' samples.
// Nothing may crash or read outside the buffer; a format read must be one DV defines and its vectors must be
// as long as it says; sound written must read back exactly and change nothing outside the audio blocks.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "formats/dv_audio.h"
#include "formats/dvcodes.h"

namespace {

using moraven::DvAudioFormat;
using moraven::DvSampleQuantization;
using moraven::DvSystem;

constexpr std::size_t kBlockBytes = 80;

std::size_t audioBlockAt(int sequence, int block) {
    return static_cast<std::size_t>(sequence) * moraven::kDvSequenceBytes +
           (6 + static_cast<std::size_t>(block) * 16) * kBlockBytes;
}

void check(bool condition) {
    if (!condition) std::abort();
}

// The format must be one DV defines, and the samples as many as it announces.
void readAndCheck(std::span<const std::uint8_t> frame) {
    const auto format = moraven::DvReadAudioFormat(frame);
    const auto sound = moraven::DvReadAudio(frame);
    check(format.has_value() == sound.has_value());
    if (!format) return;
    check(sound->format == *format);
    check(format->sampleRate == 48000 || format->sampleRate == 44100 || format->sampleRate == 32000);
    check(format->system == moraven::DvSystemOf(frame) && format->system != DvSystem::Unknown);
    check(format->samplesInFrame >= 1053 && format->samplesInFrame <= 1944);
    check(format->quantization == DvSampleQuantization::Linear16 || format->sampleRate == 32000);
    check(format->stereoPairs == 1 ||
          (format->stereoPairs == 2 && format->quantization == DvSampleQuantization::NonLinear12));
    const std::size_t values = 2 * static_cast<std::size_t>(format->samplesInFrame);
    check(sound->firstPair.size() == values);
    check(sound->secondPair.size() == (format->stereoPairs == 2 ? values : 0));
}

// Writes PCM taken from the input with the count of frame `index` and checks that it reads back.
void writeAndCheck(std::vector<std::uint8_t> frame, DvSystem system, std::span<const std::uint8_t> input) {
    if (input.empty()) return;
    const std::array<std::uint32_t, 3> rates{48000, 44100, 32000};
    const std::uint32_t rate = rates[input[0] % rates.size()];
    const std::uint32_t count = moraven::DvAudioSamplesPerFrame(system, rate, input[input.size() - 1]);
    std::vector<std::int16_t> pcm(2 * static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        const std::uint8_t low = input[(2 * i) % input.size()];
        const std::uint8_t high = input[(2 * i + 1) % input.size()];
        pcm[i] = static_cast<std::int16_t>(low | (high << 8));
    }
    const auto before = frame;
    check(moraven::DvWriteAudio(frame, system, rate, pcm, count));
    // Only the audio blocks may have changed (their pack slots and samples).
    for (std::size_t at = 0; at < frame.size(); at += kBlockBytes) {
        const std::size_t inSequence = (at % moraven::kDvSequenceBytes) / kBlockBytes;
        const bool audio = inSequence >= 6 && (inSequence - 6) % 16 == 0;
        if (!audio) check(std::memcmp(frame.data() + at, before.data() + at, kBlockBytes) == 0);
        if (audio) check(std::memcmp(frame.data() + at, before.data() + at, 3) == 0);
    }
    // The header's system byte is the frame's, so only a frame whose header names `system` reads back.
    if (moraven::DvSystemOf(frame) != system) return;
    const auto sound = moraven::DvReadAudio(frame);
    check(sound.has_value());
    check(sound->format == (DvAudioFormat{rate, DvSampleQuantization::Linear16, system, count, true, 1}));
    for (auto& v : pcm)
        v = std::max(v, static_cast<std::int16_t>(std::numeric_limits<std::int16_t>::min() + 1));
    check(sound->firstPair == pcm);
}

std::vector<std::uint8_t> tiled(std::span<const std::uint8_t> input, std::size_t size) {
    std::vector<std::uint8_t> frame(size, 0);
    if (input.empty()) return frame;
    for (std::size_t pos = 0; pos < size; pos += input.size()) {
        std::memcpy(frame.data() + pos, input.data(), std::min(input.size(), size - pos));
    }
    return frame;
}

// A frame of `system` with the header's system byte, one source pack whose bytes come from the input's first
// four, and the rest of the input tiled over every audio block's samples.
std::vector<std::uint8_t> planted(std::span<const std::uint8_t> input, DvSystem system) {
    const bool pal = system == DvSystem::Pal625;
    std::vector<std::uint8_t> frame(pal ? moraven::kDvPalFrameBytes : moraven::kDvNtscFrameBytes, 0xFF);
    frame[3] = pal ? 0xBF : 0x3F;
    auto at = [&](std::size_t i) -> std::uint8_t { return i < input.size() ? input[i] : 0; };
    const std::size_t pack = audioBlockAt(0, 3) + 3;
    frame[pack] = 0x50;
    for (std::size_t i = 0; i < 4; ++i) frame[pack + 1 + i] = at(i);
    const auto samples = input.size() > 4 ? input.subspan(4) : std::span<const std::uint8_t>{};
    std::size_t next = 0;
    for (int s = 0; s < (pal ? 12 : 10) && !samples.empty(); ++s) {
        for (int b = 0; b < 9; ++b) {
            for (std::size_t i = 8; i < kBlockBytes; ++i)
                frame[audioBlockAt(s, b) + i] = samples[next++ % samples.size()];
        }
    }
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    readAndCheck(input);
    // Cut or padded to the sizes around a frame's.
    for (const std::size_t frameSize : {moraven::kDvPalFrameBytes, moraven::kDvNtscFrameBytes}) {
        std::vector<std::uint8_t> cut(input.begin(),
                                      input.begin() + static_cast<std::ptrdiff_t>(std::min(size, frameSize)));
        cut.resize(frameSize, 0);
        readAndCheck(cut);
        const auto frame = tiled(input, frameSize);
        readAndCheck(frame);
    }
    for (const DvSystem system : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        const auto frame = planted(input, system);
        readAndCheck(frame);
        writeAndCheck(frame, system, input);
        // The same frame one byte short of its system gives nothing.
        std::vector<std::uint8_t> shorter(frame.begin(), frame.end() - 1);
        check(!moraven::DvReadAudio(shorter).has_value());
    }
    return 0;
}
