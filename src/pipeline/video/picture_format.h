#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"
#include "formats/media_type.h"

// Decoded pictures as they travel between the media framework's stages: the layout of their planes, their
// shape, and the media type that describes a stream of them.
//
// A picture travels in a MediaSample's bytes: its planes one after another (Y, then U, then V; one plane for
// BGR24), each row tight (a row is exactly the plane's width in bytes, no padding), rows top-down. DV's own
// layouts are 4:2:0 (625/50) and 4:1:1 (525/60); the decoder hands them on as they come, without conversion.
namespace moraven {

enum class PixelLayout : std::uint8_t {
    Yuv420p,  // chroma halved across and down ("I420")
    Yuv411p,  // chroma a quarter across, full height ("Y41B")
    Yuv422p,  // chroma halved across, full height ("Y42B")
    Bgr24,    // one plane: blue, green, red bytes per pixel
};

enum class FieldOrder : std::uint8_t {
    Progressive,
    TopFirst,     // the field of the even lines (0, 2, ...) is the earlier in time
    BottomFirst,  // the field of the odd lines is the earlier in time: DV's order
};

// The shape of one picture and of the stream it belongs to.
struct PictureFormat {
    PixelLayout layout = PixelLayout::Yuv420p;
    int width = 0;   // pixels
    int height = 0;  // lines
    // The shape the picture is shown in: 4:3 or 16:9 for DV; zero when not known (square pixels assumed).
    std::uint32_t aspectX = 0;
    std::uint32_t aspectY = 0;
    FieldOrder fieldOrder = FieldOrder::Progressive;
    MediaTime frameDuration;  // 100 ns; zero when not known

    friend bool operator==(const PictureFormat&, const PictureFormat&) = default;
};

// Plane geometry of a layout at a size. A plane past the layout's count has zero size. (Inline, like the
// views below, so that the codec module uses the same layout without linking this library.)
struct PlaneGeometry {
    int width = 0;   // bytes per row
    int height = 0;  // rows
    std::size_t bytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
};

inline int planeCount(PixelLayout layout) { return layout == PixelLayout::Bgr24 ? 1 : 3; }

inline PlaneGeometry planeGeometry(const PictureFormat& format, int plane) {
    if (format.width <= 0 || format.height <= 0 || plane < 0 || plane >= planeCount(format.layout)) return {};
    if (format.layout == PixelLayout::Bgr24) return {format.width * 3, format.height};
    if (plane == 0) return {format.width, format.height};
    switch (format.layout) {
        case PixelLayout::Yuv420p: return {(format.width + 1) / 2, (format.height + 1) / 2};
        case PixelLayout::Yuv411p: return {(format.width + 3) / 4, format.height};
        case PixelLayout::Yuv422p: return {(format.width + 1) / 2, format.height};
        case PixelLayout::Bgr24: break;
    }
    return {};
}

// The bytes of one whole picture of `format`; 0 for a zero or negative size.
inline std::size_t pictureBytes(const PictureFormat& format) {
    std::size_t total = 0;
    for (int plane = 0; plane < planeCount(format.layout); ++plane) total += planeGeometry(format, plane).bytes();
    return total;
}

// Whether a display aspect x:y is nearer to 16:9 than to 4:3 (halfway, 14:9, compared in integers); false
// for a zero y.
inline bool isWideAspect(std::uint64_t x, std::uint64_t y) { return y != 0 && x * 9 > y * 14; }

// Whether a picture is shown nearer to 16:9 than to 4:3: by its display aspect, else by its size (square
// pixels).
inline bool isShownWide(const PictureFormat& format) {
    if (format.aspectX != 0 && format.aspectY != 0) return isWideAspect(format.aspectX, format.aspectY);
    return format.width > 0 && format.height > 0 &&
           isWideAspect(static_cast<std::uint64_t>(format.width), static_cast<std::uint64_t>(format.height));
}

// DV's pictures of a system: 720 × 576 4:2:0 at 25 frames a second, or 720 × 480 4:1:1 at 29.97; bottom
// field first; 4:3 or 16:9. Unknown gives a zero-sized format.
inline PictureFormat dvPictureFormat(DvSystem system, bool wide) {
    if (system == DvSystem::Unknown) return {};
    const bool pal = system == DvSystem::Pal625;
    PictureFormat format;
    format.layout = pal ? PixelLayout::Yuv420p : PixelLayout::Yuv411p;
    format.width = 720;
    format.height = pal ? 576 : 480;
    format.aspectX = wide ? 16 : 4;
    format.aspectY = wide ? 9 : 3;
    format.fieldOrder = FieldOrder::BottomFirst;
    format.frameDuration = pal ? kPalFrameDuration : kNtscFrameDuration;
    return format;
}

// Pointers into one picture's planes (within a MediaSample's bytes). Valid while those bytes are.
template <typename Byte>
struct BasicPictureView {
    PictureFormat format;
    std::array<Byte*, 3> planes{};
    std::array<int, 3> strides{};
};
using PictureView = BasicPictureView<std::uint8_t>;
using ConstPictureView = BasicPictureView<const std::uint8_t>;

// A view over `bytes` laid out as above; nothing when `bytes` is shorter than one picture of `format`.
template <typename Byte>
std::optional<BasicPictureView<Byte>> viewPicture(const PictureFormat& format, std::span<Byte> bytes) {
    const std::size_t needed = pictureBytes(format);
    if (needed == 0 || bytes.size() < needed) return std::nullopt;
    BasicPictureView<Byte> view;
    view.format = format;
    std::size_t offset = 0;
    for (int plane = 0; plane < planeCount(format.layout); ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        view.planes[static_cast<std::size_t>(plane)] = bytes.data() + offset;
        view.strides[static_cast<std::size_t>(plane)] = geometry.width;
        offset += geometry.bytes();
    }
    return view;
}

// ---- the media type of a stream of pictures ----

// Subtypes: the layout's four-character code ("I420", "Y41B", "Y42B", "BGR3").
FourCC pictureSubtype(PixelLayout layout);
std::optional<PixelLayout> pictureLayoutOfSubtype(FourCC subtype);

// "vids" with the layout's subtype; the format block is the bitmap header (its compression the subtype, the
// bit count of the layout, the image size of one picture) followed by 16 bytes of our own: the display aspect
// (two 32-bit words), the field order (one 32-bit word) and a zero word. The frame duration is carried as the
// MediaType's.
MediaType pictureMediaType(const PictureFormat& format);
// The picture format of a type made by pictureMediaType(); nothing for any other type.
std::optional<PictureFormat> pictureFormatOf(const MediaType& type);

}  // namespace moraven
