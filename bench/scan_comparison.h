#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/binary_file.h"

// What the scan benchmarks share: passes named "scan warm", "scan cold", "whole warm" and "whole cold", their
// counters, the whole-file read they are measured against, and the closing comparison.
namespace moraven::bench {

// Seconds per pass of each named measurement, filled by reportPass.
inline std::map<std::string, double>& secondsPerPass() {
    static std::map<std::string, double> results;
    return results;
}

inline void reportPass(benchmark::State& state, const std::string& name, double seconds, std::uint64_t frames,
                       std::uint64_t bytesRead, std::uint64_t storageBytes) {
    const auto passes = static_cast<double>(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["bytes_read"] = static_cast<double>(bytesRead) / passes;
    state.counters["storage_bytes"] = static_cast<double>(storageBytes) / passes;
    state.SetBytesProcessed(static_cast<std::int64_t>(bytesRead));
    secondsPerPass()[name] = seconds / passes;
}

// The obvious alternative to a scan: reading the whole file of `frames` frames in 1 MiB blocks, from the page
// cache or, when `cold`, from the storage.
inline void readWholeFilePasses(benchmark::State& state, const std::string& path, std::uint64_t frames,
                                bool cold) {
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    std::uint64_t bytesRead = 0;
    std::uint64_t storage = 0;
    double seconds = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evictFromPageCache(path);
            state.ResumeTiming();
        }
        const std::uint64_t storageBefore = storageBytesRead();
        const auto start = std::chrono::steady_clock::now();
        BinaryFile in(path, BinaryFile::Mode::Read);
        for (std::size_t got = in.read(buffer); got != 0; got = in.read(buffer)) bytesRead += got;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        storage += storageBytesRead() - storageBefore;
    }
    reportPass(state, cold ? "whole cold" : "whole warm", seconds, frames * state.iterations(), bytesRead,
               storage);
}

// Prints, for the page cache warm and cold, how much faster the scan was than reading the whole file.
inline void printScanComparison(const char* scanName) {
    const auto& r = secondsPerPass();
    for (const char* mode : {"warm", "cold"}) {
        const auto scan = r.find(std::string("scan ") + mode);
        const auto whole = r.find(std::string("whole ") + mode);
        if (scan != r.end() && whole != r.end() && scan->second > 0) {
            std::printf("%s: %s takes %.3f s, reading the whole file %.3f s: %.1f times faster\n", mode,
                        scanName, scan->second, whole->second, whole->second / scan->second);
        }
    }
}

}  // namespace moraven::bench
