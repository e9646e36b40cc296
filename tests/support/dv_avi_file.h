#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/dvcodes.h"

// Whole DV AVI files written with the program's AVI writer from frames that a test makes (usually with
// DvFrameBuilder), for tests and benchmarks of what reads DV files frame by frame.
namespace moraven::test {

struct DvAviOptions {
    DvSystem system = DvSystem::Pal625;
    bool type1 = false;     // one "iavs" stream; else "vids" "dvsd" and, with sound, "auds"
    bool withSound = true;  // type 2 only: silent 16-bit stereo PCM, one block per frame
    std::uint32_t sampleRate = 48000;
    // The DV information block: of the "iavs" stream (type 1) or after the bitmap header (type 2). The
    // default names the system in the VAUX source word (bit 21: 50 fields).
    std::array<std::uint8_t, 32> dvInfo = {};
    bool defaultDvInfo = true;
};

// The DV information block that DvAviOptions uses by default for `system`.
std::array<std::uint8_t, 32> defaultDvInfoBlock(DvSystem system);

// Writes `count` frames to a new file at `path`: frame i is `frameAt(i)`, which may return the same buffer
// changed between calls. Throws what the writer throws.
void writeDvAvi(const std::string& path, std::size_t count,
                const std::function<const std::vector<std::uint8_t>&(std::size_t)>& frameAt,
                const DvAviOptions& options = {});

// Writes `count` copies of `frame` to a new file at `path` and returns the path.
std::string writeRepeatedDvFrame(const std::string& path, const std::vector<std::uint8_t>& frame,
                                 std::size_t count, const DvAviOptions& options = {});

// Overwrites the handler (fccHandler) of the file's first stream header, and nothing else; throws
// std::runtime_error when the file has no stream header.
void setFirstStreamHandler(const std::string& path, const std::string& handler);

}  // namespace moraven::test
