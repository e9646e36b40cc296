#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "formats/byte_order.h"
#include "formats/dv_frame_analysis.h"
#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

// Facts and header bytes that all derive from the frame number, each in its own way, so that an entry
// mixing two frames, or naming one frame while holding another, is caught field by field.
TDvFrameInfo factsOf(DvFrameNumber frame) {
    TDvFrameInfo info;
    info.HasDate = frame % 2 == 1;
    info.HasTimecode = frame % 3 == 0;
    info.Is16x9 = frame % 5 == 0;
    info.RecordedAt = DateTime(static_cast<double>(frame) + 0.25);
    info.Timecode = TDvTimecode::fromWord(static_cast<std::uint32_t>(frame * 2654435761u));
    return info;
}

std::uint64_t headerWordOf(DvFrameNumber frame, std::size_t word) {
    return frame ^ (0x9E3779B97F4A7C15u * (word + 1));
}

std::array<std::uint8_t, kDvHistoryHeaderBytes> headerOf(DvFrameNumber frame) {
    std::array<std::uint8_t, kDvHistoryHeaderBytes> header{};
    for (std::size_t w = 0; w < header.size() / 8; ++w) putU64le(header, 8 * w, headerWordOf(frame, w));
    return header;
}

// Whether `entry` is exactly what the writer wrote for the frame it names (all zeros for frame 0).
bool isWhole(const DvFrameFacts& entry) {
    if (entry.Frame == 0) return entry == DvFrameFacts{};
    return entry.Info == factsOf(entry.Frame) && entry.Header == headerOf(entry.Frame);
}

// Frame k (from 1) goes to entry (k - 1) % 100, as the analysis fills the ring from a fresh start.
std::size_t entryOf(DvFrameNumber frame) { return static_cast<std::size_t>((frame - 1) % kDvHistoryEntries); }

DvFrameNumber writeNext(DvHistoryRing& ring, DvFrameNumber next) {
    const auto header = headerOf(next);
    return ring.write(entryOf(next), factsOf(next), header);
}

TEST(DvHistoryRingTest, AFrameIsFoundByItsNumberUntilItIsOverwritten) {
    auto ring = std::make_unique<DvHistoryRing>();
    EXPECT_EQ(ring->latestFrame(), 0u);
    EXPECT_EQ(ring->at(7), DvFrameFacts{});
    EXPECT_EQ(ring->frameEntry(0), std::nullopt);
    EXPECT_EQ(ring->frameEntry(1), std::nullopt);

    for (DvFrameNumber k = 1; k <= 150; ++k) ASSERT_EQ(writeNext(*ring, k), k);
    EXPECT_EQ(ring->latestFrame(), 150u);

    struct Case {
        DvFrameNumber frame;
        bool held;
    };
    // Frames 1..50 were overwritten by 101..150 in entries 0..49; 51..150 are held; 151 is not written yet.
    for (const Case c : {Case{0, false}, Case{1, false}, Case{50, false}, Case{51, true}, Case{100, true},
                         Case{101, true}, Case{150, true}, Case{151, false}, Case{250, false}}) {
        SCOPED_TRACE(c.frame);
        const auto entry = ring->frameEntry(c.frame);
        ASSERT_EQ(entry.has_value(), c.held);
        if (entry) {
            EXPECT_EQ(entry->Frame, c.frame);
            EXPECT_TRUE(isWhole(*entry));
        }
    }
    // By index, an entry gives whichever frame it holds, and says which.
    EXPECT_EQ(ring->at(49).Frame, 150u);
    EXPECT_EQ(ring->at(149).Frame, 150u);  // indexes are taken modulo 100
    EXPECT_EQ(ring->at(50).Frame, 51u);
    EXPECT_TRUE(isWhole(ring->at(50)));
    EXPECT_EQ(ring->frameAt(49), 150u);
    EXPECT_EQ(ring->frameAt(99), 100u);
}

