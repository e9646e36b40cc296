#pragma once

#include <cstdint>
#include <vector>

#include "formats/byte_order.h"
#include "formats/media_time.h"

// One sample as it travels through a graph: one whole video or DV frame, or a block of sound (whole sample
// frames), with its times and marks.
namespace moraven {

struct MediaSample {
    // The bytes. A stage that changes them in place (DV header, DV muxer) works on this vector; a stage that
    // keeps them beyond its receive() call copies them.
    std::vector<std::uint8_t> data;
    MediaTime start;  // 100 ns from the start of the stream
    MediaTime stop;
    bool keyFrame = true;
    bool discontinuity = false;
    bool preroll = false;

    Bytes bytes() const { return Bytes(data.data(), data.size()); }
    MutableBytes mutableBytes() { return MutableBytes(data.data(), data.size()); }
};

}  // namespace moraven
