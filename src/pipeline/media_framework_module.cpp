#include "pipeline/media_framework_module.h"

#include "pipeline/module_loader.h"

namespace moraven {
namespace {

MediaFrameworkLoad load() {
    MediaFrameworkLoad result;
    const std::string path = mediaFrameworkModulePath();
    const auto entry =
        reinterpret_cast<MediaFrameworkEntry>(openModuleEntry(path, kMediaFrameworkEntryPoint, result.error));
    if (entry == nullptr) return result;
    result.framework = entry(MediaFramework::kInterfaceVersion);
    if (result.framework == nullptr) result.error = path + " was built for another version of the program";
    return result;
}

}  // namespace

std::string mediaFrameworkModulePath() { return moduleFilePath(kMediaFrameworkModuleName); }

const MediaFrameworkLoad& loadMediaFramework() {
    static const MediaFrameworkLoad loaded = load();
    return loaded;
}

}  // namespace moraven
