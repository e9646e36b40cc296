#include "formats/dvcodes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;
using Frame = std::vector<std::uint8_t>;

// Byte offsets within a sequence, as the frame layout places them.
constexpr std::size_t kTimecodeFirst = 110;
constexpr std::size_t kTimecodeSecond = 190;
constexpr std::size_t kDateId = 458;
constexpr std::size_t kTimeId = 463;

std::uint8_t& byteOf(Frame& frame, int sequence, std::size_t offset) {
    return frame[DvFrameBuilder::at(sequence, offset)];
}

TEST(DvTimecodeTest, WordHoldsHoursInTheLowestByteAndFramesInTheHighest) {
    const TDvTimecode timecode{1, 2, 3, 4};
    EXPECT_EQ(timecode.word(), 0x04030201u);
    EXPECT_EQ(TDvTimecode::fromWord(0x04030201u), timecode);
    EXPECT_FALSE(TDvTimecode::fromWord(0x000000FFu).isPresent());
    EXPECT_FALSE(TDvTimecode{}.isPresent());
    EXPECT_FALSE(TDvRecDate{}.isPresent());
}

struct TimecodeCase {
    std::array<std::uint8_t, 4> bytes;  // frames, seconds, minutes, hours
    TDvTimecode expected;
};

TEST(DvReadTimecodeTest, DecodesEachFieldWithItsOwnTensBits) {
    const TimecodeCase cases[] = {
        {{0x12, 0x34, 0x56, 0x01}, {1, 56, 34, 12}},
        {{0x00, 0x00, 0x00, 0x00}, {0, 0, 0, 0}},
        // Flag bits above the tens digits are not part of the value.
        {{0xC4, 0x83, 0x82, 0xC1}, {1, 2, 3, 4}},
        // Digits as they stand: every nibble at its maximum, a units nibble above 9 included.
        {{0xFF, 0xFF, 0xFF, 0xFF}, {45, 85, 85, 45}},
    };
    for (const auto& c : cases) {
        const auto frame = DvFrameBuilder().timecodeBytes(2, c.bytes).bytes();
        EXPECT_EQ(DvReadTimecode(frame, 2).word(), c.expected.word())
            << "bytes " << int(c.bytes[0]) << " " << int(c.bytes[1]) << " " << int(c.bytes[2]) << " "
            << int(c.bytes[3]);
        EXPECT_FALSE(DvReadTimecode(frame, 1).isPresent()) << "another sequence has no pack";
    }
}

TEST(DvReadTimecodeTest, NeedsThePackIdInBothSubcodeBlocks) {
    auto onlyFirst = DvFrameBuilder().timecode(0, 1, 2, 3, 4, /*bothCopies=*/false).bytes();
    EXPECT_EQ(byteOf(onlyFirst, 0, kTimecodeFirst), 0x13);
    EXPECT_EQ(DvReadTimecode(onlyFirst, 0).hours, kDvNoTimecodeHours);

    auto onlySecond = DvFrameBuilder().timecode(0, 1, 2, 3, 4).bytes();
    byteOf(onlySecond, 0, kTimecodeFirst) = 0xFF;
    EXPECT_EQ(DvReadTimecode(onlySecond, 0).hours, kDvNoTimecodeHours);

    // The second copy only has to carry the id: the digits come from the first one.
    auto both = DvFrameBuilder().timecode(0, 1, 2, 3, 4).bytes();
    std::memset(&byteOf(both, 0, kTimecodeSecond + 1), 0x00, 4);
    EXPECT_EQ(DvReadTimecode(both, 0), (TDvTimecode{1, 2, 3, 4}));
}

TEST(DvFindTimecodeTest, TakesTheFirstSequenceWhoseHoursAreBelow128) {
    const auto frame = DvFrameBuilder(DvSystem::Ntsc525)
                           .timecode(0, 9, 9, 9, 9, /*bothCopies=*/false)  // absent: one copy only
                           .timecode(3, 0, 0, 0, 0)                        // hours 0 count as found
                           .timecode(4, 5, 6, 7, 8)
                           .bytes();
    EXPECT_EQ(DvFindTimecode(frame), (TDvTimecode{0, 0, 0, 0}));

    const auto none = DvFrameBuilder().timecode(1, 9, 9, 9, 9, false).bytes();
    EXPECT_EQ(DvFindTimecode(none).hours, kDvNoTimecodeHours);

    // The highest hours the digits can give (tens bits 0x30, units 0x0F) still count as a timecode.
    const auto highest = DvFrameBuilder().timecodeBytes(9, {0, 0, 0, 0x3F}).bytes();
    EXPECT_EQ(DvFindTimecode(highest), (TDvTimecode{45, 0, 0, 0}));
}

