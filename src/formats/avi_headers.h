#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/byte_order.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"

// The fixed header layouts of an AVI file, each known here and nowhere else: the main header ("avih"), the
// stream header ("strh"), the OpenDML video properties ("vprp"), the OpenDML extended header ("dmlh"), the
// OpenDML index header and entries ("indx", "ix##") and the entries of the old index ("idx1"). The stream
// format ("strf") is a MediaType's format block (formats/media_type.h).
//
// Every decoder takes the chunk's data as given and reads only within it: a shorter chunk leaves the fields
// it does not hold zero, longer data is ignored past the layout. Every encoder gives the layout's bytes,
// little-endian, exactly as a writer puts them after the chunk header. Decoding an encoded header gives it
// back. The named offsets below are those of the fields in the chunk's data (after the 8-byte chunk header);
// the header patcher writes single fields at them.
namespace moraven {

// A frame rate or sample rate as the fraction rate/scale of the stream header.
struct AviRate {
    std::uint32_t numerator = 0;    // dwRate
    std::uint32_t denominator = 0;  // dwScale
    bool valid() const { return numerator != 0 && denominator != 0; }
    double value() const { return valid() ? static_cast<double>(numerator) / denominator : 0.0; }
};

// `count` units of scale/rate seconds in 100 ns ticks, rounded to the nearest tick; zero when the rate is
// not valid or the result does not fit.
MediaTime aviTicks(std::uint64_t count, AviRate rate);

// ---- chunk headers ----

namespace chunkhead {
inline constexpr std::size_t kId = 0;
inline constexpr std::size_t kSize = 4;  // of the data, the pad byte after odd data not counted
inline constexpr std::size_t kBytes = 8;
inline constexpr std::size_t kListType = 8;  // "RIFF" and "LIST": the form or list type opens the data
inline constexpr std::size_t kListHeaderBytes = 12;
static_assert(kSize + 4 == kBytes && kListType + 4 == kListHeaderBytes);
}  // namespace chunkhead

// The 8 bytes before every RIFF chunk's data.
struct RiffChunkHeader {
    FourCC id;
    std::uint32_t size = 0;

    friend bool operator==(const RiffChunkHeader&, const RiffChunkHeader&) = default;
};

RiffChunkHeader decodeChunkHeader(Bytes bytes);
std::array<std::uint8_t, chunkhead::kBytes> encodeChunkHeader(const RiffChunkHeader& header);

// ---- avih ----

namespace avih {
inline constexpr std::size_t kMicroSecPerFrame = 0;
inline constexpr std::size_t kMaxBytesPerSec = 4;
inline constexpr std::size_t kPaddingGranularity = 8;
inline constexpr std::size_t kFlags = 12;
inline constexpr std::size_t kTotalFrames = 16;
inline constexpr std::size_t kInitialFrames = 20;
inline constexpr std::size_t kStreams = 24;
inline constexpr std::size_t kSuggestedBufferSize = 28;
inline constexpr std::size_t kWidth = 32;
inline constexpr std::size_t kHeight = 36;
inline constexpr std::size_t kReserved = 40;  // four 32-bit words
inline constexpr std::size_t kBytes = 56;
static_assert(kReserved + 4 * 4 == kBytes);
}  // namespace avih

// Main header flags (dwFlags).
inline constexpr std::uint32_t kAvifHasIndex = 0x10;
inline constexpr std::uint32_t kAvifIsInterleaved = 0x100;
inline constexpr std::uint32_t kAvifTrustChunkType = 0x800;

// "avih": the main AVI header. Fields are zero when the file has none.
struct AviMainHeader {
    std::uint32_t microSecPerFrame = 0;
    std::uint32_t maxBytesPerSec = 0;
    std::uint32_t paddingGranularity = 0;
    std::uint32_t flags = 0;
    std::uint32_t totalFrames = 0;  // frames in the first RIFF form only; the dmlh counts them all
    std::uint32_t initialFrames = 0;
    std::uint32_t streams = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::array<std::uint32_t, 4> reserved{};

