#include "pipeline/ffmpeg/dv_codecs.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/ffmpeg/picture_frames.h"

namespace moraven::ffmpeg {

namespace {

// A 525/60 frame: ten sequences of 150 blocks of 80 bytes.
constexpr std::size_t kSmallestDvFrame = 120'000;

// The system whose DV picture the codec produced; Unknown for any other picture (such as DVCPRO's 4:1:1 at
// 625 lines or 50 Mbit/s 4:2:2), which the program does not handle.
DvSystem systemOfPicture(const AVFrame& frame) {
    for (const DvSystem system : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        const PictureFormat format = dvPictureFormat(system, false);
        if (frame.format == avPixelFormat(format.layout) && frame.width == format.width &&
            frame.height == format.height)
            return system;
    }
    return DvSystem::Unknown;
}

// A codec context for DV that works on the caller's thread alone.
CodecContextHandle openDvContext(const AVCodec* codec, std::string* error,
                                 void (*configure)(AVCodecContext&, DvSystem, bool), DvSystem system, bool wide) {
    CodecContextHandle context(avcodec_alloc_context3(codec));
    if (!context) {
        if (error != nullptr) *error = "out of memory";
        return nullptr;
    }
    context->thread_count = 1;
    if (configure != nullptr) configure(*context, system, wide);
    const int opened = avcodec_open2(context.get(), codec, nullptr);
    if (opened < 0) {
        if (error != nullptr) *error = "the DV codec cannot be opened: " + errorText(opened);
        return nullptr;
    }
    return context;
}

class FfmpegDvVideoDecoder final : public DvVideoDecoder {
public:
    FfmpegDvVideoDecoder(CodecContextHandle context, FrameHandle frame, PacketHandle packet)
        : m_context(std::move(context)), m_frame(std::move(frame)), m_packet(std::move(packet)) {}

    bool decode(Bytes frame, std::vector<std::uint8_t>& picture, PictureFormat& format) override {
        if (frame.size() < kSmallestDvFrame) return false;
        fillPaddedPacket(*m_packet, m_input, frame, AV_NOPTS_VALUE);
        const int sent = avcodec_send_packet(m_context.get(), m_packet.get());
        m_packet->data = nullptr;
        m_packet->size = 0;
        if (sent < 0) return false;
        av_frame_unref(m_frame.get());
        if (avcodec_receive_frame(m_context.get(), m_frame.get()) < 0) return false;
        const DvSystem system = systemOfPicture(*m_frame);
        if (system == DvSystem::Unknown) return false;
        std::uint32_t aspectX = 0;
        std::uint32_t aspectY = 0;
        frameAspect(*m_frame, aspectX, aspectY);
        format = dvPictureFormat(system, isWideAspect(aspectX, aspectY));
        picture.resize(pictureBytes(format));
        const auto view = viewPicture(format, std::span<std::uint8_t>(picture));
        if (!view) return false;
        copyFrameToPicture(*m_frame, *view);  // same layout: a plain copy into the tight planes
        return true;
    }

private:
    CodecContextHandle m_context;
    FrameHandle m_frame;
    PacketHandle m_packet;
    std::vector<std::uint8_t> m_input;
};

class FfmpegDvVideoEncoder final : public DvVideoEncoder {
public:
    FfmpegDvVideoEncoder(CodecContextHandle context, FrameHandle frame, PacketHandle packet, PictureFormat format)
        : m_context(std::move(context)), m_frame(std::move(frame)), m_packet(std::move(packet)), m_format(format) {}

    bool encode(Bytes picture, std::vector<std::uint8_t>& frame) override {
        if (picture.size() != pictureBytes(m_format)) return false;
        const auto view = viewPicture(m_format, picture);
        if (!view) return false;
        if (av_frame_make_writable(m_frame.get()) < 0) return false;
        copyPictureToFrame(*view, *m_frame);
        m_frame->pts = m_nextPts++;
        if (avcodec_send_frame(m_context.get(), m_frame.get()) < 0) return false;
        av_packet_unref(m_packet.get());
        if (avcodec_receive_packet(m_context.get(), m_packet.get()) < 0) return false;
        frame.assign(m_packet->data, m_packet->data + m_packet->size);
        av_packet_unref(m_packet.get());
        return true;
    }

private:
    CodecContextHandle m_context;
    FrameHandle m_frame;
    PacketHandle m_packet;
    PictureFormat m_format;
    std::int64_t m_nextPts = 0;
};

void configureEncoder(AVCodecContext& context, DvSystem system, bool wide) {
    const PictureFormat format = dvPictureFormat(system, wide);
    const bool pal = system == DvSystem::Pal625;
    context.width = format.width;
    context.height = format.height;
    context.pix_fmt = static_cast<AVPixelFormat>(avPixelFormat(format.layout));
    context.time_base = pal ? AVRational{1, 25} : AVRational{1001, 30000};
    context.framerate = pal ? AVRational{25, 1} : AVRational{30000, 1001};
    // The codec writes 16:9 into the frame's VAUX when the picture's shape says so.
    if (pal) context.sample_aspect_ratio = wide ? AVRational{64, 45} : AVRational{16, 15};
    else context.sample_aspect_ratio = wide ? AVRational{32, 27} : AVRational{8, 9};
    context.field_order = AV_FIELD_BB;
    context.flags |= AV_CODEC_FLAG_INTERLACED_DCT;
}

}  // namespace

std::unique_ptr<DvVideoDecoder> makeDvVideoDecoder(std::string* error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) return failWith<DvVideoDecoder>(error, "this FFmpeg has no DV video decoder");
    CodecContextHandle context = openDvContext(codec, error, nullptr, DvSystem::Unknown, false);
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!context) return nullptr;
    if (!frame || !packet) return failWith<DvVideoDecoder>(error, "out of memory");
    return std::make_unique<FfmpegDvVideoDecoder>(std::move(context), std::move(frame), std::move(packet));
}

std::unique_ptr<DvVideoEncoder> makeDvVideoEncoder(DvSystem system, bool wide, std::string* error) {
    if (system == DvSystem::Unknown) return failWith<DvVideoEncoder>(error, "no television system to encode for");
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (codec == nullptr) return failWith<DvVideoEncoder>(error, "this FFmpeg has no DV video encoder");
    CodecContextHandle context = openDvContext(codec, error, configureEncoder, system, wide);
    if (!context) return nullptr;
    const PictureFormat format = dvPictureFormat(system, wide);
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!frame || !packet) return failWith<DvVideoEncoder>(error, "out of memory");
    frame->format = context->pix_fmt;
    frame->width = format.width;
    frame->height = format.height;
    frame->interlaced_frame = 1;
    frame->top_field_first = 0;
    frame->sample_aspect_ratio = context->sample_aspect_ratio;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return failWith<DvVideoEncoder>(error, "out of memory");
    return std::make_unique<FfmpegDvVideoEncoder>(std::move(context), std::move(frame), std::move(packet), format);
}

}  // namespace moraven::ffmpeg