TEST(DvReadRecDateTest, CenturyFollowsTheTwoDigitYear) {
    const std::pair<std::uint8_t, std::int32_t> cases[] = {{0x39, 2039}, {0x40, 1940}, {0x99, 1999},
                                                           {0x05, 2005}, {0x00, 2000}, {0xFF, 2065}};
    for (const auto& [yearByte, year] : cases) {
        const auto frame =
            DvFrameBuilder()
                .recDatePacks(0, {0x62, 0xFF, 0xD5, 0x07, yearByte}, {0x63, 0xFF, 0x89, 0x85, 0xD3})
                .bytes();
        const TDvRecDate date = DvReadRecDate(frame, 0);
        EXPECT_EQ(date.year, year) << "year byte " << int(yearByte);
        EXPECT_EQ(date, (TDvRecDate{year, 7, 15, 13, 5, 9}));
    }
}

TEST(DvReadRecDateTest, DecodesDigitsUnderTheirMasksWithoutRangeChecks) {
    const auto flagged = DvFrameBuilder().recDate(0, 2004, 12, 31, 23, 59, 58).bytes();
    EXPECT_EQ(DvReadRecDate(flagged, 0), (TDvRecDate{2004, 12, 31, 23, 59, 58}));

    // Every bit set: day 45, month 25, hour 45, minute and second 85 come through as they stand.
    const auto saturated =
        DvFrameBuilder()
            .recDatePacks(0, {0x62, 0xFF, 0xFF, 0xFF, 0x99}, {0x63, 0xFF, 0xFF, 0xFF, 0xFF})
            .bytes();
    EXPECT_EQ(DvReadRecDate(saturated, 0), (TDvRecDate{1999, 25, 45, 45, 85, 85}));
}

TEST(DvReadRecDateTest, ZeroPackIdsCountAsPresent) {
    const auto zero = DvFrameBuilder().recDatePacks(0, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}).bytes();
    EXPECT_EQ(DvReadRecDate(zero, 0), (TDvRecDate{2000, 0, 0, 0, 0, 0}));

    struct IdCase {
        std::uint8_t dateId, timeId;
        bool present;
    };
    const IdCase cases[] = {{0x62, 0x63, true},  {0x00, 0x63, true},  {0x62, 0x00, true},
                            {0x62, 0xFF, false}, {0xFF, 0x63, false}, {0x63, 0x62, false},
                            {0x61, 0x63, false}, {0x62, 0x64, false}};
    for (const auto& c : cases) {
        auto frame = DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).bytes();
        byteOf(frame, 0, kDateId) = c.dateId;
        byteOf(frame, 0, kTimeId) = c.timeId;
        EXPECT_EQ(DvReadRecDate(frame, 0).isPresent(), c.present)
            << "ids " << int(c.dateId) << " " << int(c.timeId);
        EXPECT_EQ(DvReadRecDate(frame, 0).year, c.present ? 2004 : kDvNoRecDateYear);
    }
}

TEST(DvFindRecDateTest, ReturnsTheFirstDatedSequenceWithItsIndex) {
    auto frame = DvFrameBuilder().recDate(1, 2004, 7, 15, 13, 5, 9).recDate(2, 1999, 1, 1, 0, 0, 0).bytes();
    byteOf(frame, 0, kDateId) = 0x61;  // other packs in sequence 0's date and time slots
    byteOf(frame, 0, kTimeId) = 0x60;
    const DvFoundRecDate found = DvFindRecDate(frame);
    EXPECT_EQ(found.sequence, 1);
    EXPECT_EQ(found.date, (TDvRecDate{2004, 7, 15, 13, 5, 9}));

    const DvFoundRecDate none = DvFindRecDate(DvFrameBuilder().bytes());
    EXPECT_EQ(none.date.year, kDvNoRecDateYear);
    EXPECT_EQ(none.sequence, -1);
}

