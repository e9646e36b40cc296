#include "pipeline/stages/sample_grabber_stage.h"

namespace moraven {

SampleGrabberStage::SampleGrabberStage() : InPlaceStage(kDisplayName) {}

bool SampleGrabberStage::acceptsType(const MediaType& type) const {
    if (!m_accepted) return true;
    if (type.majorType() != m_accepted->majorType) return false;
    return m_accepted->subtype == FourCC() || type.subtype() == m_accepted->subtype;
}

void SampleGrabberStage::receive(Pin&, MediaSample& sample) {
    if (m_callback) m_callback(sample);
    if (outputPin().isConnected()) {
        deliver(outputPin(), sample);
    } else {
        rendered(sample);
    }
}

void SampleGrabberStage::endOfStream(Pin&) { deliverEndOfStream(outputPin()); }

}  // namespace moraven
