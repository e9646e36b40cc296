// The scene scan's access pattern against reading the whole file: a PAL DV type 2 AVI of 10 minutes
// (15,000 frames, about 2.3 GB, written once by AviWriter into a temporary folder and removed at the end),
// opened with the demuxer and the first 480 bytes of every frame read; against reading every byte of the
// file. Each is measured warm (the file in the page cache) and cold (its pages dropped before every iteration
// with posix_fadvise, so that the storage is read).
//
// Figures: frames/s, bytes the demuxer read per pass (bytes_read), bytes the storage delivered per pass
// (storage_bytes, from /proc/self/io), and at the end the ratios scan : whole file.
//
// MORAVEN_BENCH_DV_MINUTES=n makes a file of n minutes instead (1 to 60), e.g. 1 for a quick run.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/avi_demuxer.h"
#include "formats/avi_writer.h"
#include "formats/binary_file.h"
#include "scan_comparison.h"
#include "support/dv_frame_builder.h"
#include "support/temp_dir.h"

namespace {

using moraven::AviDemuxer;

constexpr std::size_t kScanBytes = 480;  // DIF blocks 0 to 5 of sequence 0
constexpr std::size_t kPalFrameBytes = 144000;
constexpr std::size_t kAudioBytesPerFrame = 48000 / 25 * 4;  // 16-bit stereo at 48 kHz

class DvFile {
public:
    static DvFile& get() {
        static DvFile file;
        return file;
    }

    const std::string& path() const { return m_path; }
    std::uint64_t frames() const { return m_frames; }
    std::uint64_t size() const { return m_size; }

    // Drops the file's pages from the page cache: the next reads come from the storage.
    void evict() const { moraven::bench::evictFromPageCache(m_path); }

private:
    DvFile()
        : m_path(m_dir.file("ten_minutes.avi")),
          m_frames(static_cast<std::uint64_t>(moraven::bench::dvRecordingMinutes()) * 60 * 25) {
        std::fprintf(stderr, "writing %llu PAL DV frames to %s ...\n",
                     static_cast<unsigned long long>(m_frames), m_path.c_str());
        std::vector<std::uint8_t> frame = moraven::test::DvFrameBuilder(moraven::DvSystem::Pal625)
                                              .recDate(0, 2004, 7, 15, 13, 5, 9)
                                              .bytes();
        frame.resize(kPalFrameBytes);
        std::vector<std::uint8_t> sound(kAudioBytesPerFrame, 0);
        moraven::AviWriter writer(m_path);
        const int video = writer.addVideoStream(moraven::AviVideoFormat::dv(moraven::DvSystem::Pal625));
        const int audio = writer.addAudioStream(moraven::WaveFormat::pcm(2, 48000, 16));
        for (std::uint64_t i = 0; i < m_frames; ++i) {
            frame[kScanBytes] = static_cast<std::uint8_t>(i);  // just past the scanned bytes
            writer.writeSample(video, frame);
            writer.writeSample(audio, sound);
        }
        writer.close();
        // Written pages must reach the storage before they can be dropped from the cache.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        m_size = moraven::BinaryFile(m_path, moraven::BinaryFile::Mode::Read).size();
    }

    moraven::test::TempDir m_dir;
    std::string m_path;
    std::uint64_t m_frames;
    std::uint64_t m_size = 0;
};

// Seconds per iteration of each benchmark, for the ratios printed at the end.
void scanFirstBytes(benchmark::State& state, bool cold) {
    const DvFile& file = DvFile::get();
    std::uint64_t frames = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t storage = 0;
    double seconds = 0;
    std::array<std::uint8_t, kScanBytes> head{};
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            file.evict();
            state.ResumeTiming();
        }
        const std::uint64_t storageBefore = moraven::bench::storageBytesRead();
        const auto start = std::chrono::steady_clock::now();
        const AviDemuxer avi(file.path());
        const moraven::AviStream* video = avi.firstStream(moraven::AviStreamKind::Video);
        if (video == nullptr) {
            state.SkipWithError("no video stream");
            return;
        }
        const auto index = static_cast<std::size_t>(video->number);
        for (std::size_t i = 0; i < video->sampleCount(); ++i) {
            benchmark::DoNotOptimize(avi.readSamplePrefix(index, i, head));
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        frames += video->sampleCount();
        bytesRead += avi.bytesRead();
        storage += moraven::bench::storageBytesRead() - storageBefore;
    }
    moraven::bench::reportPass(state, cold ? "scan cold" : "scan warm", seconds, frames, bytesRead, storage);
}

void readWholeFile(benchmark::State& state, bool cold) {
    const DvFile& file = DvFile::get();
    moraven::bench::readWholeFilePasses(state, file.path(), file.frames(), cold);
}

void BM_ScanFirst480BytesWarm(benchmark::State& state) { scanFirstBytes(state, false); }
void BM_ScanFirst480BytesCold(benchmark::State& state) { scanFirstBytes(state, true); }
void BM_ReadWholeFileWarm(benchmark::State& state) { readWholeFile(state, false); }
void BM_ReadWholeFileCold(benchmark::State& state) { readWholeFile(state, true); }

// Opening alone: the headers and the index (and the check of each entry's chunk header).
void BM_OpenDemuxer(benchmark::State& state) {
    const DvFile& file = DvFile::get();
    std::uint64_t bytesRead = 0;
    for (auto _ : state) {
        const AviDemuxer avi(file.path());
        benchmark::DoNotOptimize(avi.streamCount());
        bytesRead += avi.bytesRead();
    }
    state.counters["bytes_read"] = static_cast<double>(bytesRead) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_OpenDemuxer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ScanFirst480BytesWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ReadWholeFileWarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ScanFirst480BytesCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ReadWholeFileCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    moraven::bench::printScanComparison("the 480-byte scan");
    return 0;
}