TEST(DvCodesTest, OnlySequencesZeroToNineHoldPacks) {
    // A PAL frame has sequences 10 and 11 too, but packs there are never read or written.
    auto frame = DvFrameBuilder(DvSystem::Pal625)
                     .recDate(10, 2004, 7, 15, 13, 5, 9)
                     .timecode(11, 1, 2, 3, 4)
                     .sourceControl(10, 2)
                     .bytes();
    EXPECT_FALSE(DvFindRecDate(frame).date.isPresent());
    EXPECT_FALSE(DvFindTimecode(frame).isPresent());
    EXPECT_FALSE(DvIs16x9(frame));
    for (int index : {-1, 10, 11, 1000}) {
        EXPECT_FALSE(DvReadRecDate(frame, index).isPresent()) << index;
        EXPECT_FALSE(DvReadTimecode(frame, index).isPresent()) << index;
        const Frame before = frame;
        DvWriteRecDate(frame, TDvRecDate{2010, 1, 2, 3, 4, 5}, index);
        EXPECT_EQ(frame, before) << index;
    }
}

TEST(DvWriteRecDateTest, WritesTheDigitsIntoZeroedPacks) {
    auto frame = DvFrameBuilder().recDatePacks(4, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}).bytes();
    Frame expected = frame;
    const std::pair<std::size_t, std::uint8_t> written[] = {{458, 0x62}, {460, 0x15}, {461, 0x07},
                                                            {462, 0x04}, {463, 0x63}, {465, 0x09},
                                                            {466, 0x05}, {467, 0x13}};
    for (const auto& [offset, value] : written) byteOf(expected, 4, offset) = value;

    DvWriteRecDate(frame, TDvRecDate{2004, 7, 15, 13, 5, 9}, 4);
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(DvFindRecDate(frame), (DvFoundRecDate{TDvRecDate{2004, 7, 15, 13, 5, 9}, 4}));
}

TEST(DvWriteRecDateTest, ReplacesOnlyTheDigitBitsOfItsFields) {
    // Byte 1 of both packs, the day-of-week bits of the month byte and the reserved bits keep their values.
    auto frame = DvFrameBuilder(DvSystem::Ntsc525)
                     .recDatePacks(0, {0x00, 0xAB, 0xC1, 0xA1, 0x99}, {0x00, 0xCD, 0xF1, 0x80, 0x40})
                     .bytes();
    Frame expected = frame;
    const std::pair<std::size_t, std::uint8_t> written[] = {{458, 0x62}, {460, 0xD5}, {461, 0xA7},
                                                            {462, 0x04}, {463, 0x63}, {465, 0x89},
                                                            {466, 0x85}, {467, 0x53}};
    for (const auto& [offset, value] : written) byteOf(expected, 0, offset) = value;

    DvWriteRecDate(frame, TDvRecDate{2004, 7, 15, 13, 5, 9}, 0);
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(byteOf(frame, 0, 459), 0xAB);
    EXPECT_EQ(byteOf(frame, 0, 464), 0xCD);
    EXPECT_EQ(byteOf(frame, 0, 461) & 0xE0, 0xA0);
}

TEST(DvWriteRecDateTest, TensTooLargeForTheirBitsKeepTheOldTens) {
    // Hour 45 (tens bits 4-5 hold at most 3), minute 80 (bits 4-6, at most 7), month 20 (bit 4, at most 1),
    // day 40: the old tens stay, the units are written. Seconds 79 fit. Year 2123 stores 23.
    auto frame = DvFrameBuilder()
                     .recDatePacks(0, {0x62, 0xFF, 0xD1, 0xF2, 0x88}, {0x63, 0xFF, 0x80, 0xB3, 0xE2})
                     .bytes();
    DvWriteRecDate(frame, TDvRecDate{2123, 20, 40, 45, 80, 79}, 0);
    EXPECT_EQ(byteOf(frame, 0, 460), 0xD0) << "day";
    EXPECT_EQ(byteOf(frame, 0, 461), 0xF0) << "month";
    EXPECT_EQ(byteOf(frame, 0, 462), 0x23) << "year";
    EXPECT_EQ(byteOf(frame, 0, 465), 0xF9) << "second";
    EXPECT_EQ(byteOf(frame, 0, 466), 0xB0) << "minute";
    EXPECT_EQ(byteOf(frame, 0, 467), 0xE5) << "hour";
}

