#pragma once

#include <functional>
#include <optional>

#include "pipeline/stages/in_place_stage.h"

// "Sample Grabber": hands each sample to a callback (on the streaming thread; it may change the bytes), then
// on to its output when that is connected; without a connected output it is a renderer and ends its chain.
// An accepted major type (and subtype, when not zero) may be set before connecting; otherwise it accepts
// every type.
namespace moraven {

class SampleGrabberStage final : public InPlaceStage {
public:
    static constexpr const char* kDisplayName = "Sample Grabber";
    using Callback = std::function<void(MediaSample&)>;

    SampleGrabberStage();

    // Control thread, graph stopped.
    void setAcceptedType(FourCC majorType, FourCC subtype = FourCC()) { m_accepted = {majorType, subtype}; }
    void setCallback(Callback callback) { m_callback = std::move(callback); }

    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    bool isRenderer() const override { return !outputPin().isConnected(); }

protected:
    bool acceptsType(const MediaType& type) const override;

private:
    struct Accepted {
        FourCC majorType;
        FourCC subtype;
    };
    std::optional<Accepted> m_accepted;
    Callback m_callback;
};

}  // namespace moraven
