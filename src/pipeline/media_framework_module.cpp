#include "pipeline/media_framework_module.h"

#include <dlfcn.h>

#include <cstdlib>

#include "formats/executable_path.h"

namespace moraven {
namespace {

MediaFrameworkLoad load() {
    MediaFrameworkLoad result;
    const std::string path = mediaFrameworkModulePath();
    // RTLD_LOCAL keeps the module's copies of our libraries to itself; the module is never unloaded, so what
    // it hands out stays valid until the process ends.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        result.error = reason != nullptr ? reason : "cannot load " + path;
        return result;
    }
    const auto entry = reinterpret_cast<MediaFrameworkEntry>(::dlsym(handle, kMediaFrameworkEntryPoint));
    if (entry == nullptr) {
        result.error = path + " has no entry point " + kMediaFrameworkEntryPoint;
        return result;
    }
    result.framework = entry(MediaFramework::kInterfaceVersion);
    if (result.framework == nullptr) result.error = path + " was built for another version of the program";
    return result;
}

}  // namespace

std::string mediaFrameworkModulePath() {
    const char* folder = std::getenv("MORAVEN_MODULE_DIR");
    const std::string base = folder != nullptr && *folder != '\0' ? std::string(folder) : ownExecutableFolder();
    return (base.empty() ? std::string(".") : base) + "/" + kMediaFrameworkModuleName;
}

const MediaFrameworkLoad& loadMediaFramework() {
    static const MediaFrameworkLoad loaded = load();
    return loaded;
}

}  // namespace moraven
