#include "pipeline/text/text_module.h"

#include <dlfcn.h>

#include <cstdlib>

#include "formats/executable_path.h"

namespace moraven {
namespace {

TextModuleLoad load() {
    TextModuleLoad result;
    const std::string path = textModulePath();
    // Never unloaded: Qt's application object and fonts live until the process ends.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        result.error = reason != nullptr ? reason : "cannot load " + path;
        return result;
    }
    const auto entry = reinterpret_cast<TextModuleEntry>(::dlsym(handle, kTextModuleEntryPoint));
    if (entry == nullptr) {
        result.error = path + " has no entry point " + kTextModuleEntryPoint;
        return result;
    }
    std::string reason;
    result.module = entry(TextModule::kInterfaceVersion, &reason);
    if (result.module == nullptr) result.error = reason.empty() ? path + " refused to start" : path + ": " + reason;
    return result;
}

}  // namespace

std::string textModulePath() {
    const char* folder = std::getenv("MORAVEN_MODULE_DIR");
    const std::string base = folder != nullptr && *folder != '\0' ? std::string(folder) : ownExecutableFolder();
    return (base.empty() ? std::string(".") : base) + "/" + kTextModuleName;
}

const TextModuleLoad& loadTextModule() {
    static const TextModuleLoad loaded = load();
    return loaded;
}

}  // namespace moraven
