// The stream-copy conversions as a user runs them, against copying the same file with cp:
//   moraven +h1 clip.avi          DV type 2 to type 1 (writes clip_type1.avi)
//   moraven +h2 clip_type1.avi    DV type 1 to type 2 (writes clip_type1_type2.avi)
//   moraven +hw clip.avi          the sound to WAV (writes clip.wav)
//   cp clip.avi copy.avi          the yardstick: every byte read and written once
// The source is a PAL DV type 2 file with 48 kHz stereo sound of MORAVEN_BENCH_DV_MINUTES minutes (10 by
// default: about 2.2 GB; the OpenDML forms past 1 GiB included). Each command runs in turn with cp, its
// output replaced at every run; at the end the medians and the ratios to cp are printed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace {

using moraven::bench::median;
using moraven::bench::timedRun;


class Recording {
public:
    static Recording& get() {
        static Recording recording;
        return recording;
    }
    std::string type2, type1, copy;
    moraven::test::TempDir config;

private:
    Recording() {
        moraven::test::DvFrameBuilder frame;
        frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(0, 0).audioSource(0);
        type2 = m_dir.file("clip.avi");
        type1 = m_dir.file("clip_type1.avi");
        copy = m_dir.file("copy.avi");
        const std::size_t frames = static_cast<std::size_t>(moraven::bench::dvRecordingMinutes()) * 60 * 25;
        moraven::test::writeDvAvi(type2, frames,
                                  [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); });
        moraven::test::ScopedEnvironment environment;
        environment.set("MORAVEN_CONFIG_HOME", config.path().string());
        timedRun({MORAVEN_EXECUTABLE, "+h1", type2});  // the type 1 source of the reverse conversion
    }
    moraven::test::TempDir m_dir;
};

std::map<std::string, std::vector<double>>& timings() {
    static std::map<std::string, std::vector<double>> all;
    return all;
}

// Runs `args` and cp of the source in turn, `state`'s iterations times each.
void againstCp(benchmark::State& state, const std::string& name, const std::vector<std::string>& args,
               const std::string& source) {
    moraven::test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", Recording::get().config.path().string());
    for (auto _ : state) {
        const double seconds = timedRun(args);
        const double cp = timedRun({"cp", source, Recording::get().copy});
        if (seconds < 0 || cp < 0) {
            state.SkipWithError((name + " failed").c_str());
            return;
        }
        state.SetIterationTime(seconds);
        timings()[name].push_back(seconds);
        timings()["cp of " + name].push_back(cp);
    }
}

void BM_Type2ToType1(benchmark::State& state) {
    againstCp(state, "type 2 -> type 1", {MORAVEN_EXECUTABLE, "+h1", Recording::get().type2}, Recording::get().type2);
}
void BM_Type1ToType2(benchmark::State& state) {
    againstCp(state, "type 1 -> type 2", {MORAVEN_EXECUTABLE, "+h2", Recording::get().type1}, Recording::get().type1);
}
void BM_SoundToWav(benchmark::State& state) {
    againstCp(state, "sound to WAV", {MORAVEN_EXECUTABLE, "+hw", Recording::get().type2}, Recording::get().type2);
}

BENCHMARK(BM_Type2ToType1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_Type1ToType2)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_SoundToWav)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string name : {"type 2 -> type 1", "type 1 -> type 2", "sound to WAV"}) {
        const auto ours = timings().find(name);
        const auto cp = timings().find("cp of " + name);
        if (ours == timings().end() || cp == timings().end()) continue;
        std::printf("%-18s median %.2f s, cp %.2f s, ratio %.2f\n", name.c_str(), median(ours->second),
                    median(cp->second), median(ours->second) / median(cp->second));
    }
    return 0;
}
