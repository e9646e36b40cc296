// The scene scan of a PAL DV type 2 AVI of 10 minutes (15,000 frames with sound, about 2.3 GB, written once
// by AviWriter into a temporary folder and removed at the end; the recording date advances one second every
// 25 frames and jumps by an hour every 2 minutes, so the scan finds 5 scenes): TdmScenes::ScanScenes with
// its frame callback, reading the first 480 bytes of each frame through the index; against reading every
// byte of the file. Each is measured warm (the file in the page cache) and cold (its pages dropped before
// every iteration with posix_fadvise, so that the storage is read).
//
// Figures: frames/s, bytes read from the file per pass (bytes_read), bytes the storage delivered per pass
// (storage_bytes, from /proc/self/io), scenes found, and at the end the ratios scan : whole file.
//
// The scenes command's own path (the file opened and indexed once, its record and its scan over one demuxer)
// is measured warm for its read system calls per frame (syscr of /proc/self/io; at most 1.2 is the goal),
// and against `mediainfo --File_DvDif_Analysis=1` on the same file when mediainfo is installed.
//
// MORAVEN_BENCH_DV_MINUTES=n makes a file of n minutes instead (1 to 60), e.g. 1 for a quick run.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/avi_demuxer.h"
#include "formats/avi_fichier.h"
#include "formats/avi_writer.h"
#include "formats/binary_file.h"
#include "formats/date_format.h"
#include "formats/scene_scan.h"
#include "scan_comparison.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace {

constexpr std::size_t kAudioBytesPerFrame = 48000 / 25 * 4;  // 16-bit stereo at 48 kHz
constexpr std::uint64_t kFramesPerScene = 2 * 60 * 25;

class DvFile {
public:
    static DvFile& get() {
        static DvFile file;
        return file;
    }

    const std::string& path() const { return m_path; }
    std::uint64_t frames() const { return m_frames; }

    // Drops the file's pages from the page cache: the next reads come from the storage.
    void evict() const { moraven::bench::evictFromPageCache(m_path); }

private:
    DvFile()
        : m_path(m_dir.file("recording.avi")),
          m_frames(static_cast<std::uint64_t>(moraven::bench::dvRecordingMinutes()) * 60 * 25) {
        std::fprintf(stderr, "writing %llu PAL DV frames to %s ...\n",
                     static_cast<unsigned long long>(m_frames), m_path.c_str());
        moraven::test::DvFrameBuilder builder(moraven::DvSystem::Pal625);
        builder.timecode(0, 0, 0, 0, 0);
        const std::vector<std::uint8_t> sound(kAudioBytesPerFrame, 0);
        moraven::AviWriter writer(m_path);
        const int video = writer.addVideoStream(moraven::AviVideoFormat::dv(moraven::DvSystem::Pal625));
        const int audio = writer.addAudioStream(moraven::WaveFormat::pcm(2, 48000, 16));
        for (std::uint64_t i = 0; i < m_frames; ++i) {
            // Scene k was recorded from k:00:00 on 15 July 2004.
            const auto scene = static_cast<int>(i / kFramesPerScene);
            const auto second = static_cast<int>((i % kFramesPerScene) / 25);
            builder.recDate(0, 2004, 7, 15, scene % 24, second / 60, second % 60);
            writer.writeSample(video, builder.bytes());
            writer.writeSample(audio, sound);
        }
        writer.close();
        // Written pages must reach the storage before they can be dropped from the cache.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

    moraven::test::TempDir m_dir;
    std::string m_path;
    std::uint64_t m_frames;
};

// Counts the scenes it is given.
class CountingWriter final : public moraven::TSceneWriter {
public:
    const std::string& name() const override { return m_name; }
    bool OpenScenes(const moraven::SceneVideo&) override { return true; }
    void WriteScene(const moraven::TSceneInfo&) override { ++scenes; }
    void CloseScenes() override {}
    std::uint64_t scenes = 0;

private:
    std::string m_name = "Counting";
};

struct ScenesCommandFigures {
    double seconds = 0;  // per pass
    double readsPerFrame = 0;
};

ScenesCommandFigures& scenesCommandFigures() {
    static ScenesCommandFigures figures;
    return figures;
}

double& mediainfoSeconds() {
    static double seconds = 0;
    return seconds;
}

// Seconds per iteration of each benchmark, for the ratios printed at the end.
void scanScenes(benchmark::State& state, bool cold) {
    const DvFile& file = DvFile::get();
    moraven::TdmScenes module("ddddd hh:nn:ss", moraven::englishDateFormatLocale());
    const std::atomic<bool> abort{false};
    const moraven::SceneVideo video{file.path(), 25, moraven::DateTime(), "N/A"};
    std::uint64_t frames = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t storage = 0;
    std::uint64_t scenes = 0;
    double seconds = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            file.evict();
            state.ResumeTiming();
        }
        CountingWriter writer;
        const std::uint64_t storageBefore = moraven::bench::storageBytesRead();
        const auto start = std::chrono::steady_clock::now();
        const moraven::SceneScanResult result = module.ScanScenes(video, writer, abort);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result.outcome != moraven::SceneScanOutcome::Completed) {
            state.SkipWithError(("scan failed: " + result.message).c_str());
            return;
        }
        frames += static_cast<std::uint64_t>(result.framesScanned);
        bytesRead += result.bytesRead;
        storage += moraven::bench::storageBytesRead() - storageBefore;
        scenes += writer.scenes;
    }
    state.counters["scenes"] = static_cast<double>(scenes) / static_cast<double>(state.iterations());
    moraven::bench::reportPass(state, cold ? "scan cold" : "scan warm", seconds, frames, bytesRead, storage);
}