TEST(DvHistoryRingTest, AShortFrameLeavesTheRestOfItsEntryZeroOverAnOlderFrame) {
    auto ring = std::make_unique<DvHistoryRing>();
    const auto full = headerOf(1);
    ring->write(3, factsOf(1), full);
    const std::vector<std::uint8_t> shortFrame(13, 0xAB);  // not a whole word: the tail word is partly zero
    const DvFrameNumber second = ring->write(3, factsOf(2), shortFrame);
    EXPECT_EQ(ring->frameEntry(1), std::nullopt);
    const auto entry = ring->frameEntry(second);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Info, factsOf(2));
    EXPECT_EQ(std::count(entry->Header.begin(), entry->Header.begin() + 13, 0xAB), 13);
    EXPECT_EQ(std::count(entry->Header.begin() + 13, entry->Header.end(), 0), 480 - 13);
}

// One writer laps the ring many times while readers ask for particular frames and copy entries by index.
// Whatever the interleaving, every entry a reader gets must be one frame's, whole, and a frame asked for by
// number must be that frame or absent. Bounded by counts, not by time: the writer writes until every reader
// has done its reads (at least kMinFrames, at most kMaxFrames).
TEST(DvHistoryRingConcurrencyTest, ReadersGetWholeEntriesOfTheFrameTheyAskForOrNothing) {
    constexpr int kReaders = 3;
    constexpr int kReadsPerReader = 10000;
    constexpr DvFrameNumber kMinFrames = 3000;  // 30 laps
    constexpr DvFrameNumber kMaxFrames = 50'000'000;

    auto ring = std::make_unique<DvHistoryRing>();
    std::atomic<int> readersDone{0};
    std::atomic<bool> start{false};

    struct ReaderResult {
        int torn = 0;             // entries not whole
        int wrongFrame = 0;       // an entry asked for by number that names another frame
        int wrongEntry = 0;       // an entry by index that holds a frame of another entry
        int overwrittenSeen = 0;  // a frame 100 behind a complete one, still reported as held
    };
    std::vector<ReaderResult> results(kReaders);

    std::thread writer([&] {
        while (!start.load()) std::this_thread::yield();
        DvFrameNumber next = 1;
        while (next <= kMaxFrames && (next <= kMinFrames || readersDone.load() < kReaders)) {
            writeNext(*ring, next++);
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            ReaderResult& result = results[static_cast<std::size_t>(r)];
            while (!start.load()) std::this_thread::yield();
            for (int i = 0; i < kReadsPerReader; ++i) {
                const DvFrameNumber latest = ring->latestFrame();
                for (const DvFrameNumber behind : {0u, 1u, 37u, 99u}) {
                    if (latest <= behind) continue;
                    const auto entry = ring->frameEntry(latest - behind);
                    if (!entry) continue;  // overwritten meanwhile: the writer lapped this reader
                    if (entry->Frame != latest - behind) ++result.wrongFrame;
                    if (!isWhole(*entry)) ++result.torn;
                }
                // Frame `latest` is complete, so the frame 100 before it, in the same entry, is gone.
                if (latest > 100 && ring->frameEntry(latest - 100)) ++result.overwrittenSeen;

                // By index: the entry the writer goes to next (where a torn copy is most likely), then one
                // anywhere in the ring.
                for (const std::size_t index :
                     {entryOf(latest + 1), static_cast<std::size_t>(i + r * 31) % kDvHistoryEntries}) {
                    const DvFrameFacts byIndex = ring->at(index);
                    if (!isWhole(byIndex)) ++result.torn;
                    if (byIndex.Frame != 0 && entryOf(byIndex.Frame) != index) ++result.wrongEntry;
                }
            }
            readersDone.fetch_add(1);
        });
    }
    start.store(true);
    writer.join();
    for (auto& reader : readers) reader.join();

    for (int r = 0; r < kReaders; ++r) {
        SCOPED_TRACE("reader " + std::to_string(r));
        const ReaderResult& result = results[static_cast<std::size_t>(r)];
        EXPECT_EQ(result.torn, 0);
        EXPECT_EQ(result.wrongFrame, 0);
        EXPECT_EQ(result.wrongEntry, 0);
        EXPECT_EQ(result.overwrittenSeen, 0);
    }
    // Once the writer is done, the last 100 frames are all held, whole, and nothing older is.
    const DvFrameNumber last = ring->latestFrame();
    ASSERT_GE(last, kMinFrames);
    for (DvFrameNumber frame = last - 99; frame <= last; ++frame) {
        const auto entry = ring->frameEntry(frame);
        ASSERT_TRUE(entry) << frame;
        ASSERT_TRUE(isWhole(*entry)) << frame;
    }
    EXPECT_EQ(ring->frameEntry(last - 100), std::nullopt);
}

