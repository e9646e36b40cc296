#include "formats/dv_frame_analysis.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/date_time.h"
#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

DateTime dateTime(int year, int month, int day, int hour, int minute, int second) {
    return encodeDateTime({year, month, day, hour, minute, second, 0}).value();
}

MediaTime ticks(std::int64_t value) { return MediaTime::fromTicks(value); }

// The ring is large: tests keep the analysis on the heap, as its owners do.
std::unique_ptr<DvFrameAnalysis> newAnalysis() { return std::make_unique<DvFrameAnalysis>(); }

struct FactsCase {
    std::string name;
    std::vector<std::uint8_t> frame;
    TDvFrameInfo expected;
};

TEST(DvFrameAnalysisTest, ReadsTheFactsOfEachFrame) {
    const TDvTimecode noTimecode;  // what a fresh analysis holds before any timecode was seen
    std::vector<FactsCase> cases;
    cases.push_back({"all packs in sequence 0",
                     DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).bytes(),
                     {true, true, dateTime(2004, 7, 15, 13, 5, 9), {1, 2, 3, 4}, false}});
    cases.push_back({"date and timecode found in later sequences, 16:9 by display select 2",
                     DvFrameBuilder(DvSystem::Ntsc525)
                         .recDate(3, 1999, 12, 31, 23, 59, 59)
                         .timecode(9, 0, 12, 5, 17)
                         .sourceControl(0, 2)
                         .bytes(),
                     {true, true, dateTime(1999, 12, 31, 23, 59, 59), {0, 12, 5, 17}, true}});
    cases.push_back({"31 April is no date",
                     DvFrameBuilder().recDate(0, 2005, 4, 31, 10, 0, 0).sourceControl(0, 7).bytes(),
                     {false, false, DateTime(), noTimecode, true}});
    cases.push_back({"hour 24 is no date",
                     DvFrameBuilder().recDate(0, 2005, 4, 30, 24, 0, 0).bytes(),
                     {false, false, DateTime(), noTimecode, false}});
    {
        // Zeroed pack ids count as present; their zero digits read as month 0: no date.
        DvFrameBuilder zeroed;
        zeroed.recDatePacks(0, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0});
        cases.push_back({"zeroed date packs", zeroed.bytes(), {false, false, DateTime(), noTimecode, false}});
    }
    cases.push_back(
        {"a frame without packs", DvFrameBuilder().bytes(), {false, false, DateTime(), noTimecode, false}});
    cases.push_back({"a buffer too short to hold packs",
                     std::vector<std::uint8_t>(1000, 0x62),
                     {false, false, DateTime(), noTimecode, false}});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto analysis = newAnalysis();
        analysis->analyseFrame(c.frame, MediaTime(), kPalFrameDuration);
        EXPECT_EQ(analysis->CurrentInfo(), c.expected);
        EXPECT_EQ(analysis->History(analysis->HistoryPos()).Info, c.expected);
    }
}

TEST(DvFrameAnalysisTest, AFrameWithoutTimecodeKeepsThePreviousValueButNotTheFlag) {
    auto analysis = newAnalysis();
    analysis->analyseFrame(DvFrameBuilder().timecode(0, 1, 2, 3, 4).bytes(), MediaTime(), kPalFrameDuration);
    ASSERT_TRUE(analysis->CurrentInfo().HasTimecode);

    // A timecode pack whose second copy lacks its id counts as absent.
    analysis->analyseFrame(DvFrameBuilder().timecode(0, 5, 6, 7, 8, false).bytes(), kPalFrameDuration,
                           ticks(800000));
    EXPECT_FALSE(analysis->CurrentInfo().HasTimecode);
    EXPECT_EQ(analysis->CurrentInfo().Timecode, (TDvTimecode{1, 2, 3, 4}));
}

struct GapCase {
    std::string name;
    DvSystem system;
    std::int64_t previousStop;  // 0: no previous frame
    std::int64_t start;
    bool discontinuity;
};