// What `moraven --scenes FILE` does for one file: one demuxer for the record and the scan.
void scenesCommand(benchmark::State& state) {
    const DvFile& file = DvFile::get();
    moraven::TdmScenes module("ddddd hh:nn:ss", moraven::englishDateFormatLocale());
    const std::atomic<bool> abort{false};
    std::uint64_t frames = 0;
    std::uint64_t reads = 0;
    double seconds = 0;
    for (auto _ : state) {
        CountingWriter writer;
        const std::uint64_t readsBefore = moraven::bench::readCallsSoFar();
        const auto start = std::chrono::steady_clock::now();
        const moraven::AviDemuxer demuxer(file.path());
        const moraven::TAfficherFichier record(file.path(), moraven::FileRecordOptions{}, demuxer);
        const moraven::SceneVideo video{record.FullPath(), record.Fps(), record.Datecode(), record.TimecodeText()};
        const moraven::SceneScanResult result = module.ScanScenes(video, demuxer, writer, abort);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reads += moraven::bench::readCallsSoFar() - readsBefore;
        if (result.outcome != moraven::SceneScanOutcome::Completed) {
            state.SkipWithError(("scan failed: " + result.message).c_str());
            return;
        }
        frames += static_cast<std::uint64_t>(result.framesScanned);
    }
    const double readsPerFrame = static_cast<double>(reads) / static_cast<double>(std::max<std::uint64_t>(frames, 1));
    state.counters["reads/frame"] = readsPerFrame;
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    scenesCommandFigures() = {seconds / static_cast<double>(state.iterations()), readsPerFrame};
}

// mediainfo's DV analysis of every frame of the same file, from the page cache.
void mediainfoAnalysis(benchmark::State& state) {
    if (!moraven::test::programAvailable("mediainfo")) {
        state.SkipWithError("mediainfo is not installed");
        return;
    }
    const DvFile& file = DvFile::get();
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = moraven::test::runProgram({"mediainfo", "--File_DvDif_Analysis=1", file.path()});
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result.exitCode != 0) {
            state.SkipWithError("mediainfo failed");
            return;
        }
    }
    mediainfoSeconds() = seconds / static_cast<double>(state.iterations());
}

void readWholeFile(benchmark::State& state, bool cold) {
    const DvFile& file = DvFile::get();
    moraven::bench::readWholeFilePasses(state, file.path(), file.frames(), cold);
}

void BM_SceneScanWarm(benchmark::State& state) { scanScenes(state, false); }
void BM_SceneScanCold(benchmark::State& state) { scanScenes(state, true); }
void BM_ReadWholeFileWarm(benchmark::State& state) { readWholeFile(state, false); }
void BM_ReadWholeFileCold(benchmark::State& state) { readWholeFile(state, true); }

void BM_ScenesCommandWarm(benchmark::State& state) { scenesCommand(state); }
void BM_MediainfoDvAnalysisWarm(benchmark::State& state) { mediainfoAnalysis(state); }

BENCHMARK(BM_ScenesCommandWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_MediainfoDvAnalysisWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SceneScanWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ReadWholeFileWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_SceneScanCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ReadWholeFileCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    moraven::bench::printScanComparison("the scene scan");
    const ScenesCommandFigures& scenes = scenesCommandFigures();
    std::printf("the scenes command makes %.3f reads per frame (goal: at most 1.2)\n", scenes.readsPerFrame);
    if (mediainfoSeconds() > 0 && scenes.seconds > 0) {
        std::printf("warm: the scenes command takes %.3f s, mediainfo's DV analysis %.3f s: %.1f times faster "
                    "(goal: at least 10)\n",
                    scenes.seconds, mediainfoSeconds(), mediainfoSeconds() / scenes.seconds);
    }
    return 0;
}
