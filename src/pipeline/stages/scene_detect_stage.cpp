#include "pipeline/stages/scene_detect_stage.h"

namespace moraven {

Tdv_sceneDetect::Tdv_sceneDetect()
    : InPlaceStage(kDisplayName), m_analysis(std::make_unique<DvFrameAnalysis>()) {}

bool Tdv_sceneDetect::acceptsType(const MediaType& type) const {
    return DvFrameAnalysis::accepts(type.majorType(), type.subtype());
}

void Tdv_sceneDetect::transform(MediaSample& sample) {
    if (m_analysis->analyseFrame(sample.bytes(), sample.start, sample.stop)) {
        sample.discontinuity = true;
        sample.keyFrame = true;
    }
    sample.frameFacts = m_analysis->LatestFacts();
}

void Tdv_sceneDetect::stop(StopReason) { m_analysis->graphStopped(); }

}  // namespace moraven
