#include "pipeline/module_loader.h"

#include <dlfcn.h>

#include <cstdlib>

#include "formats/executable_path.h"

namespace moraven {

std::string moduleFilePath(const char* name) {
    const char* folder = std::getenv("MORAVEN_MODULE_DIR");
    const std::string base = folder != nullptr && *folder != '\0' ? std::string(folder) : ownExecutableFolder();
    return (base.empty() ? std::string(".") : base) + "/" + name;
}

void* openModuleEntry(const std::string& path, const char* entryPoint, std::string& error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return nullptr;
    }
    void* entry = ::dlsym(handle, entryPoint);
    if (entry == nullptr) error = path + " has no entry point " + entryPoint;
    return entry;
}

}  // namespace moraven
