#pragma once

#include "pipeline/graph/stage.h"

// "Null Renderer": accepts any type and discards every sample; a renderer (it counts for pausing and is
// paced by the reference clock). Streaming thread for receive().
namespace moraven {

class NullRendererStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Null Renderer";

    NullRendererStage();

    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin&) override {}
    bool isRenderer() const override { return true; }
};

}  // namespace moraven
