#include "pipeline/stages/file_output_stage.h"

#include <algorithm>
#include <stdexcept>

#include "pipeline/graph/graph.h"

namespace moraven {

MediaTime FileOutputStage::duration() const { return graph() != nullptr ? graph()->duration() : MediaTime(); }

const std::string& FileOutputStage::outputFileName() const {
    const Pin* out = output(0);
    const std::string* path = out != nullptr && out->isConnected() ? out->peer()->stage().fileName() : nullptr;
    if (path == nullptr) throw std::runtime_error(displayName() + ": no file writer names the output file");
    return *path;
}

void FileOutputStage::written(const MediaSample& sample) {
    m_position.store(std::max(m_position.load(), sample.stop.ticks()));
    rendered(sample);
}

}  // namespace moraven
