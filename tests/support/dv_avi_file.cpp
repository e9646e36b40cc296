#include "support/dv_avi_file.h"

#include "formats/avi_writer.h"
#include "formats/byte_order.h"
#include "formats/wave_format.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

#include <stdexcept>

namespace moraven::test {

std::array<std::uint8_t, 32> defaultDvInfoBlock(DvSystem system) {
    std::array<std::uint8_t, 32> block{};
    const bool pal = system != DvSystem::Ntsc525;
    // AAUX source of both audio blocks, AAUX control, VAUX source (bit 21: 50 fields), VAUX control.
    putU32le(block, 0, pal ? 0xC8E0D0C0u : 0xC8C0D0C0u);
    putU32le(block, 4, 0x01800000u);
    putU32le(block, 8, pal ? 0x00E0D0C0u : 0x00C0D0C0u);
    putU32le(block, 16, pal ? 0xFF20FFFFu : 0xFF00FFFFu);
    putU32le(block, 20, 0xFFFE3F00u);
    return block;
}

void writeDvAvi(const std::string& path, std::size_t count,
                const std::function<const std::vector<std::uint8_t>&(std::size_t)>& frameAt,
                const DvAviOptions& options) {
    const auto dvInfo = options.defaultDvInfo ? defaultDvInfoBlock(options.system) : options.dvInfo;
    AviWriter writer(path);
    const bool sound = !options.type1 && options.withSound;
    if (options.type1) {
        writer.addInterleavedDvStream(options.system, dvInfo);
    } else {
        writer.addVideoStream(AviVideoFormat::dv(options.system, dvInfo));
        if (sound) writer.addAudioStream(WaveFormat::pcm(2, options.sampleRate, 16));
    }
    // Sound blocks hold the samples up to the end of each frame: rate × frame time, summed exactly.
    const std::uint64_t frameNumerator = options.system == DvSystem::Ntsc525 ? 1001 : 1;
    const std::uint64_t frameDenominator = options.system == DvSystem::Ntsc525 ? 30000 : 25;
    std::vector<std::uint8_t> silence;
    std::uint64_t samplesSoFar = 0;
    for (std::size_t i = 0; i < count; ++i) {
        writer.writeSample(0, frameAt(i));
        if (sound) {
            const std::uint64_t samplesToEnd =
                (i + 1) * options.sampleRate * frameNumerator / frameDenominator;
            silence.assign(static_cast<std::size_t>(samplesToEnd - samplesSoFar) * 4, 0);
            samplesSoFar = samplesToEnd;
            writer.writeSample(1, silence);
        }
    }
    writer.close();
}

std::string writeRepeatedDvFrame(const std::string& path, const std::vector<std::uint8_t>& frame,
                                 std::size_t count, const DvAviOptions& options) {
    writeDvAvi(
        path, count, [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame; }, options);
    return path;
}

void setFirstStreamHandler(const std::string& path, const std::string& handler) {
    auto bytes = readWholeFile(path);
    const auto strh = chunkPositions(bytes, "strh");
    // The handler follows the chunk header (8 bytes) and the stream type (4 bytes).
    if (strh.empty() || handler.size() != 4 || strh.front() + 16 > bytes.size()) {
        throw std::runtime_error("no stream header to change in " + path);
    }
    std::copy(handler.begin(), handler.end(), bytes.begin() + static_cast<std::ptrdiff_t>(strh.front() + 12));
    writeWholeFile(path, bytes);
}

}  // namespace moraven::test
