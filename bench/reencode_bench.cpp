// The conversions that decode and encode pictures, as a user runs them, against ffmpeg doing the same work:
//   moraven +hi clip.avi      the datecode burnt in (writes clip_in.avi)
//     ffmpeg -i clip.avi -vf drawtext=... -c:v dvvideo -c:a copy out.avi
//   moraven +hn clip.avi      PAL to NTSC (writes clip_ntsc.avi)
//     ffmpeg -i clip.avi -vf scale=720:480,fps=30000/1001,format=yuv411p -c:v dvvideo -c:a copy out.avi
//   moraven +hi clip.avi      with 2, 4 and 8 codec threads (MORAVEN_CODEC_THREADS), every output frame's
//                             header (packs included) compared with its source frame's
// The source is a PAL DV type 2 file made by ffmpeg (a moving test picture, 48 kHz stereo, a recording date and
// timecode in every frame) of MORAVEN_BENCH_DV_MINUTES minutes (10 by default). Each pair runs in turn; at the
// end the medians and the ratios (ffmpeg's time over ours: above 1, we are faster) are printed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "support/external_tools.h"
#include "support/scoped_environment.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

namespace {

using moraven::bench::median;
using moraven::bench::timedRun;

constexpr const char* kFont = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf";

class Recording {
public:
    static Recording& get() {
        static Recording recording;
        return recording;
    }
    std::string source, ffmpegOutput;
    moraven::test::TempDir config;

private:
    Recording() {
        moraven::test::DvClipOptions options;
        options.frames = moraven::bench::dvRecordingMinutes() * 60 * 25;
        source = moraven::test::makeDvAviWithFfmpeg(m_dir.path().string(), "clip.avi", options);
        ffmpegOutput = m_dir.file("ffmpeg.avi");
    }
    moraven::test::TempDir m_dir;
};

std::map<std::string, std::vector<double>>& timings() {
    static std::map<std::string, std::vector<double>> all;
    return all;
}

// Runs ours and ffmpeg's command in turn, `state`'s iterations times each; each output is removed first.
void againstFfmpeg(benchmark::State& state, const std::string& name, const std::string& letter,
                   const std::string& ourOutput, const std::vector<std::string>& ffmpegArgs) {
    moraven::test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", Recording::get().config.path().string());
    for (auto _ : state) {
        std::filesystem::remove(ourOutput);
        std::filesystem::remove(Recording::get().ffmpegOutput);
        const double ours = timedRun({MORAVEN_EXECUTABLE, "+h" + letter, Recording::get().source});
        const double theirs = timedRun(ffmpegArgs);
        if (ours < 0 || theirs < 0 || !std::filesystem::exists(ourOutput)) {
            state.SkipWithError((name + " failed").c_str());
            return;
        }
        state.SetIterationTime(ours);
        timings()[name].push_back(ours);
        timings()["ffmpeg " + name].push_back(theirs);
    }
}

std::string siblingOf(const std::string& source, const std::string& suffix) {
    std::filesystem::path path(source);
    return (path.parent_path() / (path.stem().string() + suffix)).string();
}

void BM_BurnInDatecode(benchmark::State& state) {
    const std::string& source = Recording::get().source;
    againstFfmpeg(state, "datecode burnt in", "i", siblingOf(source, "_in.avi"),
                  {"ffmpeg", "-v", "error", "-y", "-i", source, "-vf",
                   std::string("drawtext=fontfile=") + kFont +
                       ":text='%{pts\\:gmtime\\:1089896709\\:%d/%m/%Y %H\\\\\\:%M\\\\\\:%S}':fontcolor=white:"
                       "fontsize=28:x=w-tw-20:y=h-th-20",
                   "-c:v", "dvvideo", "-c:a", "copy", Recording::get().ffmpegOutput});
}

void BM_PalToNtsc(benchmark::State& state) {
    const std::string& source = Recording::get().source;
    againstFfmpeg(state, "PAL -> NTSC", "n", siblingOf(source, "_ntsc.avi"),
                  {"ffmpeg", "-v", "error", "-y", "-i", source, "-vf", "scale=720:480,fps=30000/1001,format=yuv411p",
                   "-c:v", "dvvideo", "-c:a", "copy", Recording::get().ffmpegOutput});
}

// The burn-in at a fixed number of codec threads; the run fails when any frame of the output does not carry
// its own source frame's header, subcode and VAUX (the first 480 bytes: recording date, timecode, shape).
void BM_BurnInByThreads(benchmark::State& state) {
    const std::string threads = std::to_string(state.range(0));
    const std::string& source = Recording::get().source;
    const std::string output = siblingOf(source, "_in.avi");
    moraven::test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", Recording::get().config.path().string());
    environment.set("MORAVEN_CODEC_THREADS", threads);
    for (auto _ : state) {
        std::filesystem::remove(output);
        const double seconds = timedRun({MORAVEN_EXECUTABLE, "+hi", source});
        if (seconds < 0) {
            state.SkipWithError("the burn-in failed");
            return;
        }
        state.SetIterationTime(seconds);
        timings()["burnt in, " + threads + " threads"].push_back(seconds);
    }
    const auto before = moraven::test::samplesOfFirstStream(source, moraven::AviStreamKind::Video);
    const auto after = moraven::test::samplesOfFirstStream(output, moraven::AviStreamKind::Video);
    std::size_t wrong = before.size() == after.size() ? 0 : std::max(before.size(), after.size());
    for (std::size_t k = 0; k < std::min(before.size(), after.size()); ++k) {
        if (before[k].size() < 480 || after[k].size() < 480 ||
            !std::equal(before[k].begin(), before[k].begin() + 480, after[k].begin())) {
            ++wrong;
        }
    }
    state.counters["frames"] = static_cast<double>(after.size());
    state.counters["wrong headers"] = static_cast<double>(wrong);
    if (wrong != 0) state.SkipWithError("frames carry another frame's header");
}

BENCHMARK(BM_BurnInDatecode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PalToNtsc)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_BurnInByThreads)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string name : {"datecode burnt in", "PAL -> NTSC"}) {
        const auto ours = timings().find(name);
        const auto ffmpeg = timings().find("ffmpeg " + name);
        if (ours == timings().end() || ffmpeg == timings().end()) continue;
        std::printf("%-18s median %.2f s, ffmpeg %.2f s, ffmpeg / ours %.2f\n", name.c_str(), median(ours->second),
                    median(ffmpeg->second), median(ffmpeg->second) / median(ours->second));
    }
    for (const auto& [name, seconds] : timings()) {
        if (name.rfind("burnt in, ", 0) == 0) std::printf("%-22s median %.2f s\n", name.c_str(), median(seconds));
    }
    return 0;
}
