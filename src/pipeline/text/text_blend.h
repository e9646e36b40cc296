#pragma once

#include <cstdint>
#include <span>

#include "pipeline/text/text_rasterizer.h"
#include "pipeline/video/picture_format.h"

// Blending a rendered line into a decoded picture, in the picture's own layout: no conversion of the
// picture, and no byte changes where the mask has no coverage.
namespace moraven {

// A colour as the settings keep it (a Windows COLORREF, 0x00BBGGRR) in the picture's terms: BT.601
// limited-range Y, Cb, Cr, and the blue, green and red bytes for BGR24 pictures.
struct TextColour {
    std::uint8_t y = 16;
    std::uint8_t cb = 128;
    std::uint8_t cr = 128;
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;

    friend bool operator==(const TextColour&, const TextColour&) = default;
};

TextColour textColourOf(std::uint32_t colorref);

// A rendered line and where its top-left mask pixel goes, in picture coordinates (pixels; anywhere, also
// outside the picture: what falls outside is clipped).
struct PlacedTextMask {
    const TextMask* mask = nullptr;
    std::int64_t left = 0;
    std::int64_t top = 0;
};

// Blends `colour` into `picture` through the masks, taken together: where masks overlap, their coverages
// combine as one layer over another, so that two lines sharing a chroma sample colour it as one drawing
// would. Each luma (or BGR) pixel moves towards the colour by its coverage / 255; each chroma sample by the
// mean coverage of the luma pixels of the picture it covers (4:2:0: two across and two down, 4:1:1: four
// across, 4:2:2: two across). Pixels and chroma samples of zero coverage are left untouched; full coverage
// gives the colour exactly. A mask whose size does not match its coverage (width × height bytes) is skipped.
void blendTextMasks(const PictureView& picture, std::span<const PlacedTextMask> masks, const TextColour& colour);

}  // namespace moraven
