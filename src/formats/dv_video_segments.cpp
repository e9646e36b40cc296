#include "formats/dv_video_segments.h"

#include <algorithm>
#include <array>

namespace moraven {

namespace {

// The header block's bytes that name the layout, and the STYPE byte of the VAUX source pack (block 5, pack 9).
constexpr std::size_t kDsfByte = 3;
constexpr std::uint8_t kDsfBit = 0x80;
constexpr std::size_t kAptByte = 4;
constexpr std::uint8_t kAptMask = 0x07;
constexpr std::size_t kStypeByte = 5 * kDvBlockBytes + 3 + 9 * 5 + 3;
constexpr std::uint8_t kStypeMask = 0x1F;
static_assert(kStypeByte == 451);

// A DIF block: three ID bytes, the STA/QNO byte, then the DCT blocks of its macroblock in fixed areas: four
// luma blocks of 14 bytes, then two chroma blocks of 10 bytes.
constexpr std::size_t kIdBytes = 3;
constexpr std::size_t kFirstAreaByte = 4;
constexpr std::array<std::size_t, 6> kAreaBytes{14, 14, 14, 14, 10, 10};
// Each DCT block starts with a 9-bit DC coefficient, the DCT mode bit and two class bits: twelve bits, so the
// end-of-block code (0110) fills the low half of the area's second byte.
constexpr std::uint8_t kKeptHighBits = 0xF0;
constexpr std::uint8_t kEndOfBlock = 0x06;

// The sequence's blocks before its first video block: header, two subcode, three VAUX and the first audio one.
constexpr std::size_t kFirstVideoBlock = 7;
constexpr std::size_t kSegmentsPerGroup = 3;  // each group of 15 video blocks follows one audio block

// The five macroblocks of a segment come from five superblock columns and from superblock rows spread by
// these steps from the segment's sequence, in the order of the segment's DIF blocks.
constexpr std::array<int, 5> kSuperblockColumn{2, 1, 3, 0, 4};
constexpr std::array<int, 5> kSuperblockRowStep{2, 6, 8, 0, 4};

constexpr int kPalSequences = 12;
constexpr int kNtscSequences = 10;

// Superblocks at 625/50: 9 x 3 macroblocks of 16 x 16 pixels, numbered down the first column, up the second,
// and so on.
PictureRect palMacroblock(int sequence, int segment, int macroblock) {
    const int row = (sequence + kSuperblockRowStep[macroblock]) % kPalSequences;
    const int column = segment / 3;
    const int down = segment % 3;
    const int y = column % 2 == 0 ? down : 2 - down;
    constexpr int kSize = 16;
    return {(kSuperblockColumn[macroblock] * 9 + column) * kSize, (row * 3 + y) * kSize, kSize, kSize};
}

// Superblocks at 525/60: six rows of macroblocks of 32 x 8 pixels, numbered down a column, up the next, and so
// on. Superblock columns 0, 2 and 4 start at a column's top, 1 and 3 three macroblocks down a column they
// share with their left neighbour (each superblock is four and a half columns wide). The last column of
// column 4 lies at the picture's right edge, 16 pixels wide: its three macroblocks are 16 x 16.
PictureRect ntscMacroblock(int sequence, int segment, int macroblock) {
    constexpr std::array<int, 5> kFirstColumn{0, 4, 9, 13, 18};  // in 32-pixel columns
    const int superColumn = kSuperblockColumn[macroblock];
    const int row = (sequence + kSuperblockRowStep[macroblock]) % kNtscSequences;
    const int place = segment + (superColumn % 2 == 1 ? 3 : 0);
    const int column = kFirstColumn[superColumn] + place / 6;
    const int down = place % 6;
    const int y = (place / 6) % 2 == 0 ? down : 5 - down;
    constexpr int kRightEdgeColumn = 22;
    if (column == kRightEdgeColumn) return {kRightEdgeColumn * 32, row * 48 + y * 16, 16, 16};
    return {column * 32, row * 48 + y * 8, 32, 8};
}

using MacroblockTable = std::array<std::array<PictureRect, kDvMacroblocksPerSegment>, kDvMaxSegments>;

const MacroblockTable& macroblocksOf(DvSystem system) {
    static const auto build = [](DvSystem which) {
        MacroblockTable table{};
        const bool pal = which == DvSystem::Pal625;
        const int sequences = pal ? kPalSequences : kNtscSequences;
        for (int sequence = 0; sequence < sequences; ++sequence) {
            for (int segment = 0; segment < static_cast<int>(kDvSegmentsPerSequence); ++segment) {
                auto& places = table[static_cast<std::size_t>(sequence) * kDvSegmentsPerSequence +
                                     static_cast<std::size_t>(segment)];
                for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
                    places[static_cast<std::size_t>(m)] =
                        pal ? palMacroblock(sequence, segment, m) : ntscMacroblock(sequence, segment, m);
                }
            }
        }
        return table;
    };
    static const MacroblockTable pal = build(DvSystem::Pal625);
    static const MacroblockTable ntsc = build(DvSystem::Ntsc525);
    return system == DvSystem::Pal625 ? pal : ntsc;
}

void blankBlock(MutableBytes block) {
    std::size_t at = kFirstAreaByte;
    for (const std::size_t size : kAreaBytes) {
        block[at + 1] = static_cast<std::uint8_t>((block[at + 1] & kKeptHighBits) | kEndOfBlock);
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(at + 2),
                  block.begin() + static_cast<std::ptrdiff_t>(at + size), std::uint8_t{0});
        at += size;
    }
}