TEST(DvWriteRecDateTest, RoundTripsThroughTheReaderAcrossTheCenturyRule) {
    for (const std::int32_t year : {1940, 1999, 2000, 2039}) {
        auto frame = DvFrameBuilder().recDate(7, 2011, 11, 11, 11, 11, 11).bytes();
        const TDvRecDate date{year, 12, 31, 23, 59, 59};
        DvWriteRecDate(frame, date, 7);
        EXPECT_EQ(DvReadRecDate(frame, 7), date);
    }
}

TEST(DvWriteRecDateTest, AnAbsentDateWritesNothing) {
    auto frame = DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).bytes();
    const Frame before = frame;
    DvWriteRecDate(frame, TDvRecDate{}, 0);
    DvWriteRecDate(frame, TDvRecDate{-7, 1, 1, 1, 1, 1}, 0);
    EXPECT_EQ(frame, before);
}

TEST(DvWriteTimecodeTest, WritesBothSubcodeBlocksAndKeepsTheFlagBits) {
    Frame frame = DvFrameBuilder().bytes();
    byteOf(frame, 4, kTimecodeFirst + 1) = 0xC0;  // drop-frame and colour-frame flags beside the frame digits
    DvWriteTimecode(frame, TDvTimecode{12, 34, 56, 29}, 4);
    EXPECT_EQ(DvReadTimecode(frame, 4), (TDvTimecode{12, 34, 56, 29}));
    EXPECT_EQ(byteOf(frame, 4, kTimecodeFirst + 1) & 0xC0, 0xC0);
    EXPECT_EQ(byteOf(frame, 4, kTimecodeSecond), 0x13);
    // Sync block 0 of each subcode block carries the same pack.
    EXPECT_EQ(byteOf(frame, 4, kTimecodeFirst - 24), 0x13);
    EXPECT_EQ(byteOf(frame, 4, kTimecodeSecond - 24 + 4) & 0x3F, 0x12);  // hours 12 in BCD
    EXPECT_FALSE(DvReadTimecode(frame, 3).isPresent());

    const Frame before = frame;
    DvWriteTimecode(frame, TDvTimecode{}, 5);
    DvWriteTimecode(frame, TDvTimecode{1, 2, 3, 4}, 10);
    EXPECT_EQ(frame, before);
}

TEST(DvSystemOfTest, ReadsTheHeaderSystemByte) {
    EXPECT_EQ(DvSystemOf(DvFrameBuilder(DvSystem::Pal625).bytes()), DvSystem::Pal625);
    EXPECT_EQ(DvSystemOf(DvFrameBuilder(DvSystem::Ntsc525).bytes()), DvSystem::Ntsc525);
    EXPECT_EQ(static_cast<int>(DvSystem::Pal625), 1);
    EXPECT_EQ(static_cast<int>(DvSystem::Ntsc525), 2);
    auto frame = DvFrameBuilder().bytes();
    for (const std::uint8_t other : std::initializer_list<std::uint8_t>{0x80, 0x00, 0xFF, 0x3E}) {
        frame[3] = other;
        EXPECT_EQ(DvSystemOf(frame), DvSystem::Unknown) << int(other);
    }
    // Only sequence 0's header counts.
    frame[3] = 0x3F;
    byteOf(frame, 1, 3) = 0x80;
    EXPECT_EQ(DvSystemOf(frame), DvSystem::Ntsc525);
}

TEST(DvAudioTest, FrequencyAndQuantisationComeFromTheAudioSourcePack) {
    struct AudioCase {
        std::uint8_t formatByte;
        std::int32_t frequency, quantization;
    };
    const AudioCase cases[] = {{0x00, 48000, 16}, {0x08, 44100, 16}, {0x11, 32000, 12},
                               {0x1A, 0, 0},      {0x3F, 0, 0},      {0xC0, 48000, 16}};
    for (const auto& c : cases) {
        const auto frame = DvFrameBuilder().audioSource(c.formatByte).bytes();
        EXPECT_EQ(DvAudioFrequency(frame), c.frequency) << int(c.formatByte);
        EXPECT_EQ(DvAudioQuantization(frame), c.quantization) << int(c.formatByte);
    }
    auto absent = DvFrameBuilder().audioSource(0x00).bytes();
    absent[4323] = 0x51;
    EXPECT_EQ(DvAudioFrequency(absent), kDvNoAudioPack);
    EXPECT_EQ(DvAudioQuantization(absent), kDvNoAudioPack);
    EXPECT_EQ(DvAudioFrequency(DvFrameBuilder().bytes()), kDvNoAudioPack);
}

