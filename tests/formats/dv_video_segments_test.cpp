#include "formats/dv_video_segments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <vector>

namespace moraven {
namespace {

using Frame = std::vector<std::uint8_t>;

// A frame of random bytes whose header names `system`'s consumer layout.
Frame frameOf(DvSystem system, std::uint32_t seed) {
    const auto map = DvSegmentMap::ofSystem(system);
    Frame frame(map->frameBytes());
    std::mt19937 random(seed);
    for (auto& byte : frame) byte = static_cast<std::uint8_t>(random());
    frame[3] = system == DvSystem::Pal625 ? 0xBF : 0x3F;
    frame[4] = 0x68;   // APT 0
    frame[451] = 0x20;  // STYPE 0
    return frame;
}

class DvSegmentMapTest : public ::testing::TestWithParam<DvSystem> {};

INSTANTIATE_TEST_SUITE_P(Systems, DvSegmentMapTest, ::testing::Values(DvSystem::Pal625, DvSystem::Ntsc525),
                         [](const auto& test) { return test.param == DvSystem::Pal625 ? "Pal" : "Ntsc"; });

// The macroblocks tile the picture, each pixel once, and every segment's blocks are video blocks of their own.
TEST_P(DvSegmentMapTest, MacroblocksTileThePictureAndBlocksAreDistinctVideoBlocks) {
    const auto map = DvSegmentMap::ofSystem(GetParam());
    ASSERT_TRUE(map);
    std::vector<int> covered(static_cast<std::size_t>(map->width() * map->height()), 0);
    std::set<std::size_t> offsets;
    for (std::size_t segment = 0; segment < map->segmentCount(); ++segment) {
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
            const PictureRect rect = map->macroblockRect(segment, m);
            ASSERT_FALSE(rect.isEmpty());
            ASSERT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.left + rect.width <= map->width() &&
                        rect.top + rect.height <= map->height())
                << segment << " " << m;
            for (int y = rect.top; y < rect.top + rect.height; ++y) {
                for (int x = rect.left; x < rect.left + rect.width; ++x) ++covered[static_cast<std::size_t>(y * map->width() + x)];
            }
            const std::size_t offset = map->blockOffset(segment, m);
            ASSERT_EQ(offset % kDvBlockBytes, 0u);
            ASSERT_LT(offset, map->frameBytes());
            // Blocks 0..5 of a sequence are header, subcode and VAUX; every 16th from 6 on is audio.
            const std::size_t block = offset / kDvBlockBytes % kDvBlocksPerSequence;
            EXPECT_GE(block, 7u);
            EXPECT_NE((block - 6) % 16, 0u) << block;
            EXPECT_EQ(offset / kDvBlockBytes / kDvBlocksPerSequence, segment / kDvSegmentsPerSequence);
            if (m > 0) {
                EXPECT_EQ(offset, map->blockOffset(segment, m - 1) + kDvBlockBytes);
            }
            offsets.insert(offset);
        }
    }
    EXPECT_EQ(offsets.size(), map->segmentCount() * kDvMacroblocksPerSegment);
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), static_cast<long>(covered.size()));
    EXPECT_TRUE(map->macroblockRect(map->segmentCount(), 0).isEmpty());
    EXPECT_TRUE(map->macroblockRect(0, kDvMacroblocksPerSegment).isEmpty());
}

TEST_P(DvSegmentMapTest, ARectangleTouchesTheSegmentsOfItsMacroblocks) {
    const auto map = DvSegmentMap::ofSystem(GetParam());
    ASSERT_TRUE(map);
    const int w = map->width();
    const int h = map->height();
    // Each macroblock alone, and one pixel of it, touch its segment only.
    for (const std::size_t segment : {std::size_t{0}, std::size_t{13}, map->segmentCount() - 1}) {
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
            const PictureRect rect = map->macroblockRect(segment, m);
            DvSegmentSet expected;
            expected.set(segment);
            EXPECT_EQ(map->segmentsTouching(rect), expected);
            EXPECT_EQ(map->segmentsTouching({rect.left + rect.width - 1, rect.top + rect.height - 1, 1, 1}), expected);
        }
    }
    struct Case {
        PictureRect rect;
        std::size_t count;
    };
    const std::vector<Case> cases{
        {{0, 0, w, h}, map->segmentCount()},
        {{-100, -100, w + 200, h + 200}, map->segmentCount()},
        {{0, 0, 0, 10}, 0},
        {{10, 10, 10, -1}, 0},
        {{w, 0, 50, h}, 0},
        {{0, h, w, 50}, 0},
        {{std::numeric_limits<int>::max() - 1, 0, std::numeric_limits<int>::max(), h}, 0},
        {{std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top << " " << c.rect.width << "x" << c.rect.height);
        EXPECT_EQ(map->segmentsTouching(c.rect).count(), c.count);
    }
    // A text box at the bottom right touches some of the segments, no more than it touches macroblocks.
    const auto box = map->segmentsTouching({w - 300, h - 90, 270, 60});
    EXPECT_GT(box.count(), 0u);
    EXPECT_LE(box.count(), std::size_t{(270 / 16 + 2) * (60 / 8 + 2)});
}

