#include "formats/avi_headers.h"

#include <algorithm>
#include <limits>

namespace moraven {

MediaTime aviTicks(std::uint64_t count, AviRate rate) {
    __extension__ typedef unsigned __int128 Wide;
    if (!rate.valid()) return MediaTime();
    const Wide numerator =
        static_cast<Wide>(count) * rate.denominator * static_cast<Wide>(MediaTime::kTicksPerSecond);
    const Wide ticks = (numerator + rate.numerator / 2) / rate.numerator;
    if (ticks > static_cast<Wide>(std::numeric_limits<std::int64_t>::max())) return MediaTime();
    return MediaTime::fromTicks(static_cast<std::int64_t>(ticks));
}

RiffChunkHeader decodeChunkHeader(Bytes b) { return {FourCC::at(b, chunkhead::kId), u32le(b, chunkhead::kSize)}; }

std::array<std::uint8_t, chunkhead::kBytes> encodeChunkHeader(const RiffChunkHeader& header) {
    std::array<std::uint8_t, chunkhead::kBytes> b{};
    putU32le(b, chunkhead::kId, header.id.value());
    putU32le(b, chunkhead::kSize, header.size);
    return b;
}

AviMainHeader decodeMainHeader(Bytes b) {
    AviMainHeader h;
    h.microSecPerFrame = u32le(b, avih::kMicroSecPerFrame);
    h.maxBytesPerSec = u32le(b, avih::kMaxBytesPerSec);
    h.paddingGranularity = u32le(b, avih::kPaddingGranularity);
    h.flags = u32le(b, avih::kFlags);
    h.totalFrames = u32le(b, avih::kTotalFrames);
    h.initialFrames = u32le(b, avih::kInitialFrames);
    h.streams = u32le(b, avih::kStreams);
    h.suggestedBufferSize = u32le(b, avih::kSuggestedBufferSize);
    h.width = u32le(b, avih::kWidth);
    h.height = u32le(b, avih::kHeight);
    for (std::size_t i = 0; i < h.reserved.size(); ++i) h.reserved[i] = u32le(b, avih::kReserved + 4 * i);
    return h;
}

std::array<std::uint8_t, avih::kBytes> encodeMainHeader(const AviMainHeader& h) {
    std::array<std::uint8_t, avih::kBytes> b{};
    putU32le(b, avih::kMicroSecPerFrame, h.microSecPerFrame);
    putU32le(b, avih::kMaxBytesPerSec, h.maxBytesPerSec);
    putU32le(b, avih::kPaddingGranularity, h.paddingGranularity);
    putU32le(b, avih::kFlags, h.flags);
    putU32le(b, avih::kTotalFrames, h.totalFrames);
    putU32le(b, avih::kInitialFrames, h.initialFrames);
    putU32le(b, avih::kStreams, h.streams);
    putU32le(b, avih::kSuggestedBufferSize, h.suggestedBufferSize);
    putU32le(b, avih::kWidth, h.width);
    putU32le(b, avih::kHeight, h.height);
    for (std::size_t i = 0; i < h.reserved.size(); ++i) putU32le(b, avih::kReserved + 4 * i, h.reserved[i]);
    return b;
}

AviStreamHeader decodeStreamHeader(Bytes b) {
    AviStreamHeader h;
    h.type = FourCC::at(b, strh::kType);
    h.handler = FourCC::at(b, strh::kHandler);
    h.flags = u32le(b, strh::kFlags);
    h.priority = u16le(b, strh::kPriority);
    h.language = u16le(b, strh::kLanguage);
    h.initialFrames = u32le(b, strh::kInitialFrames);
    h.scale = u32le(b, strh::kScale);
    h.rate = u32le(b, strh::kRate);
    h.start = u32le(b, strh::kStart);
    h.length = u32le(b, strh::kLength);
    h.suggestedBufferSize = u32le(b, strh::kSuggestedBufferSize);
    h.quality = u32le(b, strh::kQuality);
    h.sampleSize = u32le(b, strh::kSampleSize);
    h.frameLeft = s16le(b, strh::kFrameLeft);
    h.frameTop = s16le(b, strh::kFrameTop);
    h.frameRight = s16le(b, strh::kFrameRight);
    h.frameBottom = s16le(b, strh::kFrameBottom);
    return h;
}

std::array<std::uint8_t, strh::kBytes> encodeStreamHeader(const AviStreamHeader& h) {
    std::array<std::uint8_t, strh::kBytes> b{};
    putU32le(b, strh::kType, h.type.value());
    putU32le(b, strh::kHandler, h.handler.value());
    putU32le(b, strh::kFlags, h.flags);
    putU16le(b, strh::kPriority, h.priority);
    putU16le(b, strh::kLanguage, h.language);
    putU32le(b, strh::kInitialFrames, h.initialFrames);
    putU32le(b, strh::kScale, h.scale);
    putU32le(b, strh::kRate, h.rate);
    putU32le(b, strh::kStart, h.start);
    putU32le(b, strh::kLength, h.length);
    putU32le(b, strh::kSuggestedBufferSize, h.suggestedBufferSize);
    putU32le(b, strh::kQuality, h.quality);
    putU32le(b, strh::kSampleSize, h.sampleSize);
    putU16le(b, strh::kFrameLeft, static_cast<std::uint16_t>(h.frameLeft));
    putU16le(b, strh::kFrameTop, static_cast<std::uint16_t>(h.frameTop));
    putU16le(b, strh::kFrameRight, static_cast<std::uint16_t>(h.frameRight));
    putU16le(b, strh::kFrameBottom, static_cast<std::uint16_t>(h.frameBottom));
    return b;
}

AviVideoProperties decodeVideoProperties(Bytes b) {
    AviVideoProperties v;
    v.videoFormatToken = u32le(b, vprp::kVideoFormatToken);
    v.videoStandard = u32le(b, vprp::kVideoStandard);
    v.verticalRefreshRate = u32le(b, vprp::kVerticalRefreshRate);
    v.horizontalTotal = u32le(b, vprp::kHorizontalTotal);
    v.verticalTotalLines = u32le(b, vprp::kVerticalTotalLines);
    const std::uint32_t aspect = u32le(b, vprp::kFrameAspectRatio);
    v.aspectX = static_cast<std::uint16_t>(aspect >> 16);
    v.aspectY = static_cast<std::uint16_t>(aspect & 0xFFFF);
    v.frameWidth = u32le(b, vprp::kFrameWidth);
    v.frameHeight = u32le(b, vprp::kFrameHeight);
    v.fieldsPerFrame = u32le(b, vprp::kFieldsPerFrame);
    // Only the descriptions the data holds whole; the count in the file allocates nothing.
    const std::size_t room = b.size() < vprp::kFixedBytes ? 0 : (b.size() - vprp::kFixedBytes) / vprp::kFieldBytes;
    const std::size_t count = std::min<std::size_t>(room, v.fieldsPerFrame);
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes f = b.subspan(vprp::kFixedBytes + i * vprp::kFieldBytes, vprp::kFieldBytes);
        v.fields.push_back({u32le(f, 0), u32le(f, 4), u32le(f, 8), u32le(f, 12), u32le(f, 16), u32le(f, 20),
                            u32le(f, 24), u32le(f, 28)});
    }
    return v;
}

