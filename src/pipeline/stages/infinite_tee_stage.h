#pragma once

#include <cstddef>

#include "pipeline/graph/stage.h"

// "Infinite Pin Tee Filter": one input, outputs that grow as they are connected (there is always one free
// output, "Output 01", "Output 02", ...). Each sample goes to every connected output: a copy to all but the
// last, which gets the sample itself, since a stage downstream may change the bytes in place.
// Threads: as Stage; the copy buffer belongs to the streaming thread.
namespace moraven {

class InfiniteTeeStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Infinite Pin Tee Filter";

    InfiniteTeeStage();

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;
    void connected(Pin& pin) override;
    void disconnected(Pin& pin) override;
    void receive(Pin& input, MediaSample& sample) override;

private:
    void keepOneFreeOutput();

    int m_nextOutput = 1;
    MediaSample m_copy;
};

}  // namespace moraven