// Blanking keeps each block's ID and STA/QNO bytes and each DCT block's first twelve bits, then writes the
// end-of-block code and zeros; no other byte of the frame changes.
TEST_P(DvSegmentMapTest, BlankingWritesOnlyTheSegmentsAreasAfterTheirFirstTwelveBits) {
    const auto map = DvSegmentMap::ofSystem(GetParam());
    const Frame before = frameOf(GetParam(), 7);
    Frame frame = before;
    const std::size_t segment = map->segmentCount() - 2;
    ASSERT_TRUE(DvBlankSegment(frame, *map, segment));
    std::vector<bool> inSegment(frame.size(), false);
    constexpr std::size_t kAreas[] = {4, 18, 32, 46, 60, 70, 80};
    for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
        const std::size_t block = map->blockOffset(segment, m);
        for (std::size_t k = 0; k < kDvBlockBytes; ++k) inSegment[block + k] = true;
        for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(frame[block + k], before[block + k]);
        for (std::size_t area = 0; area < 6; ++area) {
            const std::size_t at = block + kAreas[area];
            EXPECT_EQ(frame[at], before[at]);
            EXPECT_EQ(frame[at + 1], (before[at + 1] & 0xF0) | 0x06);
            for (std::size_t k = at + 2; k < block + kAreas[area + 1]; ++k) ASSERT_EQ(frame[k], 0) << k - block;
        }
    }
    for (std::size_t k = 0; k < frame.size(); ++k) {
        if (!inSegment[k]) {
            ASSERT_EQ(frame[k], before[k]) << k;
        }
    }

    // Out of range or a frame of the wrong size: refused, nothing written.
    Frame untouched = before;
    EXPECT_FALSE(DvBlankSegment(untouched, *map, map->segmentCount()));
    Frame shorter(before.begin(), before.end() - 1);
    EXPECT_FALSE(DvBlankSegment(shorter, *map, 0));
    EXPECT_FALSE(DvBlankSegmentsExcept(shorter, *map, DvSegmentSet()));
    EXPECT_EQ(untouched, before);
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), before.begin()));

    // Blanking all but a set equals blanking each segment outside it.
    DvSegmentSet keep;
    keep.set(0).set(40).set(map->segmentCount() - 1);
    Frame all = before;
    Frame each = before;
    ASSERT_TRUE(DvBlankSegmentsExcept(all, *map, keep));
    for (std::size_t s = 0; s < map->segmentCount(); ++s) {
        if (!keep.test(s)) DvBlankSegment(each, *map, s);
    }
    EXPECT_EQ(all, each);
    EXPECT_TRUE(std::equal(all.begin() + static_cast<long>(map->blockOffset(40, 0)),
                           all.begin() + static_cast<long>(map->blockOffset(40, 4) + kDvBlockBytes),
                           before.begin() + static_cast<long>(map->blockOffset(40, 0))));
}