std::vector<std::uint8_t> encodeVideoProperties(const AviVideoProperties& v) {
    std::vector<std::uint8_t> b(vprp::kFixedBytes + vprp::kFieldBytes * v.fields.size(), 0);
    putU32le(b, vprp::kVideoFormatToken, v.videoFormatToken);
    putU32le(b, vprp::kVideoStandard, v.videoStandard);
    putU32le(b, vprp::kVerticalRefreshRate, v.verticalRefreshRate);
    putU32le(b, vprp::kHorizontalTotal, v.horizontalTotal);
    putU32le(b, vprp::kVerticalTotalLines, v.verticalTotalLines);
    putU32le(b, vprp::kFrameAspectRatio, (std::uint32_t{v.aspectX} << 16) | v.aspectY);
    putU32le(b, vprp::kFrameWidth, v.frameWidth);
    putU32le(b, vprp::kFrameHeight, v.frameHeight);
    putU32le(b, vprp::kFieldsPerFrame, v.fieldsPerFrame);
    for (std::size_t i = 0; i < v.fields.size(); ++i) {
        const AviVideoField& f = v.fields[i];
        const std::uint32_t words[] = {f.compressedHeight, f.compressedWidth, f.validHeight,  f.validWidth,
                                       f.validXOffset,     f.validYOffset,    f.videoXOffset, f.videoYStartLine};
        std::size_t at = vprp::kFixedBytes + i * vprp::kFieldBytes;
        for (const std::uint32_t word : words) {
            putU32le(b, at, word);
            at += 4;
        }
    }
    return b;
}

