#include "commands/background_job.h"

#include <future>

namespace moraven {

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