    friend bool operator==(const AviMainHeader&, const AviMainHeader&) = default;
};

AviMainHeader decodeMainHeader(Bytes data);
std::array<std::uint8_t, avih::kBytes> encodeMainHeader(const AviMainHeader& header);

// ---- strh ----

namespace strh {
inline constexpr std::size_t kType = 0;
inline constexpr std::size_t kHandler = 4;
inline constexpr std::size_t kFlags = 8;
inline constexpr std::size_t kPriority = 12;
inline constexpr std::size_t kLanguage = 14;
inline constexpr std::size_t kInitialFrames = 16;
inline constexpr std::size_t kScale = 20;
inline constexpr std::size_t kRate = 24;  // right after dwScale: the patcher writes both in one go
inline constexpr std::size_t kStart = 28;
inline constexpr std::size_t kLength = 32;
inline constexpr std::size_t kSuggestedBufferSize = 36;
inline constexpr std::size_t kQuality = 40;
inline constexpr std::size_t kSampleSize = 44;
inline constexpr std::size_t kFrameLeft = 48;  // rcFrame: four signed 16-bit values
inline constexpr std::size_t kFrameTop = 50;
inline constexpr std::size_t kFrameRight = 52;
inline constexpr std::size_t kFrameBottom = 54;
inline constexpr std::size_t kBytes = 56;  // some writers add 8 bytes more; they are not read
static_assert(kRate == kScale + 4 && kFrameBottom + 2 == kBytes);
}  // namespace strh

// "strh": a stream header.
struct AviStreamHeader {
    FourCC type;     // "vids", "auds", "iavs", "txts", ...
    FourCC handler;  // "dvsd", ...; often zero for audio
    std::uint32_t flags = 0;
    std::uint16_t priority = 0;
    std::uint16_t language = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t scale = 0;  // time unit of the stream is scale/rate seconds
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // as written by the file's writer; the sample list is what counts
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t quality = 0;
    std::uint32_t sampleSize = 0;  // 0: one sample per chunk; else bytes per sample (audio: block align)
    std::int16_t frameLeft = 0;
    std::int16_t frameTop = 0;
    std::int16_t frameRight = 0;
    std::int16_t frameBottom = 0;

    AviRate rateFraction() const { return {rate, scale}; }

    friend bool operator==(const AviStreamHeader&, const AviStreamHeader&) = default;
};

AviStreamHeader decodeStreamHeader(Bytes data);
std::array<std::uint8_t, strh::kBytes> encodeStreamHeader(const AviStreamHeader& header);

// ---- vprp ----

namespace vprp {
inline constexpr std::size_t kVideoFormatToken = 0;
inline constexpr std::size_t kVideoStandard = 4;
inline constexpr std::size_t kVerticalRefreshRate = 8;
inline constexpr std::size_t kHorizontalTotal = 12;
inline constexpr std::size_t kVerticalTotalLines = 16;
inline constexpr std::size_t kFrameAspectRatio = 20;  // x in the high word, y in the low word
inline constexpr std::size_t kFrameWidth = 24;
inline constexpr std::size_t kFrameHeight = 28;
inline constexpr std::size_t kFieldsPerFrame = 32;
inline constexpr std::size_t kFixedBytes = 36;       // before the field descriptions
inline constexpr std::size_t kFieldBytes = 8 * 4;    // one field description: eight 32-bit words
static_assert(kFieldsPerFrame + 4 == kFixedBytes);
}  // namespace vprp

// One field description of a vprp chunk.
struct AviVideoField {
    std::uint32_t compressedHeight = 0;
    std::uint32_t compressedWidth = 0;
    std::uint32_t validHeight = 0;
    std::uint32_t validWidth = 0;
    std::uint32_t validXOffset = 0;
    std::uint32_t validYOffset = 0;
    std::uint32_t videoXOffset = 0;    // first active sample of a line, from the line's start
    std::uint32_t videoYStartLine = 0;  // first active line of the field

    friend bool operator==(const AviVideoField&, const AviVideoField&) = default;
};

// "vprp": the OpenDML video properties header.
struct AviVideoProperties {
    std::uint32_t videoFormatToken = 0;
    std::uint32_t videoStandard = 0;
    std::uint32_t verticalRefreshRate = 0;
    std::uint32_t horizontalTotal = 0;
    std::uint32_t verticalTotalLines = 0;
    std::uint16_t aspectX = 0;  // frame aspect ratio: high word of dwFrameAspectRatio (16 for 16:9)
    std::uint16_t aspectY = 0;  // low word (9 for 16:9)
    std::uint32_t frameWidth = 0;
    std::uint32_t frameHeight = 0;
    std::uint32_t fieldsPerFrame = 0;
    // The field descriptions the data holds whole, at most fieldsPerFrame of them. The encoder writes these
    // (and not fieldsPerFrame of them): a writer keeps the two in step.
    std::vector<AviVideoField> fields;

    friend bool operator==(const AviVideoProperties&, const AviVideoProperties&) = default;
};

AviVideoProperties decodeVideoProperties(Bytes data);
std::vector<std::uint8_t> encodeVideoProperties(const AviVideoProperties& properties);

// ---- dmlh ----

namespace dmlh {
inline constexpr std::size_t kTotalFrames = 0;
inline constexpr std::size_t kBytes = 248;  // the total and 61 reserved words
}  // namespace dmlh

// "dmlh" in LIST "odml": the OpenDML extended header.
struct AviOdmlHeader {
    std::uint32_t totalFrames = 0;  // video frames of every RIFF form

