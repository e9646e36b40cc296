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

    // The codecs come with the next steps of this module; until then every maker says so.
    std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string* error) const override {
        return unavailable<DvVideoDecoder>(error);
    }
    std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem, bool, std::string* error) const override {
        return unavailable<DvVideoEncoder>(error);
    }
    std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo&, std::string* error) const override {
        return unavailable<VideoDecoder>(error);
    }
    std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo&, std::string* error) const override {
        return unavailable<AudioDecoder>(error);
    }
    std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat&,
                                                             std::string* error) const override {
        return unavailable<PictureConformer>(error);
    }
    std::unique_ptr<Resampler> createResampler(PcmFormat, PcmFormat, std::string* error) const override {
        return unavailable<Resampler>(error);
    }

private:
    template <typename Codec>
    static std::unique_ptr<Codec> unavailable(std::string* error) {
        if (error != nullptr) *error = "this codec is not available yet";
        return nullptr;
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
