#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/ffmpeg/conversions.h"
#include "pipeline/ffmpeg/picture_frames.h"

namespace moraven::ffmpeg {

namespace {

// swscale's SIMD paths work on blocks of pixels and want rows that start on aligned addresses; tight rows
// of an odd width do not, and give wrong colours there. Such pictures go through padded frames.
constexpr int kRowAlignment = 32;

bool aligned(const std::uint8_t* pointer, int stride) {
    return reinterpret_cast<std::uintptr_t>(pointer) % kRowAlignment == 0 && stride % kRowAlignment == 0;
}

template <typename View>
bool allAligned(const View& view) {
    for (int plane = 0; plane < planeCount(view.format.layout); ++plane) {
        const auto index = static_cast<std::size_t>(plane);
        if (!aligned(view.planes[index], view.strides[index])) return false;
    }
    return true;
}

bool allocate(FrameHandle& frame, const PictureFormat& format) {
    if (frame && frame->width == format.width && frame->height == format.height &&
        frame->format == avPixelFormat(format.layout)) {
        return true;
    }
    frame.reset(av_frame_alloc());
    if (!frame) return false;
    frame->width = format.width;
    frame->height = format.height;
    frame->format = avPixelFormat(format.layout);
    return av_frame_get_buffer(frame.get(), kRowAlignment) >= 0;
}

class SwsBgrConverter final : public BgrConverter {
public:
    bool convert(const PictureFormat& format, Bytes picture, std::vector<std::uint8_t>& bgr) override {
        const auto source = viewPicture(format, picture);
        if (!source) return false;
        PictureFormat target = format;
        target.layout = PixelLayout::Bgr24;
        bgr.resize(pictureBytes(target));
        const auto view = viewPicture(target, std::span<std::uint8_t>(bgr));
        if (!view) return false;
        // Same size in and out: swscale takes its unscaled YUV-to-RGB path, which only interpolates the
        // chroma; the scaling flag then chooses nothing but is required.
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), format.width, format.height,
                                            static_cast<AVPixelFormat>(avPixelFormat(format.layout)), target.width,
                                            target.height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr,
                                            nullptr));
        if (!m_scaler) return false;
        const std::uint8_t* const* from = source->planes.data();
        const int* fromStrides = source->strides.data();
        if (!allAligned(*source)) {
            if (!allocate(m_input, format)) return false;
            copyPictureToFrame(*source, *m_input);
            from = m_input->data;
            fromStrides = m_input->linesize;
        }
        if (allAligned(*view)) {
            return sws_scale(m_scaler.get(), from, fromStrides, 0, format.height, view->planes.data(),
                             view->strides.data()) == target.height;
        }
        if (!allocate(m_output, target)) return false;
        if (sws_scale(m_scaler.get(), from, fromStrides, 0, format.height, m_output->data, m_output->linesize) !=
            target.height) {
            return false;
        }
        copyFrameToPicture(*m_output, *view);
        return true;
    }

private:
    ScalerHandle m_scaler;
    FrameHandle m_input;   // padded copies for pictures whose rows are not aligned
    FrameHandle m_output;
};

}  // namespace

std::unique_ptr<BgrConverter> makeBgrConverter(std::string*) { return std::make_unique<SwsBgrConverter>(); }

}  // namespace moraven::ffmpeg