// The player's side: the streaming thread analyses real DV frames and names each as the frame on screen;
// the player's timer copies the shown entry. Every copy must be the frame whose number it carries: its
// facts and its first 480 bytes come from the same source frame.
TEST(DvFrameAnalysisConcurrencyTest, TheShownEntryIsAlwaysTheWholeShownFrame) {
    // Seven distinct frames, so that entries 100 apart hold different ones. Frame k is dated k seconds
    // after noon, has timecode 0:00:k:k, 16:9 when k is odd, and k in byte 479 (the last header byte).
    constexpr int kSources = 7;
    std::vector<std::vector<std::uint8_t>> sources;
    for (int k = 0; k < kSources; ++k) {
        DvFrameBuilder builder;
        builder.recDate(0, 2011, 3, 4, 12, 0, k).timecode(0, 0, 0, k, k).sourceControl(0, k % 2 == 1 ? 2 : 0);
        builder.bytes()[kDvHistoryHeaderBytes - 1] = static_cast<std::uint8_t>(k);
        sources.push_back(builder.bytes());
    }
    std::vector<TDvFrameInfo> expected;
    for (const auto& source : sources) {
        auto single = std::make_unique<DvFrameAnalysis>();
        single->analyseFrame(source, MediaTime(), kPalFrameDuration);
        expected.push_back(single->CurrentInfo());
    }
    // Frame number n (from 1) is source (n - 1) % 7.
    auto sourceOf = [&](DvFrameNumber n) { return static_cast<std::size_t>((n - 1) % kSources); };
    auto matches = [&](const DvFrameFacts& entry) {
        const std::size_t k = sourceOf(entry.Frame);
        return entry.Info == expected[k] &&
               std::equal(entry.Header.begin(), entry.Header.end(), sources[k].begin());
    };

    constexpr int kReads = 3000;
    constexpr int kMinFrames = 1000;
    constexpr int kMaxFrames = 5'000'000;
    auto analysis = std::make_unique<DvFrameAnalysis>();
    std::atomic<bool> readerDone{false};
    std::thread streaming([&] {
        for (int n = 0; n < kMaxFrames && (n < kMinFrames || !readerDone.load()); ++n) {
            const MediaTime startTime = MediaTime::fromTicks(std::int64_t{n} * 400000);
            analysis->analyseFrame(sources[static_cast<std::size_t>(n % kSources)], startTime,
                                   startTime + kPalFrameDuration);
            analysis->SetShownPos(analysis->HistoryPos());
        }
    });
    int wrong = 0;
    for (int i = 0; i < kReads; ++i) {
        if (const auto shown = analysis->ShownEntry()) {
            if (shown->Frame == 0 || !matches(*shown)) ++wrong;
        }
        const DvFrameFacts latest = analysis->History(analysis->HistoryPos());
        if (latest.Frame != 0 && !matches(latest)) ++wrong;
    }
    readerDone.store(true);
    streaming.join();
    EXPECT_EQ(wrong, 0);
    // After the last frame the shown frame is the latest one, held whole.
    const auto shown = analysis->ShownEntry();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Frame, analysis->LatestFrame());
    EXPECT_TRUE(matches(*shown));
}

}  // namespace
}  // namespace moraven
