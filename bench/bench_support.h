#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Small helpers shared by the benchmarks.
extern char** environ;

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

// Starts `args` (looked up on PATH) with its output thrown away and waits for it: the wall time in seconds,
// or a negative value when it could not be started or did not exit with status 0.
inline double timedRun(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The median of `values` (the upper one of an even count); 0 for none.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace moraven::bench
