#include "pipeline/video/codec_stream_info.h"

#include <algorithm>

namespace moraven {

std::optional<CodecStreamInfo> codecStreamInfoOf(const MediaType& type) {
    CodecStreamInfo info;
    const Bytes block(type.format());
    if (type.isVideo()) {
        const auto bitmap = type.bitmap();
        if (!bitmap) return std::nullopt;
        info.video = true;
        info.codecTag = bitmap->compression;
        info.width = bitmap->width;
        info.height = bitmap->height;
        info.bitsPerPixel = bitmap->bitCount;
        info.frameDuration = type.frameDuration();
        // The codec's own setup follows the header (biSize says where the header ends).
        const std::size_t headerBytes = std::clamp<std::size_t>(bitmap->size, bmih::kBytes, block.size());
        info.extradata.assign(block.begin() + static_cast<std::ptrdiff_t>(headerBytes), block.end());
        return info;
    }
    if (type.isAudio()) {
        const auto wave = type.wave();
        if (!wave) return std::nullopt;
        info.video = false;
        info.codecTag = FourCC(wave->formatTag);
        info.channels = wave->channels;
        info.samplesPerSecond = static_cast<int>(wave->samplesPerSecond);
        info.bitsPerSample = wave->bitsPerSample;
        info.blockAlign = wave->blockAlign;
        info.averageBytesPerSecond = wave->averageBytesPerSecond;
        info.extradata = wave->extra;
        return info;
    }
    return std::nullopt;
}

}  // namespace moraven
