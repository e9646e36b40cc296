#include "pipeline/text/text_blend.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace moraven {
namespace {

std::uint8_t toByte(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// `value` moved towards `target` by weight / 255, rounded; weight 0 keeps it and 255 gives the target.
std::uint8_t mix(std::uint8_t value, std::uint8_t target, unsigned weight) {
    return static_cast<std::uint8_t>((value * (255u - weight) + target * weight + 127u) / 255u);
}

struct Subsampling {
    int across = 1;
    int down = 1;
};

Subsampling chromaSubsampling(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Yuv420p: return {2, 2};
        case PixelLayout::Yuv411p: return {4, 1};
        case PixelLayout::Yuv422p: return {2, 1};
        case PixelLayout::Bgr24: break;
    }
    return {1, 1};
}

}  // namespace

TextColour textColourOf(std::uint32_t colorref) {
    const double red = colorref & 0xFFu;
    const double green = (colorref >> 8) & 0xFFu;
    const double blue = (colorref >> 16) & 0xFFu;
    TextColour colour;
    colour.red = static_cast<std::uint8_t>(red);
    colour.green = static_cast<std::uint8_t>(green);
    colour.blue = static_cast<std::uint8_t>(blue);
    // BT.601 with luma on 16..235 and chroma on 16..240.
    colour.y = toByte(16.0 + 219.0 * (0.299 * red + 0.587 * green + 0.114 * blue) / 255.0);
    colour.cb = toByte(128.0 + 224.0 * (-0.168736 * red - 0.331264 * green + 0.5 * blue) / 255.0);
    colour.cr = toByte(128.0 + 224.0 * (0.5 * red - 0.418688 * green - 0.081312 * blue) / 255.0);
    return colour;
}

void blendTextMasks(const PictureView& picture, std::span<const PlacedTextMask> masks, const TextColour& colour) {
    const int width = picture.format.width;
    const int height = picture.format.height;
    if (width <= 0 || height <= 0) return;
    // The part of the picture the masks cover, [x0, x1) × [y0, y1), and their combined coverage there.
    std::int64_t x0 = width, y0 = height, x1 = 0, y1 = 0;
    auto usable = [](const PlacedTextMask& placed) {
        const TextMask* mask = placed.mask;
        return mask != nullptr && mask->width > 0 && mask->height > 0 &&
               mask->coverage.size() == static_cast<std::size_t>(mask->width) * static_cast<std::size_t>(mask->height);
    };
    for (const PlacedTextMask& placed : masks) {
        if (!usable(placed)) continue;
        x0 = std::min(x0, std::max<std::int64_t>(0, placed.left));
        y0 = std::min(y0, std::max<std::int64_t>(0, placed.top));
        x1 = std::max(x1, std::min<std::int64_t>(width, placed.left + placed.mask->width));
        y1 = std::max(y1, std::min<std::int64_t>(height, placed.top + placed.mask->height));
    }
    if (x0 >= x1 || y0 >= y1) return;
    const std::int64_t boxWidth = x1 - x0;
    std::vector<std::uint8_t> combined(static_cast<std::size_t>(boxWidth * (y1 - y0)), 0);
    for (const PlacedTextMask& placed : masks) {
        if (!usable(placed)) continue;
        const TextMask& mask = *placed.mask;
        const std::int64_t top = std::max(y0, placed.top);
        const std::int64_t bottom = std::min(y1, placed.top + mask.height);
        const std::int64_t left = std::max(x0, placed.left);
        const std::int64_t right = std::min(x1, placed.left + mask.width);
        for (std::int64_t y = top; y < bottom; ++y) {
            for (std::int64_t x = left; x < right; ++x) {
                const unsigned over = mask.coverage[static_cast<std::size_t>((y - placed.top) * mask.width + (x - placed.left))];
                std::uint8_t& under = combined[static_cast<std::size_t>((y - y0) * boxWidth + (x - x0))];
                under = static_cast<std::uint8_t>(over + (under * (255u - over) + 127u) / 255u);
            }
        }
    }
    auto coverage = [&](std::int64_t x, std::int64_t y) -> unsigned {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) return 0;
        return combined[static_cast<std::size_t>((y - y0) * boxWidth + (x - x0))];
    };

    if (picture.format.layout == PixelLayout::Bgr24) {
        for (std::int64_t y = y0; y < y1; ++y) {
            std::uint8_t* row = picture.planes[0] + y * picture.strides[0];
            for (std::int64_t x = x0; x < x1; ++x) {
                const unsigned weight = coverage(x, y);
                if (weight == 0) continue;
                std::uint8_t* pixel = row + 3 * x;
                pixel[0] = mix(pixel[0], colour.blue, weight);
                pixel[1] = mix(pixel[1], colour.green, weight);
                pixel[2] = mix(pixel[2], colour.red, weight);
            }
        }
        return;
    }

    for (std::int64_t y = y0; y < y1; ++y) {
        std::uint8_t* row = picture.planes[0] + y * picture.strides[0];
        for (std::int64_t x = x0; x < x1; ++x) {
            const unsigned weight = coverage(x, y);
            if (weight != 0) row[x] = mix(row[x], colour.y, weight);
        }
    }
    const Subsampling sub = chromaSubsampling(picture.format.layout);
    const PlaneGeometry chroma = planeGeometry(picture.format, 1);
    const std::int64_t cx1 = std::min<std::int64_t>(chroma.width, (x1 - 1) / sub.across + 1);
    const std::int64_t cy1 = std::min<std::int64_t>(chroma.height, (y1 - 1) / sub.down + 1);
    for (std::int64_t cy = y0 / sub.down; cy < cy1; ++cy) {
        for (std::int64_t cx = x0 / sub.across; cx < cx1; ++cx) {
            // The mean over the luma pixels of this chroma sample that lie inside the picture.
            unsigned sum = 0;
            unsigned count = 0;
            for (std::int64_t y = cy * sub.down; y < std::min<std::int64_t>(height, (cy + 1) * sub.down); ++y) {
                for (std::int64_t x = cx * sub.across; x < std::min<std::int64_t>(width, (cx + 1) * sub.across);
                     ++x) {
                    sum += coverage(x, y);
                    ++count;
                }
            }
            if (count == 0 || sum == 0) continue;
            const unsigned weight = (sum + count / 2) / count;
            if (weight == 0) continue;
            const std::int64_t at = cy * picture.strides[1] + cx;
            picture.planes[1][at] = mix(picture.planes[1][at], colour.cb, weight);
            picture.planes[2][at] = mix(picture.planes[2][at], colour.cr, weight);
        }
    }
}

}  // namespace moraven