AviOdmlHeader decodeOdmlHeader(Bytes b) { return {u32le(b, dmlh::kTotalFrames)}; }

std::array<std::uint8_t, dmlh::kBytes> encodeOdmlHeader(const AviOdmlHeader& h) {
    std::array<std::uint8_t, dmlh::kBytes> b{};
    putU32le(b, dmlh::kTotalFrames, h.totalFrames);
    return b;
}

AviIndexHeader decodeIndexHeader(Bytes b) {
    AviIndexHeader h;
    h.longsPerEntry = u16le(b, indx::kLongsPerEntry);
    h.indexSubType = u8(b, indx::kIndexSubType);
    h.indexType = u8(b, indx::kIndexType);
    h.entriesInUse = u32le(b, indx::kEntriesInUse);
    h.chunkId = FourCC::at(b, indx::kChunkId);
    h.baseOffset = u64le(b, indx::kBaseOffset);
    h.reserved = u32le(b, indx::kReserved);
    return h;
}

std::array<std::uint8_t, indx::kHeaderBytes> encodeIndexHeader(const AviIndexHeader& h) {
    std::array<std::uint8_t, indx::kHeaderBytes> b{};
    putU16le(b, indx::kLongsPerEntry, h.longsPerEntry);
    b[indx::kIndexSubType] = h.indexSubType;
    b[indx::kIndexType] = h.indexType;
    putU32le(b, indx::kEntriesInUse, h.entriesInUse);
    putU32le(b, indx::kChunkId, h.chunkId.value());
    putU64le(b, indx::kBaseOffset, h.baseOffset);
    putU32le(b, indx::kReserved, h.reserved);
    return b;
}

AviSuperIndexEntry decodeSuperIndexEntry(Bytes e) { return {u64le(e, 0), u32le(e, 8), u32le(e, 12)}; }

std::array<std::uint8_t, indx::kSuperEntryBytes> encodeSuperIndexEntry(const AviSuperIndexEntry& entry) {
    std::array<std::uint8_t, indx::kSuperEntryBytes> b{};
    putU64le(b, 0, entry.offset);
    putU32le(b, 8, entry.size);
    putU32le(b, 12, entry.duration);
    return b;
}

AviStandardIndexEntry decodeStandardIndexEntry(Bytes e) {
    const std::uint32_t sizeField = u32le(e, 4);
    return {u32le(e, 0), sizeField & ~kAviIndexNotKeyFrame, (sizeField & kAviIndexNotKeyFrame) == 0};
}

std::array<std::uint8_t, indx::kStandardEntryBytes> encodeStandardIndexEntry(
    const AviStandardIndexEntry& entry) {
    std::array<std::uint8_t, indx::kStandardEntryBytes> b{};
    putU32le(b, 0, entry.offset);
    putU32le(b, 4, (entry.size & ~kAviIndexNotKeyFrame) | (entry.keyFrame ? 0u : kAviIndexNotKeyFrame));
    return b;
}

AviIdx1Entry decodeIdx1Entry(Bytes e) {
    return {FourCC::at(e, idx1::kChunkId), u32le(e, idx1::kFlags), u32le(e, idx1::kOffset),
            u32le(e, idx1::kSize)};
}

std::array<std::uint8_t, idx1::kEntryBytes> encodeIdx1Entry(const AviIdx1Entry& entry) {
    std::array<std::uint8_t, idx1::kEntryBytes> b{};
    putU32le(b, idx1::kChunkId, entry.chunkId.value());
    putU32le(b, idx1::kFlags, entry.flags);
    putU32le(b, idx1::kOffset, entry.offset);
    putU32le(b, idx1::kSize, entry.size);
    return b;
}

}  // namespace moraven