TEST(DvFrameAnalysisTest, MarksAGapOfMoreThanATenthOfASecondTwice) {
    const std::vector<GapCase> cases = {
        {"first frame", DvSystem::Ntsc525, 0, 50'000'000, false},
        {"contiguous", DvSystem::Ntsc525, 10'000'000, 10'000'000, false},
        {"0.3 s later", DvSystem::Ntsc525, 10'000'000, 13'000'000, true},
        {"0.2 s later", DvSystem::Ntsc525, 10'000'000, 12'000'000, false},
        {"just over 0.2 s later", DvSystem::Ntsc525, 10'000'000, 12'000'001, true},
        {"0.3 s earlier", DvSystem::Ntsc525, 10'000'000, 7'000'000, true},
        // The start must lie beyond one nominal frame time: 333667 for a 120000-byte frame, 400000 for
        // a 144000-byte one.
        {"NTSC start 350000 after a stop at 0.3 s", DvSystem::Ntsc525, 3'000'000, 350'000, true},
        {"PAL start 350000 after a stop at 0.3 s", DvSystem::Pal625, 3'000'000, 350'000, false},
        {"NTSC start exactly one frame time", DvSystem::Ntsc525, 3'000'000, 333'667, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto analysis = newAnalysis();
        const auto frame = DvFrameBuilder(c.system).bytes();
        if (c.previousStop != 0) {
            analysis->analyseFrame(frame, ticks(c.previousStop - 400000), ticks(c.previousStop));
        }
        EXPECT_EQ(analysis->analyseFrame(frame, ticks(c.start), ticks(c.start + 333667)), c.discontinuity);
        EXPECT_EQ(analysis->previousStopTime(), ticks(c.start + 333667));
    }
}

TEST(DvFrameAnalysisTest, TheRingKeepsTheLastHundredFramesAndTheirFirst480Bytes) {
    auto analysis = newAnalysis();
    EXPECT_EQ(analysis->HistoryPos(), 0u);
    DvFrameBuilder builder;
    // Frame k is dated k seconds after midnight and carries k in byte 479, the last header byte kept.
    auto frameNumbered = [&](int k) {
        builder.recDate(0, 2010, 1, 1, k / 3600, (k / 60) % 60, k % 60);
        builder.bytes()[479] = static_cast<std::uint8_t>(k);
        return builder.bytes();
    };
    for (int k = 0; k < 150; ++k) {
        const auto frame = frameNumbered(k);
        analysis->analyseFrame(frame, ticks(k * 400000LL), ticks((k + 1) * 400000LL));
        const std::size_t pos = analysis->HistoryPos();
        ASSERT_EQ(pos, static_cast<std::size_t>(k + 1) % kDvHistoryEntries);
        const DvFrameFacts entry = analysis->History(pos);
        ASSERT_EQ(entry.Info, analysis->CurrentInfo());
        ASSERT_TRUE(std::equal(entry.Header.begin(), entry.Header.end(), frame.begin()));
    }
    // Entries 51..99 and 0 hold frames 50..99, entries 1..50 frames 100..149.
    EXPECT_EQ(analysis->History(51).Header[479], 50);
    EXPECT_EQ(analysis->History(0).Header[479], 99);
    EXPECT_EQ(analysis->History(50).Header[479], 149);
    EXPECT_EQ(analysis->History(51).Info.RecordedAt, dateTime(2010, 1, 1, 0, 0, 50));

    // A frame shorter than 480 bytes leaves the rest of its entry zero.
    analysis->analyseFrame(std::vector<std::uint8_t>(100, 0xAB), ticks(60'000'000), ticks(60'400'000));
    const DvFrameFacts shortEntry = analysis->History(analysis->HistoryPos());
    EXPECT_EQ(std::count(shortEntry.Header.begin(), shortEntry.Header.end(), 0xAB), 100);
    EXPECT_EQ(std::count(shortEntry.Header.begin() + 100, shortEntry.Header.end(), 0), 380);
}

TEST(DvFrameAnalysisTest, StoppingResetsThePositionsAndThePreviousStopButNotTheRing) {
    auto analysis = newAnalysis();
    const auto dated = DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).bytes();
    const auto undated = DvFrameBuilder().sourceControl(0, 2).bytes();
    for (int k = 0; k < 5; ++k) analysis->analyseFrame(dated, ticks(k * 400000LL), ticks((k + 1) * 400000LL));
    analysis->analyseFrame(undated, ticks(2'000'000), ticks(2'400'000));
    analysis->SetShownPos(4);
    ASSERT_EQ(analysis->HistoryPos(), 6u);
    ASSERT_EQ(analysis->ShownPos(), 4u);
    const DvFrameFacts oldEntry0 = analysis->History(0);

    analysis->graphStopped();
    EXPECT_EQ(analysis->HistoryPos(), 0u);
    EXPECT_EQ(analysis->ShownPos(), 0u);
    EXPECT_EQ(analysis->previousStopTime(), MediaTime());
    // HasDate becomes true; the other facts of the last frame stay.
    const TDvFrameInfo& info = analysis->CurrentInfo();
    EXPECT_TRUE(info.HasDate);
    EXPECT_EQ(info.RecordedAt, DateTime());
    EXPECT_FALSE(info.HasTimecode);
    EXPECT_EQ(info.Timecode, (TDvTimecode{1, 2, 3, 4}));
    EXPECT_TRUE(info.Is16x9);

    // After a new start the first frame goes to entry 1; entry 0 still holds an old frame. No previous stop
    // time, so a start far from the last one is no gap.
    EXPECT_FALSE(analysis->analyseFrame(dated, ticks(90'000'000), ticks(90'400'000)));
    EXPECT_EQ(analysis->HistoryPos(), 1u);
    EXPECT_EQ(analysis->History(1).Info.RecordedAt, dateTime(2004, 7, 15, 13, 5, 9));
    EXPECT_EQ(analysis->History(0).Info, oldEntry0.Info);
    EXPECT_EQ(analysis->History(0).Header, oldEntry0.Header);
}

TEST(DvFrameAnalysisTest, TheShownEntryFollowsItsFrameAndIsGoneOnceTheRingLappedIt) {
    auto analysis = newAnalysis();
    DvFrameBuilder builder;
    auto analyseNumbered = [&](int k) {
        builder.recDate(0, 2010, 1, 1, 0, k / 60 % 60, k % 60);
        analysis->analyseFrame(builder.bytes(), ticks(k * 400000LL), ticks((k + 1) * 400000LL));
    };
    EXPECT_EQ(analysis->LatestFrame(), 0u);
    EXPECT_EQ(analysis->ShownFrame(), 0u);
    EXPECT_EQ(analysis->ShownEntry(), std::nullopt);

    for (int k = 1; k <= 10; ++k) analyseNumbered(k);
    analysis->SetShownPos(analysis->HistoryPos());
    ASSERT_EQ(analysis->ShownPos(), 10u);
    ASSERT_EQ(analysis->ShownFrame(), 10u);
    ASSERT_EQ(analysis->FrameEntry(10), analysis->ShownEntry());

    // 99 more frames fill every other entry: frame 10 is still there.
    for (int k = 11; k <= 109; ++k) analyseNumbered(k);
    auto shown = analysis->ShownEntry();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Frame, 10u);
    EXPECT_EQ(shown->Info.RecordedAt, dateTime(2010, 1, 1, 0, 0, 10));

    // One more lands in entry 10. The position still names the entry, which now holds frame 110; the
    // shown frame is gone and reads as absent, never as frame 110's facts.
    analyseNumbered(110);
    EXPECT_EQ(analysis->ShownPos(), 10u);
    EXPECT_EQ(analysis->History(10).Frame, 110u);
    EXPECT_EQ(analysis->ShownEntry(), std::nullopt);
    EXPECT_EQ(analysis->FrameEntry(10), std::nullopt);
    EXPECT_EQ(analysis->FrameEntry(11)->Info.RecordedAt, dateTime(2010, 1, 1, 0, 0, 11));

    // A stop clears the shown frame; numbering goes on, so no old number can name a new frame.
    analysis->graphStopped();
    EXPECT_EQ(analysis->ShownFrame(), 0u);
    EXPECT_EQ(analysis->ShownEntry(), std::nullopt);
    EXPECT_EQ(analysis->LatestFrame(), 110u);
    analyseNumbered(111);
    EXPECT_EQ(analysis->HistoryPos(), 1u);
    EXPECT_EQ(analysis->LatestFrame(), 111u);
    EXPECT_EQ(analysis->History(1).Frame, 111u);
    EXPECT_EQ(analysis->FrameEntry(101), std::nullopt);  // entry 1's previous frame
    analysis->SetShownPos(1);
    EXPECT_EQ(analysis->ShownEntry()->Info.RecordedAt, dateTime(2010, 1, 1, 0, 1, 51));
}

TEST(DvFrameAnalysisTest, ShowsAFrameByItsNumberWhereverTheRingKeepsIt) {
    auto analysis = newAnalysis();
    DvFrameBuilder builder;
    auto analyse = [&](int k) {
        builder.recDate(0, 2010, 1, 1, 0, k / 60 % 60, k % 60);
        analysis->analyseFrame(builder.bytes(), ticks(k * 400000LL), ticks((k + 1) * 400000LL));
    };
    for (int k = 1; k <= 5; ++k) analyse(k);
    // A stop sends frame 6 to entry 1, away from where its number alone would put it.
    analysis->graphStopped();
    for (int k = 6; k <= 8; ++k) analyse(k);

    EXPECT_TRUE(analysis->SetShownFrame(4));  // an older frame than the latest, before the stop
    EXPECT_EQ(analysis->ShownFrame(), 4u);
    EXPECT_EQ(analysis->ShownPos(), 4u);
    EXPECT_TRUE(analysis->SetShownFrame(7));
    EXPECT_EQ(analysis->ShownPos(), 2u);
    EXPECT_EQ(analysis->ShownEntry()->Info.RecordedAt, dateTime(2010, 1, 1, 0, 0, 7));

    // Frames the ring does not hold leave the shown frame as it was.
    for (DvFrameNumber absent : {DvFrameNumber{0}, DvFrameNumber{9}, DvFrameNumber{1} + 1000}) {
        EXPECT_FALSE(analysis->SetShownFrame(absent)) << absent;
        EXPECT_EQ(analysis->ShownFrame(), 7u) << absent;
    }
    for (int k = 9; k <= 120; ++k) analyse(k);
    EXPECT_FALSE(analysis->SetShownFrame(7));  // overwritten
    EXPECT_TRUE(analysis->SetShownFrame(120));
    EXPECT_EQ(analysis->ShownEntry()->Frame, 120u);
}

TEST(DvFrameAnalysisTest, AcceptsInterleavedDvAndDvsdVideoOnly) {
    struct Case {
        const char* major;
        const char* subtype;
        bool accepted;
    };
    const Case cases[] = {
        {"iavs", "dvsd", true},  {"iavs", "CDVC", true},  {"iavs", "\0\0\0\0", true},
        {"vids", "dvsd", true},  {"vids", "DVSD", false}, {"vids", "dv25", false},
        {"vids", "MJPG", false}, {"auds", "dvsd", false}, {"txts", "dvsd", false},
    };
    for (const auto& c : cases) {
        const FourCC major(u32le(Bytes(reinterpret_cast<const std::uint8_t*>(c.major), 4), 0));
        const FourCC subtype(u32le(Bytes(reinterpret_cast<const std::uint8_t*>(c.subtype), 4), 0));
        EXPECT_EQ(DvFrameAnalysis::accepts(major, subtype), c.accepted) << c.major << " " << c.subtype;
    }
}

}  // namespace
}  // namespace moraven
