#pragma once

#include <memory>
#include <string_view>

#include "pipeline/graph/stage.h"

// Makes the framework's own stages by display name (as pipeline/stage_registry.h lists them, and the decoders
// that stand in for the platform's: "Video Decoder", "Audio Decoder"), for those that need no constructor
// argument; codec stages made here use the codec module. nullptr for any other name (the DV header and inlay
// stages belong to their scene detection; the video renderer comes from elsewhere).
namespace moraven {

std::unique_ptr<Stage> createStage(std::string_view displayName);

}  // namespace moraven