static_assert(kFirstAreaByte + 4 * 14 + 2 * 10 == kDvBlockBytes);

}  // namespace

bool PictureRect::intersects(const PictureRect& other) const {
    if (isEmpty() || other.isEmpty()) return false;
    // In 64 bits: a far-off rectangle's right edge must not wrap.
    const std::int64_t right = std::int64_t{left} + width;
    const std::int64_t bottom = std::int64_t{top} + height;
    const std::int64_t otherRight = std::int64_t{other.left} + other.width;
    const std::int64_t otherBottom = std::int64_t{other.top} + other.height;
    return left < otherRight && other.left < right && top < otherBottom && other.top < bottom;
}

std::optional<DvSegmentMap> DvSegmentMap::ofSystem(DvSystem system) {
    if (system != DvSystem::Pal625 && system != DvSystem::Ntsc525) return std::nullopt;
    return DvSegmentMap(system);
}

std::optional<DvSegmentMap> DvSegmentMap::ofFrame(Bytes frame) {
    if (!fits(frame, kStypeByte, 1)) return std::nullopt;
    const DvSystem system = (frame[kDsfByte] & kDsfBit) != 0 ? DvSystem::Pal625 : DvSystem::Ntsc525;
    const DvSegmentMap map(system);
    if (frame.size() != map.frameBytes()) return std::nullopt;
    if ((frame[kStypeByte] & kStypeMask) != 0) return std::nullopt;
    if (system == DvSystem::Pal625 && (frame[kAptByte] & kAptMask) != 0) return std::nullopt;
    return map;
}

int DvSegmentMap::height() const { return m_system == DvSystem::Pal625 ? 576 : 480; }

std::size_t DvSegmentMap::sequences() const {
    return static_cast<std::size_t>(m_system == DvSystem::Pal625 ? kPalSequences : kNtscSequences);
}

PictureRect DvSegmentMap::macroblockRect(std::size_t segment, int macroblock) const {
    if (segment >= segmentCount() || macroblock < 0 || macroblock >= kDvMacroblocksPerSegment) return {};
    return macroblocksOf(m_system)[segment][static_cast<std::size_t>(macroblock)];
}

std::size_t DvSegmentMap::blockOffset(std::size_t segment, int macroblock) const {
    const std::size_t sequence = segment / kDvSegmentsPerSequence;
    const std::size_t inSequence = segment % kDvSegmentsPerSequence;
    const std::size_t block = kFirstVideoBlock + inSequence / kSegmentsPerGroup + inSequence * 5 +
                              static_cast<std::size_t>(std::clamp(macroblock, 0, kDvMacroblocksPerSegment - 1));
    return (sequence * kDvBlocksPerSequence + block) * kDvBlockBytes;
}

DvSegmentSet DvSegmentMap::segmentsTouching(const PictureRect& rect) const {
    DvSegmentSet touched;
    if (rect.isEmpty()) return touched;
    const MacroblockTable& table = macroblocksOf(m_system);
    for (std::size_t segment = 0; segment < segmentCount(); ++segment) {
        for (const PictureRect& place : table[segment]) {
            if (place.intersects(rect)) {
                touched.set(segment);
                break;
            }
        }
    }
    return touched;
}

bool DvBlankSegment(MutableBytes frame, const DvSegmentMap& map, std::size_t segment) {
    if (frame.size() != map.frameBytes() || segment >= map.segmentCount()) return false;
    for (int m = 0; m < kDvMacroblocksPerSegment; ++m) blankBlock(frame.subspan(map.blockOffset(segment, m), kDvBlockBytes));
    return true;
}

bool DvBlankSegmentsExcept(MutableBytes frame, const DvSegmentMap& map, const DvSegmentSet& keep) {
    if (frame.size() != map.frameBytes()) return false;
    for (std::size_t segment = 0; segment < map.segmentCount(); ++segment) {
        if (!keep.test(segment)) DvBlankSegment(frame, map, segment);
    }
    return true;
}

