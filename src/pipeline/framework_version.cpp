#include "pipeline/framework_version.h"

#include "pipeline/media_framework_module.h"

namespace moraven {
namespace {

std::string text(const LibraryVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.micro);
}

}  // namespace

MediaFrameworkVersions mediaFrameworkVersions() {
    const MediaFrameworkLoad& module = loadMediaFramework();
    return module.framework != nullptr ? module.framework->versions() : MediaFrameworkVersions{};
}

std::string MediaFrameworkVersion() {
    const MediaFrameworkLoad& module = loadMediaFramework();
    if (module.framework == nullptr) return "FFmpeg is not available (" + module.error + ")";
    const MediaFrameworkVersions versions = module.framework->versions();
    std::string result = "FFmpeg";
    if (!versions.release.empty()) result += " " + versions.release;
    result += " (libavutil " + text(versions.avutil) + ", libavcodec " + text(versions.avcodec) +
              ", libavformat " + text(versions.avformat) + ")";
    return result;
}

}  // namespace moraven