TEST(DvIs16x9Test, DisplaySelectAndAp3OfTheFirstSequenceWithSourceControl) {
    struct ShapeCase {
        std::uint8_t display, ap3;
        bool wide;
    };
    const ShapeCase cases[] = {{7, 1, false}, {7, 0, true},  {2, 0, true},  {2, 1, true},
                               {2, 7, true},  {0, 0, false}, {1, 0, false}, {7, 3, false}};
    for (const auto& c : cases) {
        const auto frame = DvFrameBuilder().sourceControl(0, c.display).ap3(0, c.ap3).bytes();
        EXPECT_EQ(DvIs16x9(frame), c.wide) << "DISP " << int(c.display) << " AP3 " << int(c.ap3);
        EXPECT_TRUE(DvHasSourceControl(frame));
    }
    EXPECT_FALSE(DvIs16x9(DvFrameBuilder().bytes()));

    // The first sequence with the pack decides, with its own header's AP3.
    const auto later = DvFrameBuilder().ap3(0, 1).sourceControl(3, 7).ap3(3, 0).sourceControl(4, 0).bytes();
    EXPECT_TRUE(DvIs16x9(later));
    EXPECT_FALSE(DvHasSourceControl(later)) << "source control is looked for in sequence 0 only";
    const auto laterAp3 = DvFrameBuilder().ap3(0, 0).sourceControl(3, 7).ap3(3, 1).bytes();
    EXPECT_FALSE(DvIs16x9(laterAp3));
    const auto firstWins = DvFrameBuilder().sourceControl(1, 0).sourceControl(2, 2).bytes();
    EXPECT_FALSE(DvIs16x9(firstWins));
}

// A complete frame cut short: packs within reach of the buffer must still not be read.
void expectNoPacks(std::span<std::uint8_t> buffer) {
    EXPECT_FALSE(DvReadTimecode(buffer, 0).isPresent());
    EXPECT_FALSE(DvReadRecDate(buffer, 0).isPresent());
    EXPECT_FALSE(DvFindRecDate(buffer).date.isPresent());
    EXPECT_EQ(DvFindRecDate(buffer).sequence, -1);
    EXPECT_FALSE(DvFindTimecode(buffer).isPresent());
    EXPECT_FALSE(DvHasSourceControl(buffer));
    EXPECT_EQ(DvSystemOf(buffer), DvSystem::Unknown);
    EXPECT_EQ(DvAudioFrequency(buffer), kDvNoAudioPack);
    EXPECT_EQ(DvAudioQuantization(buffer), kDvNoAudioPack);
    EXPECT_FALSE(DvIs16x9(buffer));
    const Frame before(buffer.begin(), buffer.end());
    DvWriteRecDate(buffer, TDvRecDate{2004, 7, 15, 13, 5, 9}, 0);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), before.begin(), before.end()));
}

TEST(DvCodesTest, BuffersShorterThanOneNtscFrameHoldNoPacks) {
    const auto full = DvFrameBuilder(DvSystem::Ntsc525)
                          .recDate(0, 2004, 7, 15, 13, 5, 9)
                          .timecode(0, 1, 2, 3, 4)
                          .sourceControl(0, 2)
                          .audioSource(0x00)
                          .bytes();
    ASSERT_EQ(full.size(), kDvMinFrameBytes);
    ASSERT_TRUE(DvFindRecDate(full).date.isPresent());
    for (const std::size_t size :
         {kDvMinFrameBytes - 1, std::size_t{4328}, std::size_t{468}, std::size_t{1}}) {
        // Exactly `size` bytes on the heap, so that the address sanitizer flags any read past the end.
        const auto buffer = std::make_unique<std::uint8_t[]>(size);
        std::memcpy(buffer.get(), full.data(), size);
        SCOPED_TRACE(size);
        expectNoPacks({buffer.get(), size});
    }
    expectNoPacks({});
}

}  // namespace
}  // namespace moraven
