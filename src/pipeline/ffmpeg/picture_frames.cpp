#include "pipeline/ffmpeg/picture_frames.h"

#include <cstring>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace moraven::ffmpeg {

namespace {

std::optional<PixelLayout> ownLayout(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUV420P: return PixelLayout::Yuv420p;
        case AV_PIX_FMT_YUV411P: return PixelLayout::Yuv411p;
        case AV_PIX_FMT_YUV422P: return PixelLayout::Yuv422p;
        case AV_PIX_FMT_BGR24: return PixelLayout::Bgr24;
        default: return std::nullopt;
    }
}

// What a foreign pixel format is converted to: BGR for RGB data, else YUV keeping vertical chroma if it has it.
PixelLayout layoutForForeign(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr) return PixelLayout::Yuv420p;
    if ((descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0) return PixelLayout::Bgr24;
    if (descriptor->nb_components < 3) return PixelLayout::Yuv420p;  // grey: any layout keeps it
    return descriptor->log2_chroma_h > 0 ? PixelLayout::Yuv420p : PixelLayout::Yuv422p;
}

void copyPlanes(const std::uint8_t* const* source, const int* sourceStrides, std::uint8_t* const* target,
                const int* targetStrides, const PictureFormat& format) {
    for (int plane = 0; plane < planeCount(format.layout); ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        const std::uint8_t* from = source[plane];
        std::uint8_t* to = target[plane];
        for (int row = 0; row < geometry.height; ++row) {
            std::memcpy(to, from, static_cast<std::size_t>(geometry.width));
            from += sourceStrides[plane];
            to += targetStrides[plane];
        }
    }
}

}  // namespace

int avPixelFormat(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::Yuv420p: return AV_PIX_FMT_YUV420P;
        case PixelLayout::Yuv411p: return AV_PIX_FMT_YUV411P;
        case PixelLayout::Yuv422p: return AV_PIX_FMT_YUV422P;
        case PixelLayout::Bgr24: return AV_PIX_FMT_BGR24;
    }
    return AV_PIX_FMT_NONE;
}

void frameAspect(const AVFrame& frame, std::uint32_t& aspectX, std::uint32_t& aspectY) {
    aspectX = 0;
    aspectY = 0;
    const AVRational sar = frame.sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0 || frame.width <= 0 || frame.height <= 0) return;
    const std::uint64_t x = static_cast<std::uint64_t>(frame.width) * static_cast<std::uint64_t>(sar.num);
    const std::uint64_t y = static_cast<std::uint64_t>(frame.height) * static_cast<std::uint64_t>(sar.den);
    const std::uint64_t common = std::gcd(x, y);
    if (x / common > UINT32_MAX || y / common > UINT32_MAX) return;
    aspectX = static_cast<std::uint32_t>(x / common);
    aspectY = static_cast<std::uint32_t>(y / common);
}

FieldOrder frameFieldOrder(const AVFrame& frame) {
    if (frame.interlaced_frame == 0) return FieldOrder::Progressive;
    return frame.top_field_first != 0 ? FieldOrder::TopFirst : FieldOrder::BottomFirst;
}

bool FrameToPicture::convert(const AVFrame& frame, std::vector<std::uint8_t>& picture, PictureFormat& format) {
    if (frame.width <= 0 || frame.height <= 0) return false;
    const auto sourceFormat = static_cast<AVPixelFormat>(frame.format);
    const std::optional<PixelLayout> own = ownLayout(sourceFormat);
    format.layout = own ? *own : layoutForForeign(sourceFormat);
    format.width = frame.width;
    format.height = frame.height;
    frameAspect(frame, format.aspectX, format.aspectY);
    format.fieldOrder = frameFieldOrder(frame);
    picture.resize(pictureBytes(format));
    const auto view = viewPicture(format, std::span<std::uint8_t>(picture));
    if (!view) return false;
    if (own) {
        copyFrameToPicture(frame, *view);
        return true;
    }
    // Full-range ("J") formats are recognised by swscale itself and brought to limited range here.
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), frame.width, frame.height, sourceFormat, format.width,
                                        format.height, static_cast<AVPixelFormat>(avPixelFormat(format.layout)), SWS_BICUBIC, nullptr, nullptr,
                                        nullptr));
    if (!m_scaler) return false;
    const int done = sws_scale(m_scaler.get(), frame.data, frame.linesize, 0, frame.height, view->planes.data(),
                               view->strides.data());
    return done > 0;
}

void copyPictureToFrame(const ConstPictureView& view, AVFrame& frame) {
    copyPlanes(view.planes.data(), view.strides.data(), frame.data, frame.linesize, view.format);
}

void copyFrameToPicture(const AVFrame& frame, const PictureView& view) {
    copyPlanes(frame.data, frame.linesize, view.planes.data(), view.strides.data(), view.format);
}

void fillPaddedPacket(AVPacket& packet, std::vector<std::uint8_t>& buffer, Bytes bytes, std::int64_t pts) {
    buffer.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    if (!bytes.empty()) std::memcpy(buffer.data(), bytes.data(), bytes.size());
    std::memset(buffer.data() + bytes.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);
    av_packet_unref(&packet);
    packet.data = buffer.data();
    packet.size = static_cast<int>(bytes.size());
    packet.pts = pts;
    packet.dts = AV_NOPTS_VALUE;
}

}  // namespace moraven::ffmpeg