// A splice takes the segments' bytes from the new coding and every other byte (and their IDs) from the
// original.
TEST_P(DvSegmentMapTest, ASpliceTakesOnlyItsSegmentsFromTheNewCodingAndKeepsTheirIds) {
    const auto map = DvSegmentMap::ofSystem(GetParam());
    DvSplice splice{frameOf(GetParam(), 1), {}};
    splice.segments.set(3).set(100).set(map->segmentCount() - 1);
    Frame encoded = frameOf(GetParam(), 2);
    Frame out{1, 2, 3};
    ASSERT_TRUE(DvApplySplice(splice, encoded, out));
    ASSERT_EQ(out.size(), splice.original.size());
    std::vector<bool> fromEncoded(out.size(), false);
    for (std::size_t s = 0; s < map->segmentCount(); ++s) {
        if (!splice.segments.test(s)) continue;
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
            for (std::size_t k = 3; k < kDvBlockBytes; ++k) fromEncoded[map->blockOffset(s, m) + k] = true;
        }
    }
    for (std::size_t k = 0; k < out.size(); ++k) ASSERT_EQ(out[k], fromEncoded[k] ? encoded[k] : splice.original[k]) << k;

    // A new coding of another layout, or an original without a map, splices nothing.
    const Frame kept = out;
    Frame otherSystem = frameOf(GetParam() == DvSystem::Pal625 ? DvSystem::Ntsc525 : DvSystem::Pal625, 3);
    EXPECT_FALSE(DvApplySplice(splice, otherSystem, out));
    Frame fiftyMbits = encoded;
    fiftyMbits[451] = 0x24;  // STYPE 4
    EXPECT_FALSE(DvApplySplice(splice, fiftyMbits, out));
    DvSplice unmapped{fiftyMbits, splice.segments};
    EXPECT_FALSE(DvApplySplice(unmapped, encoded, out));
    EXPECT_EQ(out, kept);
}

// Packing: each segment into a free slot of the same macroblock shapes, all of a frame's or none; moving the
// bytes and the pixels of a segment to its slot keeps everything else.
TEST_P(DvSegmentMapTest, PackingPlacesWholeFramesIntoSlotsOfTheSameShape) {
    const auto map = DvSegmentMap::ofSystem(GetParam());
    // At 525/60 a macroblock 16 pixels wide is one of the right edge's.
    const auto isEdge = [&](std::size_t segment) {
        return GetParam() == DvSystem::Ntsc525 && map->macroblockRect(segment, 4).width == 16;
    };
    DvSegmentSet edge;
    for (std::size_t s = 0; s < map->segmentCount(); ++s) edge.set(s, isEdge(s));
    EXPECT_EQ(edge.count(), GetParam() == DvSystem::Ntsc525 ? 30u : 0u);

    DvSegmentPacking packing(*map);
    DvSegmentSet some = map->segmentsTouching({600, map->height() - 100, 120, 80});  // holds edge segments at 525/60
    std::vector<DvSegmentMove> moves;
    std::set<std::size_t> slots;
    std::size_t frames = 0;
    while (packing.place(some, moves)) ++frames;
    EXPECT_EQ(moves.size(), frames * some.count());
    EXPECT_GE(frames, 1u);
    for (const DvSegmentMove& move : moves) {
        EXPECT_EQ(isEdge(move.segment), isEdge(move.slot)) << move.segment << " -> " << move.slot;
        EXPECT_TRUE(slots.insert(move.slot).second) << "slot " << move.slot << " twice";
    }
    // A refused frame placed nothing: what is left still takes a single segment of a free shape.
    const std::size_t before = moves.size();
    DvSegmentSet one;
    one.set(0);
    if (slots.size() < map->segmentCount() - edge.count()) {
        EXPECT_TRUE(packing.place(one, moves));
        EXPECT_EQ(moves.size(), before + 1);
    }

    const Frame from = frameOf(GetParam(), 11);
    Frame to = frameOf(GetParam(), 12);
    const Frame kept = to;
    ASSERT_TRUE(DvMoveSegment(from, 5, to, 200, *map));
    for (std::size_t k = 0; k < to.size(); ++k) {
        const std::size_t block = k / kDvBlockBytes * kDvBlockBytes;
        int m = 0;
        while (m < kDvMacroblocksPerSegment && map->blockOffset(200, m) != block) ++m;
        const bool moved = m < kDvMacroblocksPerSegment && k - block >= 3;
        ASSERT_EQ(to[k], moved ? from[map->blockOffset(5, m) + (k - block)] : kept[k]) << k;
    }
    EXPECT_FALSE(DvMoveSegment(from, map->segmentCount(), to, 0, *map));

    // Pixels: a picture numbered by position, moved from segment 5 to 200, lands on 200's macroblocks only.
    std::vector<std::uint8_t> picture(DvPictureBytes(*map));
    for (std::size_t k = 0; k < picture.size(); ++k) picture[k] = static_cast<std::uint8_t>(k * 7 + k / 720);
    std::vector<std::uint8_t> target(picture.size(), 0);
    ASSERT_TRUE(DvMovePixels(picture, 5, target, 200, *map));
    std::size_t luma = 0;
    for (int y = 0; y < map->height(); ++y) {
        for (int x = 0; x < map->width(); ++x) {
            const std::size_t at = static_cast<std::size_t>(y * map->width() + x);
            int m = 0;
            while (m < kDvMacroblocksPerSegment && !map->macroblockRect(200, m).intersects({x, y, 1, 1})) ++m;
            if (m == kDvMacroblocksPerSegment) {
                ASSERT_EQ(target[at], 0) << x << "," << y;
                continue;
            }
            const PictureRect to200 = map->macroblockRect(200, m);
            const PictureRect from5 = map->macroblockRect(5, m);
            const int sx = from5.left + (x - to200.left);
            const int sy = from5.top + (y - to200.top);
            ASSERT_EQ(target[at], picture[static_cast<std::size_t>(sy * map->width() + sx)]) << x << "," << y;
            ++luma;
        }
    }
    EXPECT_EQ(luma, 5u * 256u);
    const std::size_t chromaChanged = static_cast<std::size_t>(
        std::count_if(target.begin() + map->width() * map->height(), target.end(), [](std::uint8_t v) { return v != 0; }));
    EXPECT_LE(chromaChanged, 2u * 5u * 64u);
    EXPECT_GT(chromaChanged, 5u * 64u);
    if (GetParam() == DvSystem::Ntsc525) {
        std::size_t normal = 0;
        while (isEdge(normal)) ++normal;
        std::size_t edgeSegment = 0;
        while (!isEdge(edgeSegment)) ++edgeSegment;
        EXPECT_FALSE(DvMovePixels(picture, normal, target, edgeSegment, *map));
    }
    EXPECT_FALSE(DvMovePixels(Bytes(picture).first(100), 5, target, 200, *map));
}

