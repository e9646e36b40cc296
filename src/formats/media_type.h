#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/avi_headers.h"
#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"
#include "formats/wave_format.h"

// What a stream carries, in one value that the demuxer builds, the writer takes and the list scan and the
// media framework pass on: a major type, a subtype and the format block (the "strf" bytes as in the file).
// The format block is decoded on demand by typed views, each through the one decoder of its layout below.
namespace moraven {

inline constexpr FourCC kMediaTypeVideo = FourCC::of("vids");
inline constexpr FourCC kMediaTypeAudio = FourCC::of("auds");
inline constexpr FourCC kMediaTypeInterleaved = FourCC::of("iavs");
inline constexpr FourCC kMediaTypeText = FourCC::of("txts");
inline constexpr FourCC kMediaSubtypeDvsd = FourCC::of("dvsd");
// Sound's subtype is its wave format tag as a code: PCM is tag 1.
inline constexpr FourCC kMediaSubtypePcm = FourCC(kWaveFormatPcm);

// DV's codes as video compressions are written: "dvsd", "dsvd" and "CDVC", in either case.
bool isDvCompression(FourCC compression);

// ---- the bitmap header (BITMAPINFOHEADER) ----

namespace bmih {
inline constexpr std::size_t kSize = 0;
inline constexpr std::size_t kWidth = 4;
inline constexpr std::size_t kHeight = 8;
inline constexpr std::size_t kPlanes = 12;
inline constexpr std::size_t kBitCount = 14;
inline constexpr std::size_t kCompression = 16;
inline constexpr std::size_t kSizeImage = 20;
inline constexpr std::size_t kXPelsPerMeter = 24;
inline constexpr std::size_t kYPelsPerMeter = 28;
inline constexpr std::size_t kClrUsed = 32;
inline constexpr std::size_t kClrImportant = 36;
inline constexpr std::size_t kBytes = 40;
static_assert(kClrImportant + 4 == kBytes);
}  // namespace bmih

// The 40-byte bitmap header at the start of a video stream's format.
struct BitmapHeader {
    std::uint32_t size = bmih::kBytes;  // biSize as written (40 for the plain header)
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: a top-down bitmap
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    FourCC compression;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    friend bool operator==(const BitmapHeader&, const BitmapHeader&) = default;
};

// Fields `bytes` does not hold decode as zero.
BitmapHeader decodeBitmapHeader(Bytes bytes);
std::array<std::uint8_t, bmih::kBytes> encodeBitmapHeader(const BitmapHeader& header);

// ---- the DV information block (DVINFO) ----

inline constexpr std::size_t kDvInfoBytes = 32;  // eight 32-bit words
inline constexpr std::size_t kDvInfoVauxSrc = 16;
static_assert(kDvInfoVauxSrc == 4 * 4);

struct DvInfo {
    std::uint32_t aauxSrc = 0;
    std::uint32_t aauxCtl = 0;
    std::uint32_t aauxSrc1 = 0;
    std::uint32_t aauxCtl1 = 0;
    std::uint32_t vauxSrc = 0;  // the fifth word
    std::uint32_t vauxCtl = 0;
    std::uint32_t reserved0 = 0;
    std::uint32_t reserved1 = 0;

    // The eight words in file order.
    std::array<std::uint32_t, 8> words() const;

    friend bool operator==(const DvInfo&, const DvInfo&) = default;
};

// Words `bytes` does not hold decode as zero.
DvInfo decodeDvInfo(Bytes bytes);
std::array<std::uint8_t, kDvInfoBytes> encodeDvInfo(const DvInfo& info);

// ---- the video-info view ----

// What a video-info header says of a video stream: its timing, as the MediaType carries it, and the bitmap
// header of its format block.
struct VideoInfo {
    MediaTime frameDuration;    // 100 ns; zero when the stream has no frame rate
    std::uint32_t bitRate = 0;  // bits per second; zero when not known
    BitmapHeader bitmap;

