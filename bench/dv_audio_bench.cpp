// The sound of one PAL DV frame (48 kHz, 1920 samples per channel): DvReadAudio de-shuffling it out of the
// 108 audio blocks, and DvWriteAudio shuffling it in with its packs. A frame lasts 40 ms; the figures show
// how small a share of that the sound takes. Figures: frames/s and sample frames/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "formats/dv_audio.h"
#include "support/dv_frame_builder.h"

namespace {

using moraven::DvSystem;

std::vector<std::int16_t> tone() {
    std::vector<std::int16_t> pcm(2 * 1920);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>((i * 977) % 65536 - 32767);
    return pcm;
}

void BM_ReadPalFrame(benchmark::State& state) {
    auto frame = moraven::test::DvFrameBuilder(DvSystem::Pal625).bytes();
    if (!moraven::DvWriteAudio(frame, DvSystem::Pal625, 48000, tone(), 1920))
        state.SkipWithError("write failed");
    for (auto _ : state) {
        auto sound = moraven::DvReadAudio(frame);
        benchmark::DoNotOptimize(sound);
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1920, benchmark::Counter::kIsRate);
}

void BM_WritePalFrame(benchmark::State& state) {
    auto frame = moraven::test::DvFrameBuilder(DvSystem::Pal625).bytes();
    const auto pcm = tone();
    for (auto _ : state) {
        const bool written = moraven::DvWriteAudio(frame, DvSystem::Pal625, 48000, pcm, 1920);
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["samples/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1920, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_ReadPalFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WritePalFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
