#include "commands/background_job.h"

#include <future>
#include <limits>

namespace moraven {

int progressPercent(std::int64_t position, std::int64_t duration) {
    if (duration <= 0 || position <= 0) return 0;
    if (position >= duration) return 100;
    constexpr std::int64_t kExact = std::numeric_limits<std::int64_t>::max() / 100;
    if (position <= kExact) return static_cast<int>(position * 100 / duration);
    return static_cast<int>(static_cast<long double>(position) * 100 / static_cast<long double>(duration));
}

void runInBackground(const std::function<void(const std::atomic<bool>& abortRequested)>& job,
                     const std::function<int()>& progress, const std::function<bool(int percent)>& tick) {
    std::atomic<bool> abortRequested{false};
    std::future<void> done = std::async(std::launch::async, [&] { job(abortRequested); });
    while (done.wait_for(kProgressInterval) != std::future_status::ready) {
        if (tick && tick(progress ? progress() : 0)) abortRequested.store(true);
    }
    done.get();
}

}  // namespace moraven
