// The codec module: the media framework implemented on FFmpeg's libraries. Built as a shared object that the
// program loads on first use (pipeline/media_framework_module.h); only its entry point is exported.
#include "pipeline/media_framework.h"

#include "pipeline/ffmpeg/conversions.h"
#include "pipeline/ffmpeg/dv_codecs.h"
#include "pipeline/ffmpeg/stream_decoders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/log.h>
}

namespace moraven {
namespace {

// FFmpeg packs a version as major << 16 | minor << 8 | micro.
LibraryVersion unpack(unsigned packed) { return {packed >> 16, (packed >> 8) & 0xFF, packed & 0xFF}; }

class FfmpegFramework final : public MediaFramework {
public:
    // Damaged DV frames are common and the codecs would describe each one on standard error; the program
    // reports what fails in its own words instead.
    FfmpegFramework() { av_log_set_level(AV_LOG_QUIET); }

    MediaFrameworkVersions versions() const override {
        MediaFrameworkVersions versions;
        const char* release = av_version_info();
        versions.release = release != nullptr ? release : "";
        versions.avutil = unpack(avutil_version());
        versions.avcodec = unpack(avcodec_version());
        versions.avformat = unpack(avformat_version());
        return versions;
    }

    std::unique_ptr<DvVideoDecoder> createDvVideoDecoder(std::string* error) const override {
        return ffmpeg::makeDvVideoDecoder(error);
    }
    std::unique_ptr<DvVideoEncoder> createDvVideoEncoder(DvSystem system, bool wide,
                                                         std::string* error) const override {
        return ffmpeg::makeDvVideoEncoder(system, wide, error);
    }
    std::unique_ptr<VideoDecoder> createVideoDecoder(const CodecStreamInfo& stream,
                                                     std::string* error) const override {
        return ffmpeg::makeVideoDecoder(stream, error);
    }
    std::unique_ptr<AudioDecoder> createAudioDecoder(const CodecStreamInfo& stream,
                                                     std::string* error) const override {
        return ffmpeg::makeAudioDecoder(stream, error);
    }
    std::unique_ptr<PictureConformer> createPictureConformer(const PictureFormat& target,
                                                             std::string* error) const override {
        return ffmpeg::makePictureConformer(target, error);
    }
    std::unique_ptr<Resampler> createResampler(PcmFormat from, PcmFormat to, std::string* error) const override {
        return ffmpeg::makeResampler(from, to, error);
    }
    std::unique_ptr<BgrConverter> createBgrConverter(std::string* error) const override {
        return ffmpeg::makeBgrConverter(error);
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
