#include "pipeline/video/picture_format.h"

namespace moraven {

namespace {

// Our 16 bytes after the bitmap header of a picture stream's format block.
namespace picture_extension {
inline constexpr std::size_t kAspectX = 0;
inline constexpr std::size_t kAspectY = 4;
inline constexpr std::size_t kFieldOrder = 8;
inline constexpr std::size_t kReserved = 12;
inline constexpr std::size_t kBytes = 16;
static_assert(kReserved + 4 == kBytes);
}  // namespace picture_extension

constexpr FourCC kI420 = FourCC::of("I420");
constexpr FourCC kY41B = FourCC::of("Y41B");
constexpr FourCC kY42B = FourCC::of("Y42B");
constexpr FourCC kBgr3 = FourCC::of("BGR3");

int bitsPerPixel(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Yuv420p:
        case PixelLayout::Yuv411p: return 12;
        case PixelLayout::Yuv422p: return 16;
        case PixelLayout::Bgr24: return 24;
    }
    return 0;
}

}  // namespace

FourCC pictureSubtype(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Yuv420p: return kI420;
        case PixelLayout::Yuv411p: return kY41B;
        case PixelLayout::Yuv422p: return kY42B;
        case PixelLayout::Bgr24: return kBgr3;
    }
    return {};
}

std::optional<PixelLayout> pictureLayoutOfSubtype(FourCC subtype) {
    for (const PixelLayout layout :
         {PixelLayout::Yuv420p, PixelLayout::Yuv411p, PixelLayout::Yuv422p, PixelLayout::Bgr24}) {
        if (pictureSubtype(layout) == subtype) return layout;
    }
    return std::nullopt;
}

MediaType pictureMediaType(const PictureFormat& format) {
    BitmapHeader bitmap;
    bitmap.width = format.width;
    bitmap.height = format.height;
    bitmap.bitCount = static_cast<std::uint16_t>(bitsPerPixel(format.layout));
    bitmap.compression = pictureSubtype(format.layout);
    bitmap.sizeImage = static_cast<std::uint32_t>(pictureBytes(format));
    std::array<std::uint8_t, picture_extension::kBytes> extension{};
    putU32le(extension, picture_extension::kAspectX, format.aspectX);
    putU32le(extension, picture_extension::kAspectY, format.aspectY);
    putU32le(extension, picture_extension::kFieldOrder, static_cast<std::uint32_t>(format.fieldOrder));
    MediaType type = MediaType::video(bitmap, extension);
    type.setFrameDuration(format.frameDuration);
    return type;
}

std::optional<PictureFormat> pictureFormatOf(const MediaType& type) {
    if (!type.isVideo()) return std::nullopt;
    const auto layout = pictureLayoutOfSubtype(type.subtype());
    const auto bitmap = type.bitmap();
    if (!layout || !bitmap || bitmap->width <= 0 || bitmap->height <= 0) return std::nullopt;
    const Bytes block(type.format());
    const std::size_t extensionAt = bmih::kBytes;
    if (!fits(block, extensionAt, picture_extension::kBytes)) return std::nullopt;
    const std::uint32_t fieldOrder = u32le(block, extensionAt + picture_extension::kFieldOrder);
    if (fieldOrder > static_cast<std::uint32_t>(FieldOrder::BottomFirst)) return std::nullopt;
    PictureFormat format;
    format.layout = *layout;
    format.width = bitmap->width;
    format.height = bitmap->height;
    format.aspectX = u32le(block, extensionAt + picture_extension::kAspectX);
    format.aspectY = u32le(block, extensionAt + picture_extension::kAspectY);
    format.fieldOrder = static_cast<FieldOrder>(fieldOrder);
    format.frameDuration = type.frameDuration();
    return format;
}

}  // namespace moraven
