#include "pipeline/stages/codec_access.h"

#include "pipeline/media_framework_module.h"

namespace moraven {

const MediaFramework& requireMediaFramework(const MediaFramework* given) {
    if (given != nullptr) return *given;
    const MediaFrameworkLoad& load = loadMediaFramework();
    if (load.framework == nullptr) throw std::runtime_error("the codecs cannot be loaded: " + load.error);
    return *load.framework;
}

}  // namespace moraven
