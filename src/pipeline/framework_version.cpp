#include "pipeline/framework_version.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace moraven {
namespace {

// FFmpeg packs a version as major << 16 | minor << 8 | micro.
LibraryVersion unpack(unsigned packed) { return {packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF}; }

std::string text(const LibraryVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.micro);
}

}  // namespace

MediaFrameworkVersions mediaFrameworkVersions() {
    MediaFrameworkVersions versions;
    const char* release = av_version_info();
    versions.release = release != nullptr ? release : "";
    versions.avutil = unpack(avutil_version());
    versions.avcodec = unpack(avcodec_version());
    versions.avformat = unpack(avformat_version());
    return versions;
}

std::string MediaFrameworkVersion() {
    const MediaFrameworkVersions versions = mediaFrameworkVersions();
    std::string result = "FFmpeg";
    if (!versions.release.empty()) result += " " + versions.release;
    result += " (libavutil " + text(versions.avutil) + ", libavcodec " + text(versions.avcodec) +
              ", libavformat " + text(versions.avformat) + ")";
    return result;
}

}  // namespace moraven
