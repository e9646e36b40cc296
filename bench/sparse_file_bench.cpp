// Listing a sparse file: 1 GiB declared, about 3 MB of real DV-sized frames at its start, the rest a hole
// (ftruncate). Its last ix00 index, or (without index) its last movi list, is declared to run to the end of
// the file. ScanFile and the whole file record (TAfficherFichier) must take well under a second: memory and
// time follow the real frames, not the declared sizes.
//
// Figures: milliseconds per listing, samples found, index entries dropped, bytes read.
#include <benchmark/benchmark.h>

#include <string>

#include "formats/avi_demuxer.h"
#include "formats/avi_fichier.h"
#include "formats/list_scan.h"
#include "support/sparse_avi.h"
#include "support/temp_dir.h"

namespace {

constexpr std::uint64_t kDeclaredBytes = 1ull << 30;

const std::string& sparseFile(moraven::test::SparseAviShape shape) {
    static moraven::test::TempDir dir;
    static std::string paths[2];
    std::string& path = paths[shape == moraven::test::SparseAviShape::IndexOverTheHole ? 0 : 1];
    if (path.empty()) {
        moraven::test::OpenDmlOptions options;
        options.frames = 20;
        options.framesPerForm = 8;
        options.frameBytes = 144000;  // a PAL DV frame
        const std::string name =
            shape == moraven::test::SparseAviShape::IndexOverTheHole ? "index.avi" : "movi.avi";
        path = moraven::test::writeSparseAvi(dir.file(name), options, kDeclaredBytes, shape).path;
    }
    return path;
}

void demuxer(benchmark::State& state, moraven::test::SparseAviShape shape) {
    const std::string& path = sparseFile(shape);
    for (auto _ : state) {
        const moraven::AviDemuxer avi(path);
        state.counters["samples"] = static_cast<double>(avi.streams().at(0).sampleCount());
        state.counters["dropped"] = static_cast<double>(avi.streams().at(0).droppedEntries);
        state.counters["bytes_read"] = static_cast<double>(avi.bytesRead());
    }
}

void scanFile(benchmark::State& state, moraven::test::SparseAviShape shape) {
    const std::string& path = sparseFile(shape);
    for (auto _ : state) {
        moraven::TListScanResult result;
        benchmark::DoNotOptimize(moraven::ScanFile(path, result));
        state.counters["video_s"] = static_cast<double>(result.VideoDuration.ticks()) / 1e7;
    }
}

void fileRecord(benchmark::State& state, moraven::test::SparseAviShape shape) {
    const std::string& path = sparseFile(shape);
    for (auto _ : state) {
        const moraven::TAfficherFichier record(path);
        benchmark::DoNotOptimize(record.VideoDurationText());
    }
}

using moraven::test::SparseAviShape;
BENCHMARK_CAPTURE(demuxer, index_over_hole, SparseAviShape::IndexOverTheHole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(demuxer, movi_over_hole, SparseAviShape::MoviOverTheHole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanFile, index_over_hole, SparseAviShape::IndexOverTheHole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanFile, movi_over_hole, SparseAviShape::MoviOverTheHole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fileRecord, index_over_hole, SparseAviShape::IndexOverTheHole)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fileRecord, movi_over_hole, SparseAviShape::MoviOverTheHole)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
