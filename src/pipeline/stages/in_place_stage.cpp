#include "pipeline/stages/in_place_stage.h"

namespace moraven {

InPlaceStage::InPlaceStage(std::string displayName) : Stage(std::move(displayName)) {
    addPin(PinDirection::Input, "Input");
    addPin(PinDirection::Output, "Output");
}

std::vector<MediaType> InPlaceStage::outputTypes(const Pin&) const {
    if (!inputPin().isConnected()) return {};
    return {inputPin().connectionType()};
}

bool InPlaceStage::acceptsInput(const Pin&, const MediaType& type) const { return acceptsType(type); }

bool InPlaceStage::firstSample(const Pin&, MediaSample& sample) const {
    const Pin* upstream = inputPin().peer();
    return upstream != nullptr && upstream->stage().firstSample(*upstream, sample);
}

void InPlaceStage::receive(Pin&, MediaSample& sample) {
    transform(sample);
    deliver(outputPin(), sample);
}

}  // namespace moraven
