#include "pipeline/stages/null_renderer_stage.h"

namespace moraven {

NullRendererStage::NullRendererStage() : Stage(kDisplayName) { addPin(PinDirection::Input, "In"); }

void NullRendererStage::receive(Pin&, MediaSample& sample) { rendered(sample); }

}  // namespace moraven