bool DvCopySegments(Bytes from, MutableBytes to, const DvSegmentMap& map, const DvSegmentSet& segments) {
    if (from.size() != map.frameBytes() || to.size() != map.frameBytes()) return false;
    for (std::size_t segment = 0; segment < map.segmentCount(); ++segment) {
        if (!segments.test(segment)) continue;
        // The five blocks follow each other; each keeps its own ID bytes.
        for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
            const std::size_t at = map.blockOffset(segment, m) + kIdBytes;
            std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(at), kDvBlockBytes - kIdBytes,
                        to.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    return true;
}

namespace {

bool sameShapes(const DvSegmentMap& map, std::size_t a, std::size_t b) {
    for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
        const PictureRect ra = map.macroblockRect(a, m);
        const PictureRect rb = map.macroblockRect(b, m);
        if (ra.width != rb.width || ra.height != rb.height) return false;
    }
    return true;
}

// One plane of a picture in tight rows, and how it is subsampled against the luma.
struct Plane {
    std::size_t offset = 0;
    int width = 0;
    int height = 0;
    int across = 1;
    int down = 1;
};

std::array<Plane, 3> planesOf(const DvSegmentMap& map) {
    const int w = map.width();
    const int h = map.height();
    const bool pal = map.system() == DvSystem::Pal625;
    const int across = pal ? 2 : 4;
    const int down = pal ? 2 : 1;
    const Plane luma{0, w, h, 1, 1};
    const Plane cb{static_cast<std::size_t>(w) * static_cast<std::size_t>(h), w / across, h / down, across, down};
    Plane cr = cb;
    cr.offset = cb.offset + static_cast<std::size_t>(cb.width) * static_cast<std::size_t>(cb.height);
    return {luma, cb, cr};
}

}  // namespace

bool DvSegmentPacking::place(const DvSegmentSet& segments, std::vector<DvSegmentMove>& moves) {
    DvSegmentSet used = m_used;
    std::vector<DvSegmentMove> placed;
    for (std::size_t segment = 0; segment < m_map.segmentCount(); ++segment) {
        if (!segments.test(segment)) continue;
        std::size_t slot = 0;
        while (slot < m_map.segmentCount() && (used.test(slot) || !sameShapes(m_map, segment, slot))) ++slot;
        if (slot == m_map.segmentCount()) return false;
        used.set(slot);
        placed.push_back({segment, slot});
    }
    m_used = used;
    moves.insert(moves.end(), placed.begin(), placed.end());
    return true;
}

bool DvMoveSegment(Bytes from, std::size_t fromSegment, MutableBytes to, std::size_t toSegment, const DvSegmentMap& map) {
    if (from.size() != map.frameBytes() || to.size() != map.frameBytes()) return false;
    if (fromSegment >= map.segmentCount() || toSegment >= map.segmentCount()) return false;
    for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
        const std::size_t source = map.blockOffset(fromSegment, m) + kIdBytes;
        const std::size_t target = map.blockOffset(toSegment, m) + kIdBytes;
        std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(source), kDvBlockBytes - kIdBytes,
                    to.begin() + static_cast<std::ptrdiff_t>(target));
    }
    return true;
}

std::size_t DvPictureBytes(const DvSegmentMap& map) {
    const Plane cr = planesOf(map)[2];
    return cr.offset + static_cast<std::size_t>(cr.width) * static_cast<std::size_t>(cr.height);
}

bool DvMovePixels(Bytes from, std::size_t fromSegment, MutableBytes to, std::size_t toSegment, const DvSegmentMap& map) {
    const std::size_t bytes = DvPictureBytes(map);
    if (from.size() != bytes || to.size() != bytes) return false;
    if (fromSegment >= map.segmentCount() || toSegment >= map.segmentCount()) return false;
    if (!sameShapes(map, fromSegment, toSegment)) return false;
    for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
        const PictureRect source = map.macroblockRect(fromSegment, m);
        const PictureRect target = map.macroblockRect(toSegment, m);
        for (const Plane& plane : planesOf(map)) {
            // Macroblocks lie on whole chroma samples.
            const auto rowOf = [&plane](const PictureRect& rect, int row) {
                return plane.offset + static_cast<std::size_t>(rect.top / plane.down + row) *
                                          static_cast<std::size_t>(plane.width) +
                       static_cast<std::size_t>(rect.left / plane.across);
            };
            const auto width = static_cast<std::size_t>(source.width / plane.across);
            for (int row = 0; row < source.height / plane.down; ++row) {
                std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(rowOf(source, row)), width,
                            to.begin() + static_cast<std::ptrdiff_t>(rowOf(target, row)));
            }
        }
    }
    return true;
}

bool DvApplySplice(const DvSplice& splice, Bytes encoded, std::vector<std::uint8_t>& frame) {
    const auto map = DvSegmentMap::ofFrame(splice.original);
    if (!map || DvSegmentMap::ofFrame(encoded) != map) return false;
    frame.assign(splice.original.begin(), splice.original.end());
    return DvCopySegments(encoded, frame, *map, splice.segments);
}

}  // namespace moraven
