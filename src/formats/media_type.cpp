#include "formats/media_type.h"

#include <limits>
#include <stdexcept>

namespace moraven {

namespace {

void requireDvSystem(DvSystem system) {
    if (system != DvSystem::Pal625 && system != DvSystem::Ntsc525) {
        throw std::invalid_argument("a DV stream needs the PAL or the NTSC system");
    }
}

MediaTime dvFrameDuration(DvSystem system) {
    return system == DvSystem::Pal625 ? kPalFrameDuration : kNtscFrameDuration;
}

}  // namespace

bool isDvCompression(FourCC compression) {
    const FourCC lower = compression.lowerCase();
    return lower == FourCC::of("dvsd") || lower == FourCC::of("dsvd") || lower == FourCC::of("csvd");
}

BitmapHeader decodeBitmapHeader(Bytes b) {
    BitmapHeader h;
    h.size = u32le(b, bmih::kSize);
    h.width = s32le(b, bmih::kWidth);
    h.height = s32le(b, bmih::kHeight);
    h.planes = u16le(b, bmih::kPlanes);
    h.bitCount = u16le(b, bmih::kBitCount);
    h.compression = FourCC::at(b, bmih::kCompression);
    h.sizeImage = u32le(b, bmih::kSizeImage);
    h.xPelsPerMeter = s32le(b, bmih::kXPelsPerMeter);
    h.yPelsPerMeter = s32le(b, bmih::kYPelsPerMeter);
    h.clrUsed = u32le(b, bmih::kClrUsed);
    h.clrImportant = u32le(b, bmih::kClrImportant);
    return h;
}

std::array<std::uint8_t, bmih::kBytes> encodeBitmapHeader(const BitmapHeader& h) {
    std::array<std::uint8_t, bmih::kBytes> b{};
    putU32le(b, bmih::kSize, h.size);
    putU32le(b, bmih::kWidth, static_cast<std::uint32_t>(h.width));
    putU32le(b, bmih::kHeight, static_cast<std::uint32_t>(h.height));
    putU16le(b, bmih::kPlanes, h.planes);
    putU16le(b, bmih::kBitCount, h.bitCount);
    putU32le(b, bmih::kCompression, h.compression.value());
    putU32le(b, bmih::kSizeImage, h.sizeImage);
    putU32le(b, bmih::kXPelsPerMeter, static_cast<std::uint32_t>(h.xPelsPerMeter));
    putU32le(b, bmih::kYPelsPerMeter, static_cast<std::uint32_t>(h.yPelsPerMeter));
    putU32le(b, bmih::kClrUsed, h.clrUsed);
    putU32le(b, bmih::kClrImportant, h.clrImportant);
    return b;
}

std::array<std::uint32_t, 8> DvInfo::words() const {
    return {aauxSrc, aauxCtl, aauxSrc1, aauxCtl1, vauxSrc, vauxCtl, reserved0, reserved1};
}

DvInfo decodeDvInfo(Bytes b) {
    return {u32le(b, 0),  u32le(b, 4),  u32le(b, 8),  u32le(b, 12),
            u32le(b, kDvInfoVauxSrc), u32le(b, 20), u32le(b, 24), u32le(b, 28)};
}

std::array<std::uint8_t, kDvInfoBytes> encodeDvInfo(const DvInfo& info) {
    std::array<std::uint8_t, kDvInfoBytes> b{};
    std::size_t offset = 0;
    for (const std::uint32_t word : info.words()) {
        putU32le(b, offset, word);
        offset += 4;
    }
    return b;
}

std::uint32_t bitsPerSecond(std::uint64_t bytes, MediaTime duration) {
    if (duration.ticks() <= 0) return 0;
    const double rate = static_cast<double>(bytes) * 8.0 / duration.seconds();
    return rate >= 4294967295.0 ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(rate);
}

MediaType MediaType::fromStreamHeader(const AviStreamHeader& header, std::vector<std::uint8_t> format) {
    MediaType type(header.type, header.handler, std::move(format));
    if (type.isVideo()) {
        if (const auto bitmap = type.bitmap()) type.m_subtype = bitmap->compression;
    } else if (type.isAudio()) {
        const auto wave = type.wave();
        type.m_subtype = FourCC(wave ? wave->formatTag : 0u);
    }
    if (type.isVideo() || type.isInterleaved()) type.m_frameDuration = aviTicks(1, header.rateFraction());
    return type;
}

MediaType MediaType::video(const BitmapHeader& bitmap, Bytes following) {
    const auto header = encodeBitmapHeader(bitmap);
    std::vector<std::uint8_t> format(header.begin(), header.end());
    format.insert(format.end(), following.begin(), following.end());
    return MediaType(kMediaTypeVideo, bitmap.compression, std::move(format));
}

MediaType MediaType::dvVideo(DvSystem system, const std::optional<std::array<std::uint8_t, kDvInfoBytes>>& dvInfo) {
    requireDvSystem(system);
    const bool pal = system == DvSystem::Pal625;
    BitmapHeader bitmap;
    bitmap.width = 720;
    bitmap.height = pal ? 576 : 480;
    bitmap.bitCount = 24;
    bitmap.compression = kMediaSubtypeDvsd;
    bitmap.sizeImage = static_cast<std::uint32_t>(pal ? kDvPalFrameBytes : kDvNtscFrameBytes);
    MediaType type = video(bitmap, dvInfo ? Bytes(*dvInfo) : Bytes());
    type.m_frameDuration = dvFrameDuration(system);
    type.m_bitRate = bitsPerSecond(bitmap.sizeImage, type.m_frameDuration);
    return type;
}

MediaType MediaType::audio(const WaveFormat& format) {
    return MediaType(kMediaTypeAudio, FourCC(format.formatTag), format.bytes(true));
}

MediaType MediaType::pcm(std::uint16_t channels, std::uint32_t samplesPerSecond, std::uint16_t bitsPerSample) {
    return audio(WaveFormat::pcm(channels, samplesPerSecond, bitsPerSample));
}

MediaType MediaType::interleavedDv(DvSystem system, const std::array<std::uint8_t, kDvInfoBytes>& dvInfo) {
    requireDvSystem(system);
    MediaType type(kMediaTypeInterleaved, kMediaSubtypeDvsd, std::vector<std::uint8_t>(dvInfo.begin(), dvInfo.end()));
    type.m_frameDuration = dvFrameDuration(system);
    return type;
}

std::optional<BitmapHeader> MediaType::bitmap() const {
    if (!isVideo() || m_format.size() < bmih::kBytes) return std::nullopt;
    return decodeBitmapHeader(m_format);
}

std::optional<VideoInfo> MediaType::videoInfo() const {
    const auto header = bitmap();
    if (!header) return std::nullopt;
    return VideoInfo{m_frameDuration, m_bitRate, *header};
}

std::optional<WaveFormat> MediaType::wave() const {
    if (!isAudio()) return std::nullopt;
    return WaveFormat::decode(m_format);
}

std::optional<DvInfo> MediaType::dvInfo() const {
    const Bytes format(m_format);
    if (isInterleaved()) {
        if (format.size() < kDvInfoBytes) return std::nullopt;
        return decodeDvInfo(format);
    }
    if (!isVideo() || format.size() < bmih::kBytes) return std::nullopt;
    // DV type 2 as Windows writes it: the DV information block right after the bitmap header.
    const std::uint32_t headerSize = u32le(format, bmih::kSize);
    if (headerSize < bmih::kBytes || headerSize > format.size() || format.size() - headerSize < kDvInfoBytes) {
        return std::nullopt;
    }
    return decodeDvInfo(format.subspan(headerSize));
}

std::optional<std::array<std::uint8_t, kDvInfoBytes>> MediaType::dvInfoBlock() const {
    const std::optional<DvInfo> info = dvInfo();
    if (!info) return std::nullopt;
    return encodeDvInfo(*info);
}

DvSystem MediaType::dvSystem() const {
    if (m_frameDuration == kPalFrameDuration) return DvSystem::Pal625;
    if (m_frameDuration == kNtscFrameDuration) return DvSystem::Ntsc525;
    if (const std::optional<BitmapHeader> header = bitmap()) {
        const std::int32_t height = header->height < 0 ? -header->height : header->height;
        if (height == 576) return DvSystem::Pal625;
        if (height == 480) return DvSystem::Ntsc525;
    }
    constexpr std::uint32_t kFiftyFields = 1u << 21;
    if (const std::optional<DvInfo> info = dvInfo()) {
        return (info->vauxSrc & kFiftyFields) != 0 ? DvSystem::Pal625 : DvSystem::Ntsc525;
    }
    return DvSystem::Unknown;
}

}  // namespace moraven