    friend bool operator==(const VideoInfo&, const VideoInfo&) = default;
};

// The bits per second of `bytes` played in `duration`, truncated; 0 without a duration, at most 2^32 - 1.
std::uint32_t bitsPerSecond(std::uint64_t bytes, MediaTime duration);

// One stream's media type.
//
// The frame rate: the exact fraction (dwRate/dwScale) belongs to the stream header and stays there; the
// writer takes it next to the MediaType. A video (or interleaved DV) MediaType carries the frame duration
// rounded to 100 ns and the bit rate, as a video-info header does, for those who consume its samples: the
// list shows them and the media framework's stages time frames with them. Both are zero when not known.
//
// A plain value: copy it freely; no thread ties.
class MediaType {
public:
    MediaType() = default;
    MediaType(FourCC majorType, FourCC subtype, std::vector<std::uint8_t> format)
        : m_majorType(majorType), m_subtype(subtype), m_format(std::move(format)) {}

    // The type of an AVI stream from its stream header and its "strf" bytes. Subtype: for video the
    // bitmap header's compression (the stream header's handler when the format holds no bitmap header), for
    // an interleaved stream the handler, for sound the wave format tag (zero without a wave format). Video
    // and interleaved streams get the frame duration of the header's rate/scale.
    static MediaType fromStreamHeader(const AviStreamHeader& header, std::vector<std::uint8_t> format);

    // Video of a bitmap header and the bytes that follow it in the format block; subtype its compression.
    static MediaType video(const BitmapHeader& bitmap, Bytes following = {});
    // DV ("dvsd") video of one TV system: 720 × 576 at 400000 ticks a frame or 720 × 480 at 333667, 24 bits,
    // one frame's bytes as the image size and the bit rate of one frame per frame duration; `dvInfo`, when
    // given, follows the bitmap header. Throws std::invalid_argument for DvSystem::Unknown.
    static MediaType dvVideo(DvSystem system, const std::optional<std::array<std::uint8_t, kDvInfoBytes>>& dvInfo = {});
    // Sound of a wave format (stored with cbSize: 18 bytes and its extra bytes).
    static MediaType audio(const WaveFormat& format);
    static MediaType pcm(std::uint16_t channels, std::uint32_t samplesPerSecond, std::uint16_t bitsPerSample);
    // The stream of a DV type 1 file: "iavs" "dvsd" with the DV information block as its format and the
    // system's frame duration. Throws std::invalid_argument for DvSystem::Unknown.
    static MediaType interleavedDv(DvSystem system, const std::array<std::uint8_t, kDvInfoBytes>& dvInfo);

    FourCC majorType() const { return m_majorType; }
    FourCC subtype() const { return m_subtype; }
    const std::vector<std::uint8_t>& format() const { return m_format; }
    bool isVideo() const { return m_majorType == kMediaTypeVideo; }
    bool isAudio() const { return m_majorType == kMediaTypeAudio; }
    bool isInterleaved() const { return m_majorType == kMediaTypeInterleaved; }

    MediaTime frameDuration() const { return m_frameDuration; }
    void setFrameDuration(MediaTime duration) { m_frameDuration = duration; }
    std::uint32_t bitRate() const { return m_bitRate; }
    void setBitRate(std::uint32_t bitsPerSecond) { m_bitRate = bitsPerSecond; }

    // Views of the format block; absent when the type is of another kind or the block is too short.
    // Video with at least 40 bytes.
    std::optional<BitmapHeader> bitmap() const;
    // Video with a bitmap header: the timing and the bitmap header.
    std::optional<VideoInfo> videoInfo() const;
    // Sound with at least 16 bytes.
    std::optional<WaveFormat> wave() const;
    // Interleaved with at least 32 bytes: the block at the start. Video whose bitmap header (biSize bytes, at
    // least 40) is followed by 32 more bytes: the block there (DV type 2 files may carry it).
    std::optional<DvInfo> dvInfo() const;
    // The same block as its 32 bytes (as a writer stores them).
    std::optional<std::array<std::uint8_t, kDvInfoBytes>> dvInfoBlock() const;
    // The TV system of a DV stream: from its frame duration (PAL 400000 or NTSC 333667 ticks), else a video
    // type's picture height (576 or 480), else the 50-field bit (21) of the DV information block's VAUX
    // source word; Unknown when none of them tells.
    DvSystem dvSystem() const;

    friend bool operator==(const MediaType&, const MediaType&) = default;

private:
    FourCC m_majorType;
    FourCC m_subtype;
    std::vector<std::uint8_t> m_format;
    MediaTime m_frameDuration;
    std::uint32_t m_bitRate = 0;
};

}  // namespace moraven
