// The codec module: the media framework implemented on FFmpeg's libraries. Built as a shared object that the
// program loads on first use (pipeline/media_framework_module.h); only its entry point is exported.
#include "pipeline/media_framework.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace moraven {
namespace {

// FFmpeg packs a version as major << 16 | minor << 8 | micro.
LibraryVersion unpack(unsigned packed) { return {packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF}; }

class FfmpegFramework final : public MediaFramework {
public:
    MediaFrameworkVersions versions() const override {
        MediaFrameworkVersions versions;
        const char* release = av_version_info();
        versions.release = release != nullptr ? release : "";
        versions.avutil = unpack(avutil_version());
        versions.avcodec = unpack(avcodec_version());
        versions.avformat = unpack(avformat_version());
        return versions;
    }
};

}  // namespace
}  // namespace moraven

extern "C" __attribute__((visibility("default"))) moraven::MediaFramework* moravenMediaFramework(
    unsigned interfaceVersion) {
    if (interfaceVersion != moraven::MediaFramework::kInterfaceVersion) return nullptr;
    static moraven::FfmpegFramework framework;
    return &framework;
}
