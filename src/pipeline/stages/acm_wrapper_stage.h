#pragma once

#include <optional>

#include "formats/wave_format.h"
#include "pipeline/graph/stage.h"

// "ACM Wrapper": sound in, the same sound out. An output format may be set; until the codec module brings a
// converter, an input whose wave format differs from a set output format is refused, so that a graph can
// tell that it cannot convert.
// Threads: setOutputFormat() on the control thread while stopped; receive() on the streaming thread.
namespace moraven {

class AcmWrapperStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "ACM Wrapper";

    AcmWrapperStage();

    void setOutputFormat(const WaveFormat& format) { m_outputFormat = format; }
    const std::optional<WaveFormat>& outputFormat() const { return m_outputFormat; }

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;
    void receive(Pin& input, MediaSample& sample) override;

private:
    std::optional<WaveFormat> m_outputFormat;
};

}  // namespace moraven
