#include "support/stream_samples.h"

namespace moraven::test {

std::vector<std::vector<std::uint8_t>> samplesOfFirstStream(const std::string& path, AviStreamKind kind) {
    AviDemuxer demuxer(path);
    const AviStream* stream = demuxer.firstStream(kind);
    std::vector<std::vector<std::uint8_t>> samples;
    if (!stream) return samples;
    for (std::size_t i = 0; i < stream->sampleCount(); ++i) {
        std::vector<std::uint8_t> bytes;
        demuxer.readSample(static_cast<std::size_t>(stream->number), i, bytes);
        samples.push_back(std::move(bytes));
    }
    return samples;
}

}  // namespace moraven::test
