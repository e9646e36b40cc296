#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "formats/media_time.h"  // progressPercent

namespace moraven {

// How long work waits between two looks at its progress and at the user's abort.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// Runs `job` on a worker thread while the calling (window) thread stays live: every kProgressInterval until
// the job ends, `tick` is called with the job's progress in percent (from `progress`) and answers whether
// the user asked to abort; once it has, `abortRequested` is set for the job to see. Returns when the job
// has ended; an exception of the job is thrown again here. Without a tick the caller simply waits.
void runInBackground(const std::function<void(const std::atomic<bool>& abortRequested)>& job,
                     const std::function<int()>& progress, const std::function<bool(int percent)>& tick);

}  // namespace moraven
