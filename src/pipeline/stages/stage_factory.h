#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "pipeline/graph/stage.h"
#include "pipeline/stage_registry.h"

// The one list of the framework's own stages: each display name with its category and how the stage is made.
// The stage registry (pipeline/stage_registry.h), which the About panel and the commands' conditions ask, is
// made from this list, so a stage is listed exactly when it can be made. Codec stages made here use the codec
// module, loaded when a run first needs it. The player's renderers are not listed: they are made by the
// player with the picture surface and sound device they draw on.
namespace moraven {

class Tdv_sceneDetect;

// What some stages need besides their name: the inlay stage tells a scene detection which frame is on show.
// The detection must outlive the stages made with it.
struct StageArguments {
    Tdv_sceneDetect* sceneDetection = nullptr;
};

struct StageListing {
    std::string_view displayName;
    StageCategory category;
};

// Every stage createStage() makes, in the order the registry lists them.
std::vector<StageListing> creatableStages();

// The stage of that display name (compared exactly); nullptr for any other name, and for a stage whose
// argument is missing.
std::unique_ptr<Stage> createStage(std::string_view displayName, const StageArguments& arguments = {});

}  // namespace moraven
