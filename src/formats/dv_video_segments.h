#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dvcodes.h"

// The video segments of a consumer DV frame, where their pixels lie and where their bytes lie.
//
// DV compresses each video segment on its own: five macroblocks, taken from five superblocks spread over the
// picture, coded into five consecutive DIF blocks of 80 bytes with a fixed bit budget. A segment can therefore
// be decoded, replaced or blanked without touching any other. A frame is made of DIF sequences (12 at 625/50,
// 10 at 525/60) of 150 blocks: the header, two subcode and three VAUX blocks, then nine groups of one audio
// block and fifteen video blocks (three segments). Segment number s * 27 + j names segment j (0..26) of
// sequence s.
//
// Only the two consumer layouts have a map: 625/50 with 4:2:0 macroblocks of 16 x 16 pixels (720 x 576) and
// 525/60 with 4:1:1 macroblocks of 32 x 8 pixels, those of the rightmost 16 columns 16 x 16 (720 x 480). A
// frame of any other layout (DVCPRO's 4:1:1 at 625/50, 50 Mbit/s, high definition, or a frame of the wrong
// size) has none, and callers then code whole pictures.
//
// Everything here is a pure function of its arguments; any thread.
namespace moraven {

// A rectangle of a picture, in pixels from its top-left corner; empty when its width or height is not above 0.
struct PictureRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool intersects(const PictureRect& other) const;
    friend bool operator==(const PictureRect&, const PictureRect&) = default;
};

inline constexpr std::size_t kDvBlockBytes = 80;
inline constexpr std::size_t kDvBlocksPerSequence = 150;
inline constexpr std::size_t kDvSegmentsPerSequence = 27;
inline constexpr int kDvMacroblocksPerSegment = 5;
inline constexpr std::size_t kDvMaxSegments = 12 * kDvSegmentsPerSequence;  // a 625/50 frame's

// A set of segments by number (s * 27 + j).
using DvSegmentSet = std::bitset<kDvMaxSegments>;

class DvSegmentMap {
public:
    // The map of a system's consumer layout; nothing for DvSystem::Unknown.
    static std::optional<DvSegmentMap> ofSystem(DvSystem system);
    // The map of the layout `frame` is coded in, read as a DV decoder reads it: the header block's DSF bit
    // (byte 3, bit 7) names the system, the frame must be exactly that system's size, the STYPE bits of the VAUX
    // source pack's place (block 5, byte 451, low five) must be 0 (25 Mbit/s) and, at 625/50, the APT bits
    // (byte 4, low three) 0 too: there APT 1 is DVCPRO's 4:1:1 layout. At 525/60 every APT value has the one
    // 4:1:1 layout (encoders write 0 or 1). Nothing for any other frame.
    static std::optional<DvSegmentMap> ofFrame(Bytes frame);

    DvSystem system() const { return m_system; }
    int width() const { return 720; }
    int height() const;
    std::size_t sequences() const;
    std::size_t frameBytes() const { return sequences() * kDvBlocksPerSequence * kDvBlockBytes; }
    std::size_t segmentCount() const { return sequences() * kDvSegmentsPerSequence; }

    // The pixels of macroblock `macroblock` (0..4, in the order of its DIF blocks) of segment `segment`
    // (below segmentCount()); an empty rectangle for numbers out of range.
    PictureRect macroblockRect(std::size_t segment, int macroblock) const;
    // The byte offset in the frame of that macroblock's DIF block; the segment's five blocks follow each other.
    std::size_t blockOffset(std::size_t segment, int macroblock) const;
    // The segments one of whose macroblocks shares at least one pixel with `rect` (none for an empty one).
    DvSegmentSet segmentsTouching(const PictureRect& rect) const;

    friend bool operator==(const DvSegmentMap&, const DvSegmentMap&) = default;

private:
    explicit DvSegmentMap(DvSystem system) : m_system(system) {}
    DvSystem m_system;
};

// Blanks segment `segment` of `frame` in place so that it decodes flat and cheaply: each DIF block keeps its
// three ID bytes and its STA/QNO byte, each of its six DCT blocks its first twelve bits (DC coefficient, DCT
// mode and class), which an end-of-block code and zero bits then follow. False, with nothing written, when
// `frame` is not map.frameBytes() long or the segment is out of range.
bool DvBlankSegment(MutableBytes frame, const DvSegmentMap& map, std::size_t segment);
// Blanks every segment of `frame` that `keep` does not hold; false (nothing written) as above.
bool DvBlankSegmentsExcept(MutableBytes frame, const DvSegmentMap& map, const DvSegmentSet& keep);
// Copies the DIF blocks of `segments` from `from` into `to`, their ID bytes excepted (`to` keeps its own).
// False, with nothing written, when either frame is not map.frameBytes() long.
bool DvCopySegments(Bytes from, MutableBytes to, const DvSegmentMap& map, const DvSegmentSet& segments);

// Packing segments of several frames into one. A segment's coding depends only on the pixels of its five
// macroblocks, in order, and not on where they lie: decoding or coding one packed frame, whose segments are
// those of several frames moved into free places of the same shape, serves all of them at the cost of one.
struct DvSegmentMove {
    std::size_t segment = 0;  // in its own frame or picture
    std::size_t slot = 0;     // the segment of the packed frame or picture that holds it
};

class DvSegmentPacking {
public:
    explicit DvSegmentPacking(const DvSegmentMap& map) : m_map(map) {}

    const DvSegmentMap& map() const { return m_map; }
    // Places every segment of `segments` into a free slot whose macroblocks have the same shapes (at 525/60 a
    // segment holding one of the right edge's 16 x 16 macroblocks goes only where such a one is) and appends
    // the moves to `moves`; false, with nothing placed or appended, when they do not all fit.
    bool place(const DvSegmentSet& segments, std::vector<DvSegmentMove>& moves);

private:
    DvSegmentMap m_map;
    DvSegmentSet m_used;
};

// Copies the DIF blocks of segment `fromSegment` of `from` into those of segment `toSegment` of `to`, their ID
// bytes excepted. False, with nothing written, when either frame is not map.frameBytes() long or a segment
// is out of range.
bool DvMoveSegment(Bytes from, std::size_t fromSegment, MutableBytes to, std::size_t toSegment, const DvSegmentMap& map);

// The bytes of a decoded picture of the map's system as the program keeps them: tight planes, luma, then two
// chroma planes (4:2:0 at 625/50: half the width and height; 4:1:1 at 525/60: a quarter of the width).
std::size_t DvPictureBytes(const DvSegmentMap& map);
// Copies the pixels of segment `fromSegment`'s macroblocks in picture `from` to those of segment `toSegment`'s
// in `to`, macroblock by macroblock in order, in all three planes. False, with nothing written, when a picture
// is not DvPictureBytes() long, a segment is out of range or the two segments' macroblocks differ in shape.
bool DvMovePixels(Bytes from, std::size_t fromSegment, MutableBytes to, std::size_t toSegment, const DvSegmentMap& map);

// A frame being coded again in part: the original frame and the segments of it that a new coding of the
// picture replaces (those the change touches); every other byte of the original stays.
struct DvSplice {
    std::vector<std::uint8_t> original;
    DvSegmentSet segments;
};

// `splice`'s original with its segments taken from `encoded` into `frame` (overwritten). False, with `frame`
// untouched, when the original has no map or `encoded` is not coded in the same layout.
bool DvApplySplice(const DvSplice& splice, Bytes encoded, std::vector<std::uint8_t>& frame);

}  // namespace moraven