    friend bool operator==(const AviOdmlHeader&, const AviOdmlHeader&) = default;
};

AviOdmlHeader decodeOdmlHeader(Bytes data);
std::array<std::uint8_t, dmlh::kBytes> encodeOdmlHeader(const AviOdmlHeader& header);

// ---- indx and ix## ----

namespace indx {
inline constexpr std::size_t kLongsPerEntry = 0;
inline constexpr std::size_t kIndexSubType = 2;
inline constexpr std::size_t kIndexType = 3;
inline constexpr std::size_t kEntriesInUse = 4;
inline constexpr std::size_t kChunkId = 8;
inline constexpr std::size_t kBaseOffset = 12;  // standard index: 64-bit base; super index: reserved
inline constexpr std::size_t kReserved = 20;
inline constexpr std::size_t kHeaderBytes = 24;
inline constexpr std::size_t kSuperEntryBytes = 16;    // 64-bit offset, size, duration
inline constexpr std::size_t kStandardEntryBytes = 8;  // offset from the base, size
static_assert(kReserved + 4 == kHeaderBytes);
}  // namespace indx

inline constexpr std::uint8_t kAviIndexOfIndexes = 0x00;
inline constexpr std::uint8_t kAviIndexOfChunks = 0x01;
// Bit 31 of a standard index entry's size: the chunk is not a key frame.
inline constexpr std::uint32_t kAviIndexNotKeyFrame = 0x80000000u;

// The 24-byte header shared by super indexes ("indx") and standard indexes ("ix##").
struct AviIndexHeader {
    std::uint16_t longsPerEntry = 0;  // 4 for a super index, 2 for a standard index
    std::uint8_t indexSubType = 0;
    std::uint8_t indexType = 0;  // kAviIndexOfIndexes or kAviIndexOfChunks
    std::uint32_t entriesInUse = 0;
    FourCC chunkId;                 // the chunks indexed ("00dc")
    std::uint64_t baseOffset = 0;  // standard index: the file offset entries count from
    std::uint32_t reserved = 0;

    friend bool operator==(const AviIndexHeader&, const AviIndexHeader&) = default;
};

AviIndexHeader decodeIndexHeader(Bytes data);
std::array<std::uint8_t, indx::kHeaderBytes> encodeIndexHeader(const AviIndexHeader& header);

// One entry of a super index: where a standard index chunk is.
struct AviSuperIndexEntry {
    std::uint64_t offset = 0;    // file offset of the ix## chunk (its header)
    std::uint32_t size = 0;      // its bytes, header included
    std::uint32_t duration = 0;  // frames, or sound blocks, it indexes

    friend bool operator==(const AviSuperIndexEntry&, const AviSuperIndexEntry&) = default;
};

AviSuperIndexEntry decodeSuperIndexEntry(Bytes entry);
std::array<std::uint8_t, indx::kSuperEntryBytes> encodeSuperIndexEntry(const AviSuperIndexEntry& entry);

// One entry of a standard index: a chunk's data at the index's base offset + offset.
struct AviStandardIndexEntry {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;  // without the key-frame bit
    bool keyFrame = true;

    friend bool operator==(const AviStandardIndexEntry&, const AviStandardIndexEntry&) = default;
};

AviStandardIndexEntry decodeStandardIndexEntry(Bytes entry);
std::array<std::uint8_t, indx::kStandardEntryBytes> encodeStandardIndexEntry(const AviStandardIndexEntry& entry);

// ---- idx1 ----

namespace idx1 {
inline constexpr std::size_t kChunkId = 0;
inline constexpr std::size_t kFlags = 4;
inline constexpr std::size_t kOffset = 8;  // of the chunk header, from the "movi" type or the file start
inline constexpr std::size_t kSize = 12;
inline constexpr std::size_t kEntryBytes = 16;
}  // namespace idx1

inline constexpr std::uint32_t kAviIdx1KeyFrame = 0x10;

struct AviIdx1Entry {
    FourCC chunkId;
    std::uint32_t flags = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;

    friend bool operator==(const AviIdx1Entry&, const AviIdx1Entry&) = default;
};

AviIdx1Entry decodeIdx1Entry(Bytes entry);
std::array<std::uint8_t, idx1::kEntryBytes> encodeIdx1Entry(const AviIdx1Entry& entry);

}  // namespace moraven
