#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/external_tools.h"

// Real DV frames and their sound, made by ffmpeg, for tests and benchmarks that write files which other
// programs must decode.
namespace moraven::test {

struct DvClip {
    std::vector<std::vector<std::uint8_t>> frames;  // whole DV frames (sound in their DIF blocks included)
    std::vector<std::uint8_t> pcm;  // the clip's sound as 16-bit little-endian stereo (empty without sound)
    std::uint32_t sampleRate = 48000;
};

// Encodes a clip with makeDvAviWithFfmpeg inside `folder` and takes it apart again with ffmpeg: the video
// stream copied as raw DV and cut into frames, the sound decoded to PCM. The files made on the way are
// removed. Throws std::runtime_error with ffmpeg's messages on failure.
DvClip makeDvClipWithFfmpeg(const std::string& folder, const DvClipOptions& options);

}  // namespace moraven::test
