#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

// Small helpers shared by the benchmarks.
namespace moraven::bench {

// The length of the generated DV recordings in minutes: MORAVEN_BENCH_DV_MINUTES, else 10 (1 to 60).
inline int dvRecordingMinutes() {
    const char* text = std::getenv("MORAVEN_BENCH_DV_MINUTES");
    const int value = text != nullptr ? std::atoi(text) : 10;
    return std::clamp(value, 1, 60);
}

// A counter of /proc/self/io for this process so far ("read_bytes:" what the storage delivered, "rchar:"
// what read system calls returned); 0 when the kernel does not say.
inline std::uint64_t processIoCounter(const std::string& name) {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == name) return value;
    }
    return 0;
}

inline std::uint64_t storageBytesRead() { return processIoCounter("read_bytes:"); }
inline std::uint64_t bytesReadSoFar() { return processIoCounter("rchar:"); }
// Read system calls (read, pread, preadv) made by this process so far.
inline std::uint64_t readCallsSoFar() { return processIoCounter("syscr:"); }

// Drops a file's pages from the page cache: the next reads come from the storage.
inline void evictFromPageCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

}  // namespace moraven::bench