// Only the consumer layouts have a map; the frame's own bytes decide, as a decoder reads them.
TEST(DvSegmentMapOfFrameTest, OnlyConsumerLayoutsOfTheRightSizeHaveAMap) {
    struct Case {
        const char* name;
        DvSystem system;
        std::size_t index;  // a byte to set, or none
        std::uint8_t value;
        long sizeChange;
        std::optional<DvSystem> expected;
    };
    constexpr std::size_t kNone = 0;
    const std::vector<Case> cases{
        {"pal", DvSystem::Pal625, kNone, 0, 0, DvSystem::Pal625},
        {"ntsc", DvSystem::Ntsc525, kNone, 0, 0, DvSystem::Ntsc525},
        {"ntsc with other reserved header bits", DvSystem::Ntsc525, 3, 0x00, 0, DvSystem::Ntsc525},
        {"ntsc with APT 1, as ffmpeg writes it", DvSystem::Ntsc525, 4, 0xF9, 0, DvSystem::Ntsc525},
        {"dvcpro 4:1:1 at 625/50 (APT 1)", DvSystem::Pal625, 4, 0x69, 0, std::nullopt},
        {"50 Mbit/s (STYPE 4)", DvSystem::Pal625, 451, 0x24, 0, std::nullopt},
        {"high definition (STYPE 0x14)", DvSystem::Ntsc525, 451, 0x14, 0, std::nullopt},
        {"pal frame one byte short", DvSystem::Pal625, kNone, 0, -1, std::nullopt},
        {"ntsc frame one byte long", DvSystem::Ntsc525, kNone, 0, 1, std::nullopt},
        {"ntsc header on a pal-sized frame", DvSystem::Pal625, 3, 0x3F, 0, std::nullopt},
        {"a frame of 450 bytes", DvSystem::Pal625, kNone, 0, -143'550, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frame frame = frameOf(c.system, 5);
        if (c.index != kNone) frame[c.index] = c.value;
        frame.resize(static_cast<std::size_t>(static_cast<long>(frame.size()) + c.sizeChange));
        const auto map = DvSegmentMap::ofFrame(frame);
        ASSERT_EQ(map.has_value(), c.expected.has_value());
        if (map) {
            EXPECT_EQ(map->system(), *c.expected);
        }
    }
    EXPECT_FALSE(DvSegmentMap::ofFrame(Frame()));
    EXPECT_FALSE(DvSegmentMap::ofSystem(DvSystem::Unknown));
}

}  // namespace
}  // namespace moraven
