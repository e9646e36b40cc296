#pragma once

#include <memory>
#include <optional>

#include "formats/wave_format.h"
#include "pipeline/graph/stage.h"
#include "pipeline/media_framework.h"

// "ACM Wrapper": sound in, sound out. Without an output format it hands every block on unchanged. With one
// (16-bit PCM at a rate and channel count), it takes 16-bit PCM of any rate and channel count and resamples it
// to that format through the codec module (loaded only when a run needs a conversion); sound already in that
// format passes unchanged. Other inputs are refused while an output format is set, so that a graph can tell
// that the sound must be decoded first.
//
// Threads: setOutputFormat() on the control thread while the graph is stopped and before the output is
// connected; the rest as every stage (graph/stage.h). `framework` (null: the codec module) must outlive the
// stage.
namespace moraven {

class AcmWrapperStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "ACM Wrapper";

    explicit AcmWrapperStage(const MediaFramework* framework = nullptr);
    ~AcmWrapperStage() override;

    // Only 16-bit PCM formats are taken; false (and nothing set) for any other.
    bool setOutputFormat(const WaveFormat& format);
    const std::optional<WaveFormat>& outputFormat() const { return m_outputFormat; }

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;

private:
    void deliverConverted();

    const MediaFramework* m_framework;
    std::optional<WaveFormat> m_outputFormat;
    std::unique_ptr<Resampler> m_resampler;  // during a run that converts
    MediaSample m_block;
    std::uint64_t m_samplesOut = 0;
};

}  // namespace moraven
