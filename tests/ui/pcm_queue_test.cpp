#include "ui/pcm_queue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace moraven {
namespace {

using namespace std::chrono_literals;

// Bytes that say where they are: a wrong order or a lost byte shows.
std::vector<std::uint8_t> counting(std::size_t count, std::size_t first = 0) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((first + i) * 7 % 251);
    return bytes;
}

std::vector<std::uint8_t> popAll(PcmQueue& queue) {
    std::vector<std::uint8_t> out(queue.bound() * 2 + 16);
    out.resize(queue.pop(out));
    return out;
}

// Waits (bounded) until a push() running elsewhere has filled the queue to its bound and so must wait.
void waitUntilFull(const PcmQueue& queue) {
    for (int i = 0; i < 100000 && queue.size() < queue.bound(); ++i) std::this_thread::yield();
    ASSERT_EQ(queue.size(), queue.bound());
}

TEST(PcmQueueTest, KeepsOrderAcrossTheRingsEndInWholeFrames) {
    PcmQueue queue;
    queue.open(100, 4);  // bound rounded down to 100 (25 frames of 4 bytes), ring of 200
    EXPECT_EQ(queue.bound(), 100u);

    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> read;
    std::size_t next = 0;
    // Odd sizes wrap the ring at every place; a trailing partial frame is not queued.
    for (std::size_t size : {60u, 38u, 97u, 4u, 100u, 3u, 77u}) {
        const std::vector<std::uint8_t> block = counting(size, next);
        ASSERT_TRUE(queue.push(block));
        const std::size_t whole = size - size % 4;
        written.insert(written.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(whole));
        next += size;
        EXPECT_EQ(queue.size(), whole);
        // Taken out in pieces that are not whole frames: only whole frames come out.
        std::vector<std::uint8_t> piece(10);
        while (queue.size() > 0) {
            const std::size_t got = queue.pop(piece);
            ASSERT_EQ(got % 4, 0u);
            ASSERT_GT(got, 0u);
            read.insert(read.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
        }
    }
    EXPECT_EQ(read, written);
}

TEST(PcmQueueTest, AWriterLargerThanTheBoundWaitsForTheReaderAndLosesNothing) {
    PcmQueue queue;
    queue.open(64, 2);
    const std::vector<std::uint8_t> block = counting(1000);
    auto writer = std::async(std::launch::async, [&] { return queue.push(block); });

    std::vector<std::uint8_t> read;
    std::vector<std::uint8_t> piece(30);
    while (read.size() < block.size()) {
        EXPECT_LE(queue.size(), queue.bound());
        const std::size_t got = queue.pop(piece);
        read.insert(read.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
        if (got == 0) std::this_thread::yield();
    }
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(writer.get());
    EXPECT_EQ(read, block);
}

struct WakeCase {
    const char* name;
    std::function<void(PcmQueue&)> event;
    bool pushAnswer;
    std::size_t queuedAfter;  // in bounds of 64 bytes
    bool failedAfter;
};

class PcmQueueWakeTest : public ::testing::TestWithParam<WakeCase> {};

// A writer blocked on a full queue returns when the output is paused, flushed, closed or failed; what it
// still held is queued past the bound (pause) or dropped (the others).
TEST_P(PcmQueueWakeTest, ABlockedWriterReturns) {
    const WakeCase& c = GetParam();
    PcmQueue queue(1h);  // no stall: only the event may wake the writer
    queue.open(64, 2);
    const std::vector<std::uint8_t> block = counting(64 + 40);
    auto writer = std::async(std::launch::async, [&] { return queue.push(block); });
    waitUntilFull(queue);

    c.event(queue);
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready) << c.name;
    EXPECT_EQ(writer.get(), c.pushAnswer) << c.name;
    EXPECT_EQ(queue.size(), c.queuedAfter) << c.name;
    EXPECT_EQ(queue.failed(), c.failedAfter) << c.name;
    if (c.queuedAfter > 0) {
        EXPECT_EQ(popAll(queue), block) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Events, PcmQueueWakeTest,
    ::testing::Values(WakeCase{"pause", [](PcmQueue& q) { q.setPaused(true); }, true, 104, false},
                      WakeCase{"flush", [](PcmQueue& q) { q.flush(); }, true, 0, false},
                      WakeCase{"close", [](PcmQueue& q) { q.close(); }, false, 0, false},
                      WakeCase{"fail", [](PcmQueue& q) { q.fail(); }, false, 0, true}),
    [](const ::testing::TestParamInfo<WakeCase>& test) { return std::string(test.param.name); });

// Nobody reads (the device stopped): the writer gives up after the stall limit, and the queue stays failed,
// so that later writes return at once, until the next open().
TEST(PcmQueueTest, AWriterNobodyReadsForGivesUpAndTheQueueFails) {
    PcmQueue queue(20ms);
    queue.open(64, 2);
    EXPECT_FALSE(queue.push(counting(200)));
    EXPECT_TRUE(queue.failed());
    EXPECT_FALSE(queue.push(counting(2)));
    EXPECT_EQ(queue.size(), 0u);

    queue.open(64, 2);
    EXPECT_FALSE(queue.failed());
    EXPECT_TRUE(queue.push(counting(64)));
    EXPECT_EQ(popAll(queue), counting(64));
}

TEST(PcmQueueTest, WhilePausedWritesGoPastTheBoundUpToTwiceItThenAreDropped) {
    PcmQueue queue(1h);
    queue.open(64, 2);
    queue.setPaused(true);
    EXPECT_TRUE(queue.push(counting(100)));
    EXPECT_TRUE(queue.push(counting(100, 100)));  // 28 of these fit in the ring of 128
    EXPECT_EQ(queue.size(), 128u);
    EXPECT_EQ(popAll(queue), counting(128));

    // Resumed, the bound holds again.
    queue.setPaused(false);
    auto writer = std::async(std::launch::async, [&] { return queue.push(counting(80)); });
    waitUntilFull(queue);
    queue.flush();
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(writer.get());
}

TEST(PcmQueueTest, AClosedOrNeverOpenedQueueRefusesAtOnce) {
    PcmQueue queue(1h);
    EXPECT_FALSE(queue.push(counting(10)));
    queue.open(64, 2);
    ASSERT_TRUE(queue.push(counting(10)));
    queue.close();
    EXPECT_EQ(queue.size(), 0u);
    EXPECT_FALSE(queue.push(counting(10)));
    std::vector<std::uint8_t> out(10);
    EXPECT_EQ(queue.pop(out), 0u);
}

}  // namespace
}  // namespace moraven
