#include "pipeline/stages/acm_wrapper_stage.h"

namespace moraven {

AcmWrapperStage::AcmWrapperStage() : Stage(kDisplayName) {
    addPin(PinDirection::Input, "Input");
    addPin(PinDirection::Output, "Output");
}

std::vector<MediaType> AcmWrapperStage::outputTypes(const Pin&) const {
    const Pin* in = input(0);
    if (!in->isConnected()) return {};
    return {in->connectionType()};
}

bool AcmWrapperStage::acceptsInput(const Pin&, const MediaType& type) const {
    if (!type.isAudio()) return false;
    if (!m_outputFormat) return true;
    const auto wave = type.wave();
    return wave && *wave == *m_outputFormat;
}

bool AcmWrapperStage::firstSample(const Pin&, MediaSample& sample) const {
    const Pin* upstream = input(0)->peer();
    return upstream != nullptr && upstream->stage().firstSample(*upstream, sample);
}

void AcmWrapperStage::receive(Pin&, MediaSample& sample) { deliver(*output(0), sample); }

}  // namespace moraven
