// The record of a file as the list makes it when a file is added (TAfficherFichier: the directory entry,
// the container reader, the list scan with the first frame's packs), over 1,000 small DV files written once
// into a temporary folder (half PAL type 2 with sound, half NTSC type 1, one frame each by default); against
// the obvious alternatives: running ffprobe once per file, and mediainfo once over all the files.
//
// Figures: files/s, and for the records the bytes read per file (from /proc/self/io); at the end the ratios
// records : ffprobe and records : mediainfo.
//
// ffprobe is started for the first MORAVEN_BENCH_FFPROBE_FILES files only (default 50), which is enough for
// a steady rate per file; set it to 1000 to run it over all of them. MORAVEN_BENCH_RECORD_FRAMES=n writes n
// frames per file (1 to 50).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/avi_fichier.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace {

constexpr std::size_t kFiles = 1000;

int environmentNumber(const char* name, int fallback, int low, int high) {
    const char* text = std::getenv(name);
    return std::clamp(text != nullptr ? std::atoi(text) : fallback, low, high);
}

class DvFiles {
public:
    static DvFiles& get() {
        static DvFiles files;
        return files;
    }

    const std::vector<std::string>& paths() const { return m_paths; }

private:
    DvFiles() {
        const auto frames =
            static_cast<std::size_t>(environmentNumber("MORAVEN_BENCH_RECORD_FRAMES", 1, 1, 50));
        std::fprintf(stderr, "writing %zu DV files of %zu frame(s) to %s ...\n", kFiles, frames,
                     m_dir.path().c_str());
        moraven::test::DvFrameBuilder pal(moraven::DvSystem::Pal625);
        pal.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(0, 0);
        moraven::test::DvFrameBuilder ntsc(moraven::DvSystem::Ntsc525);
        ntsc.recDate(0, 2006, 3, 12, 15, 46, 37)
            .timecode(0, 5, 6, 7, 8)
            .sourceControl(0, 2)
            .audioSource(0x00);
        for (std::size_t i = 0; i < kFiles; ++i) {
            const bool odd = i % 2 != 0;
            char name[32];
            std::snprintf(name, sizeof name, "clip%04zu.avi", i);
            m_paths.push_back(m_dir.file(name));
            moraven::test::DvAviOptions options;
            options.system = odd ? moraven::DvSystem::Ntsc525 : moraven::DvSystem::Pal625;
            options.type1 = odd;
            const auto& frame = odd ? ntsc.bytes() : pal.bytes();
            moraven::test::writeDvAvi(
                m_paths.back(), frames,
                [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame; }, options);
        }
    }

    moraven::test::TempDir m_dir;
    std::vector<std::string> m_paths;
};

// Seconds per file of each benchmark, for the ratios printed at the end.
std::map<std::string, double>& secondsPerFile() {
    static std::map<std::string, double> results;
    return results;
}

void report(benchmark::State& state, const std::string& name, double seconds, std::size_t files) {
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsRate);
    if (files > 0) secondsPerFile()[name] = seconds / static_cast<double>(files);
}

void BM_FileRecords(benchmark::State& state) {
    const auto& paths = DvFiles::get().paths();
    const moraven::FileRecordOptions options;
    std::size_t files = 0;
    std::size_t dvFiles = 0;
    std::uint64_t bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        const std::uint64_t before = moraven::bench::bytesReadSoFar();
        const auto start = std::chrono::steady_clock::now();
        for (const auto& path : paths) {
            const moraven::TAfficherFichier record(path, options);
            dvFiles += record.DatecodeKey().size() == 14 ? 1 : 0;
            benchmark::DoNotOptimize(record.ListKey().data());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bytes += moraven::bench::bytesReadSoFar() - before;
        files += paths.size();
    }
    if (dvFiles != files) state.SkipWithError("a file was not read as DV with a datecode");
    state.counters["bytes_read/file"] = static_cast<double>(bytes) / static_cast<double>(files);
    report(state, "records", seconds, files);
}

void BM_FfprobePerFile(benchmark::State& state) {
    if (!moraven::test::programAvailable("ffprobe")) {
        state.SkipWithError("ffprobe is not installed");
        return;
    }
    const auto& paths = DvFiles::get().paths();
    const auto count =
        static_cast<std::size_t>(environmentNumber("MORAVEN_BENCH_FFPROBE_FILES", 50, 1, kFiles));
    std::size_t files = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < count; ++i) {
            const auto result = moraven::test::runProgram(
                {"ffprobe", "-v", "error", "-show_format", "-show_streams", paths[i]});
            if (result.exitCode != 0) {
                state.SkipWithError(("ffprobe failed: " + result.errors).c_str());
                return;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        files += count;
    }
    report(state, "ffprobe", seconds, files);
}

void BM_MediainfoOnce(benchmark::State& state) {
    if (!moraven::test::programAvailable("mediainfo")) {
        state.SkipWithError("mediainfo is not installed");
        return;
    }
    const auto& paths = DvFiles::get().paths();
    std::vector<std::string> args{"mediainfo"};
    args.insert(args.end(), paths.begin(), paths.end());
    std::size_t files = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = moraven::test::runProgram(args);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result.exitCode != 0) {
            state.SkipWithError(("mediainfo failed: " + result.errors).c_str());
            return;
        }
        files += paths.size();
    }
    report(state, "mediainfo", seconds, files);
}

BENCHMARK(BM_FileRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FfprobePerFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_MediainfoOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto& r = secondsPerFile();
    const auto records = r.find("records");
    if (records == r.end() || records->second <= 0) return 0;
    for (const char* other : {"ffprobe", "mediainfo"}) {
        const auto found = r.find(other);
        if (found == r.end()) continue;
        std::printf("a record takes %.3f ms per file, %s %.3f ms: the record is %.1f times faster\n",
                    records->second * 1e3, other, found->second * 1e3, found->second / records->second);
    }
    return 0;
}
