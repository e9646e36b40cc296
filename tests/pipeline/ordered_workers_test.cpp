#include "pipeline/graph/ordered_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>

namespace moraven {
namespace {

// A worker's own state: remembers the threads that used it.
struct Counter {
    std::set<std::thread::id> threads;
    int jobs = 0;
};

struct Item {
    int value = 0;
    int result = 0;
    std::vector<int> buffer;
};

// A job whose length varies with its value, so that later jobs often finish before earlier ones.
void busyWork(Counter& counter, Item& item) {
    counter.threads.insert(std::this_thread::get_id());
    ++counter.jobs;
    volatile int sink = 0;
    for (int i = 0; i < (item.value * 7919) % 5000; ++i) sink = sink + i;
    if ((item.value * 31) % 4 == 0) std::this_thread::yield();
    item.result = item.value * 3;
}

TEST(OrderedWorkersTest, HandsResultsBackInSubmissionOrderWithEachWorkerOnItsOwnState) {
    for (const std::size_t threads : {std::size_t{1}, std::size_t{2}, std::size_t{4}, std::size_t{8}, std::size_t{16}}) {
        SCOPED_TRACE(threads);
        std::vector<Counter*> states;
        const auto make = [&states] {
            auto state = std::make_unique<Counter>();
            states.push_back(state.get());
            return state;
        };
        std::vector<int> delivered;
        std::size_t highest = 0;
        {
            OrderedWorkers<Counter, Item> workers(threads, 0, make, busyWork);
            EXPECT_EQ(states.size(), threads);
            EXPECT_EQ(workers.maxInFlight(), 2 * threads);
            const auto deliver = [&](Item& item) {
                EXPECT_EQ(item.result, item.value * 3);
                delivered.push_back(item.value);
            };
            for (int i = 0; i < 300; ++i) {
                Item item = workers.recycled();
                item.value = i;
                item.result = -1;
                workers.submit(std::move(item), deliver);
                highest = std::max(highest, workers.inFlight());
            }
            workers.drain(deliver);
            EXPECT_EQ(workers.inFlight(), 0u);
            // The states live as long as the workers; every job is done, so they are read safely here.
            int jobs = 0;
            for (const Counter* state : states) {
                EXPECT_LE(state->threads.size(), 1u) << "a state used by two threads";
                jobs += state->jobs;
            }
            EXPECT_EQ(jobs, 300);
        }
        ASSERT_EQ(delivered.size(), 300u);
        for (int i = 0; i < 300; ++i) ASSERT_EQ(delivered[static_cast<std::size_t>(i)], i);
        EXPECT_LE(highest, 2 * threads);
    }
}

TEST(OrderedWorkersTest, SubmitWaitsForTheOldestOnlyOnceTheBoundIsReached) {
    std::atomic<bool> open{false};
    std::atomic<int> started{0};
    // Jobs hold until the test opens the gate.
    const auto gated = [&](Counter&, Item& item) {
        started.fetch_add(1);
        while (!open.load()) std::this_thread::yield();
        item.result = item.value;
    };
    OrderedWorkers<Counter, Item> workers(2, 3, [] { return std::make_unique<Counter>(); }, gated);
    std::vector<int> delivered;
    const auto deliver = [&](Item& item) { delivered.push_back(item.result); };
    for (int i = 0; i < 3; ++i) workers.submit(Item{i, -1, {}}, deliver);  // below the bound: no wait
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(workers.inFlight(), 3u);
    workers.deliverReady(deliver);  // nothing is done: returns at once
    EXPECT_TRUE(delivered.empty());
    open = true;
    workers.submit(Item{3, -1, {}}, deliver);  // at the bound: the oldest goes first
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered.front(), 0);
    EXPECT_LE(workers.inFlight(), 3u);
    workers.drain(deliver);
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2, 3}));
}

TEST(OrderedWorkersTest, AFailedJobIsThrownOnTheCallersThreadInItsTurn) {
    const auto failAtFive = [](Counter&, Item& item) {
        if (item.value == 5) throw std::runtime_error("job five failed");
        item.result = item.value;
    };
    std::vector<int> delivered;
    const auto deliver = [&](Item& item) { delivered.push_back(item.result); };
    bool thrown = false;
    {
        OrderedWorkers<Counter, Item> workers(4, 0, [] { return std::make_unique<Counter>(); }, failAtFive);
        try {
            for (int i = 0; i < 40; ++i) workers.submit(Item{i, -1, {}}, deliver);
            workers.drain(deliver);
        } catch (const std::runtime_error& error) {
            thrown = true;
            EXPECT_STREQ(error.what(), "job five failed");
        }
        // The destructor cancels what is left and joins the workers.
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(OrderedWorkersTest, CancelDropsWhatIsLeftAndTheWorkersTakeNewJobsAfterwards) {
    std::atomic<int> ran{0};
    const auto slow = [&](Counter& counter, Item& item) {
        busyWork(counter, item);
        ran.fetch_add(1);
    };
    OrderedWorkers<Counter, Item> workers(2, 64, [] { return std::make_unique<Counter>(); }, slow);
    std::vector<int> delivered;
    const auto deliver = [&](Item& item) { delivered.push_back(item.value); };
    for (int i = 0; i < 60; ++i) workers.submit(Item{i, -1, {}}, deliver);
    workers.cancel();
    EXPECT_EQ(workers.inFlight(), 0u);
    const std::size_t before = delivered.size();
    const int ranAtCancel = ran.load();
    workers.drain(deliver);
    EXPECT_EQ(delivered.size(), before) << "nothing comes out after a cancel";
    EXPECT_EQ(ran.load(), ranAtCancel) << "no job runs after a cancel returned";
    for (int i = 100; i < 110; ++i) workers.submit(Item{i, -1, {}}, deliver);
    workers.drain(deliver);
    ASSERT_EQ(delivered.size(), before + 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(delivered[before + static_cast<std::size_t>(i)], 100 + i);

    // Destroyed with jobs in flight: cancelled and joined.
    auto abandoned = std::make_unique<OrderedWorkers<Counter, Item>>(3, 0, [] { return std::make_unique<Counter>(); },
                                                                     busyWork);
    for (int i = 0; i < 6; ++i) abandoned->submit(Item{i, -1, {}}, [](Item&) {});
    abandoned.reset();
}

TEST(OrderedWorkersTest, AStateThatCannotBeMadeFailsTheConstruction) {
    int made = 0;
    const auto secondFails = [&made]() -> std::unique_ptr<Counter> {
        if (++made == 2) throw std::runtime_error("no codec");
        return std::make_unique<Counter>();
    };
    EXPECT_THROW((OrderedWorkers<Counter, Item>(3, 0, secondFails, busyWork)), std::runtime_error);
    EXPECT_EQ(made, 2);
}

}  // namespace
}  // namespace moraven
