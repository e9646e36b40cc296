#include "pipeline/media_framework_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace moraven {
namespace {

// The folder of the running executable, from /proc/self/exe; empty when it cannot be read.
std::string executableFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash);
        }
        if (buffer.size() >= (std::size_t{1} << 20)) return {};
        buffer.resize(buffer.size() * 2);  // the path was cut: try again with more room
    }
}

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
    const std::string base = folder != nullptr && *folder != '\0' ? std::string(folder) : executableFolder();
    return (base.empty() ? std::string(".") : base) + "/" + kMediaFrameworkModuleName;
}

const MediaFrameworkLoad& loadMediaFramework() {
    static const MediaFrameworkLoad loaded = load();
    return loaded;
}

}  // namespace moraven
