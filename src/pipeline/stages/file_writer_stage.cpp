#include "pipeline/stages/file_writer_stage.h"

namespace moraven {

FileWriterStage::FileWriterStage() : Stage(kDisplayName) { addPin(PinDirection::Input, "in"); }

bool FileWriterStage::acceptsInput(const Pin&, const MediaType& type) const {
    return type.majorType() == kMediaTypeStream;
}

}  // namespace moraven
