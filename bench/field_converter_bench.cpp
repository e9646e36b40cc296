// The field-by-field standards conversion of decoded DV pictures: PAL (720 x 576, 4:2:0, 25 frames/s) to NTSC
// (720 x 480, 4:1:1, 29.97 frames/s) and back. Each iteration pushes one source picture and pulls what it
// makes; the figure to read is the time per output picture (an NTSC frame lasts 33.4 ms, a PAL one 40 ms;
// the whole conversion must stay far below the decoder's and encoder's share). Figures: output pictures/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pipeline/video/field_standards_converter.h"

namespace {

using moraven::DvSystem;

void convertStream(benchmark::State& state, DvSystem from) {
    moraven::FieldStandardsConverter converter(from, false);
    std::vector<std::uint8_t> picture(moraven::pictureBytes(converter.inputFormat()));
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>((i * 131) >> 4);
    std::vector<std::uint8_t> out;
    moraven::ConvertedPictureInfo info;
    std::int64_t outputs = 0;
    for (auto _ : state) {
        converter.push(moraven::Bytes(picture), moraven::MediaTime(), nullptr);
        while (converter.pull(out, info)) {
            benchmark::DoNotOptimize(out.data());
            ++outputs;
        }
    }
    state.counters["outputs/s"] = benchmark::Counter(static_cast<double>(outputs), benchmark::Counter::kIsRate);
    state.counters["us/output"] = benchmark::Counter(
        static_cast<double>(outputs), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}

void BM_PalToNtsc(benchmark::State& state) { convertStream(state, DvSystem::Pal625); }
void BM_NtscToPal(benchmark::State& state) { convertStream(state, DvSystem::Ntsc525); }

BENCHMARK(BM_PalToNtsc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NtscToPal)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
