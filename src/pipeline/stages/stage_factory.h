#pragma once

#include <memory>
#include <string_view>

#include "pipeline/graph/stage.h"

// Makes the framework's own stages by display name (as pipeline/stage_registry.h lists them), for those that
// need no constructor argument. nullptr for any other name (the DV header stage needs its scene detection;
// the DV and codec stages come from elsewhere).
namespace moraven {

std::unique_ptr<Stage> createStage(std::string_view displayName);

}  // namespace moraven
