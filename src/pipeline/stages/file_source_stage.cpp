#include "pipeline/stages/file_source_stage.h"

#include "formats/binary_file.h"

namespace moraven {

FileSourceStage::FileSourceStage() : Stage(kDisplayName) { addPin(PinDirection::Output, "Output"); }

bool FileSourceStage::load(const std::string& path) {
    try {
        // Opening refuses folders, devices and pipes, and files we may not read.
        BinaryFile file(path, BinaryFile::Mode::Read);
    } catch (const FileError&) {
        return false;
    }
    m_path = path;
    return true;
}

std::vector<MediaType> FileSourceStage::outputTypes(const Pin&) const {
    if (m_path.empty()) return {};
    return {MediaType(kMediaTypeStream, kMediaSubtypeAvi, {})};
}

}  // namespace moraven
