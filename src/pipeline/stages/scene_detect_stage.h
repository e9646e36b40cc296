#pragma once

#include <memory>

#include "formats/dv_frame_analysis.h"
#include "pipeline/stages/in_place_stage.h"

// "Velloran dv_sceneDetect": the frame analysis of DV graphs (formats/dv_frame_analysis.h) as an in-place
// stage. Each frame is analysed with its times; a frame after a gap in time is marked as a discontinuity and
// a key frame. At stop the analysis is told the graph stopped.
//
// Threads: the streaming thread writes the analysis; the inlay and DV header stages (same thread) and the
// player (any thread, through the ring's readers) read it. The analysis lives as long as the stage.
namespace moraven {

class Tdv_sceneDetect final : public InPlaceStage {
public:
    static constexpr const char* kDisplayName = "Velloran dv_sceneDetect";

    Tdv_sceneDetect();

    DvFrameAnalysis& analysis() { return *m_analysis; }
    const DvFrameAnalysis& analysis() const { return *m_analysis; }

    void stop(StopReason reason) override;

protected:
    bool acceptsType(const MediaType& type) const override;
    void transform(MediaSample& sample) override;

private:
    std::unique_ptr<DvFrameAnalysis> m_analysis;  // about 50 KB: on the heap
};

}  // namespace moraven
