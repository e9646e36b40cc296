#pragma once

#include <string>

#include "pipeline/graph/stage.h"

// The shape of the stages that work on each sample in place (sample grabber, scene detection, DV header):
// one input, one output that offers the input's type once the input is connected, and each sample handed
// on after transform() changed it (or not). The first sample is the upstream's.
// Threads: as Stage; transform() runs on the streaming thread.
namespace moraven {

class InPlaceStage : public Stage {
public:
    explicit InPlaceStage(std::string displayName);

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;
    void receive(Pin& input, MediaSample& sample) override;

    Pin& inputPin() const { return *input(0); }
    Pin& outputPin() const { return *output(0); }

protected:
    // Whether the stage works on `type`; the base takes every type.
    virtual bool acceptsType(const MediaType&) const { return true; }
    // Works on one sample before it is handed on.
    virtual void transform(MediaSample&) {}
};

}  // namespace moraven
