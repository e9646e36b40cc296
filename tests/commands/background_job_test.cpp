#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "commands/background_job.h"

namespace moraven {
namespace {

TEST(BackgroundJobTest, TheWindowSeesProgressAndItsAbortReachesTheJob) {
    std::atomic<int> position{0};
    std::vector<int> shown;
    bool sawAbort = false;
    runInBackground(
        [&](const std::atomic<bool>& abort) {
            // Works until told to stop; the bound only keeps a broken abort from hanging the test.
            for (int i = 0; i < 100000 && !abort.load(); ++i) {
                position.store(std::min(i, 40));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sawAbort = abort.load();
        },
        [&] { return progressPercent(position.load(), 80); },
        [&](int percent) {
            shown.push_back(percent);
            return position.load() >= 40;  // Esc once the job is half way
        });
    EXPECT_TRUE(sawAbort);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 50);
}

TEST(BackgroundJobTest, TheJobsExceptionReachesTheCallerAndAQuickJobNeedsNoTick) {
    int ticks = 0;
    EXPECT_THROW(runInBackground([](const std::atomic<bool>&) { throw std::runtime_error("read failed"); }, {},
                                 [&](int) { return ++ticks, false; }),
                 std::runtime_error);
    bool ran = false;
    runInBackground([&](const std::atomic<bool>&) { ran = true; }, {}, {});
    EXPECT_TRUE(ran);
}

TEST(BackgroundJobTest, PercentIsTruncatedAndBounded) {
    struct Case {
        std::int64_t position, duration;
        int percent;
    };
    for (const Case& c : {Case{0, 90, 0}, Case{89, 90, 98}, Case{90, 90, 100}, Case{120, 90, 100}, Case{5, 0, 0},
                          Case{-3, 90, 0}, Case{std::int64_t{1} << 60, (std::int64_t{1} << 60) + 1, 99}}) {
        EXPECT_EQ(progressPercent(c.position, c.duration), c.percent) << c.position << "/" << c.duration;
    }
}

}  // namespace
}  // namespace moraven
