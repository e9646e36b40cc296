#pragma once

#include <memory>

#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"

// "Audio Decoder": sound that is not 16-bit PCM (MP3, ADPCM, AC-3, 8- or 24-bit PCM...) decoded by the
// codec module into 16-bit PCM with the stream's channel count and rate, as its wave format announces them.
// Should the codec deliver another count or rate (some codecs find out only while decoding), the sound is
// resampled to the announced format, so the type of the output never changes. Sound times count the samples
// delivered from the start of the first packet after start() or a flush. A packet the codec refuses is
// dropped and counted (a warning at the end). A flush (a seek while the graph pauses) drops what the codec,
// its parser and the resampler still hold, so that no sound from before the seek comes out after it.
//
// Threads: as every stage (graph/stage.h). `framework` (null: the codec module, loaded on first use) must
// outlive the stage.
namespace moraven {

class AudioDecoderStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Audio Decoder";

    explicit AudioDecoderStage(const MediaFramework* framework = nullptr);
    ~AudioDecoderStage() override;

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;
    void flush() override;

private:
    PcmFormat announcedFormat() const;
    void deliverSound();
    void deliverBlock(std::vector<std::uint8_t>& pcm);

    const MediaFramework* m_framework;
    Pin& m_input;
    std::unique_ptr<AudioDecoder> m_decoder;
    std::unique_ptr<Resampler> m_resampler;
    PcmFormat m_resampledFrom;
    PcmFormat m_announced;
    std::vector<std::uint8_t> m_decoded;
    MediaSample m_block;
    MediaTime m_timeBase;         // the start of the first packet since start() or the last flush
    bool m_timeBaseSet = false;
    std::uint64_t m_samplesOut = 0;  // since m_timeBase
    std::uint64_t m_refused = 0;
};

}  // namespace moraven
