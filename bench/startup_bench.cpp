// Whole-process start-up: what a user waits for when the program is started from a shell or a file manager.
//   moraven --version                  the bare start of the command-line program
//   moraven --info clip.avi            against mediainfo clip.avi, the tool a user would otherwise run
//   moraven +c a.avi b.avi             the window with two files, from the start until it has shown, taken
//                                      in its files and closed again (an upper bound of "shown"); offscreen
//                                      unless a display is set
// Each process is started with posix_spawn, its output thrown away; the figures are per start. At the end
// the medians and the ratio moraven --info : mediainfo are printed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace {

using moraven::bench::median;
using moraven::bench::timedRun;


class Clips {
public:
    static Clips& get() {
        static Clips clips;
        return clips;
    }
    std::string a, b;
    moraven::test::TempDir config;

private:
    Clips() {
        // Ten seconds of PAL DV type 2 with sound each, the size of a short camcorder scene.
        moraven::test::DvFrameBuilder frame;
        frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(0, 0);
        a = m_dir.file("a.avi");
        b = m_dir.file("b.avi");
        for (const std::string& path : {a, b}) {
            moraven::test::writeDvAvi(path, 250,
                                      [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); });
        }
    }
    moraven::test::TempDir m_dir;
};

std::map<std::string, std::vector<double>>& timings() {
    static std::map<std::string, std::vector<double>> all;
    return all;
}

void runEach(benchmark::State& state, const std::string& name, const std::vector<std::string>& args) {
    for (auto _ : state) {
        const double seconds = timedRun(args);
        if (seconds < 0) {
            state.SkipWithError((args.front() + " failed").c_str());
            return;
        }
        state.SetIterationTime(seconds);
        timings()[name].push_back(seconds);
    }
}

void BM_Version(benchmark::State& state) { runEach(state, "moraven --version", {MORAVEN_EXECUTABLE, "--version"}); }

void BM_Info(benchmark::State& state) {
    moraven::test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", Clips::get().config.path().string());
    runEach(state, "moraven --info", {MORAVEN_EXECUTABLE, "--info", Clips::get().a});
}

void BM_Mediainfo(benchmark::State& state) {
    if (!moraven::test::programAvailable("mediainfo")) {
        state.SkipWithError("mediainfo is not installed");
        return;
    }
    runEach(state, "mediainfo", {"mediainfo", Clips::get().a});
}

void BM_WindowWithTwoFiles(benchmark::State& state) {
    moraven::test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", Clips::get().config.path().string());
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') environment.set("QT_QPA_PLATFORM", "offscreen");
    runEach(state, "window with two files", {MORAVEN_EXECUTABLE, "+c", Clips::get().a, Clips::get().b});
}

BENCHMARK(BM_Version)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);
BENCHMARK(BM_Info)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);
BENCHMARK(BM_Mediainfo)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);
BENCHMARK(BM_WindowWithTwoFiles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, values] : timings()) std::printf("%-24s median %.1f ms\n", name.c_str(), median(values) * 1e3);
    const auto info = timings().find("moraven --info");
    const auto mediainfo = timings().find("mediainfo");
    if (info != timings().end() && mediainfo != timings().end()) {
        std::printf("moraven --info : mediainfo = %.2f\n", median(info->second) / median(mediainfo->second));
    }
    return 0;
}
