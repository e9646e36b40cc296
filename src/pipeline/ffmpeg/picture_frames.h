#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/video/picture_format.h"

// Moving pictures between FFmpeg's frames (padded rows, any pixel format) and our tight planes.
namespace moraven::ffmpeg {

// FFmpeg's pixel format (an AVPixelFormat) of a layout.
int avPixelFormat(PixelLayout layout);

// The display aspect of a frame reduced to lowest terms (width × sample aspect : height); 0:0 when the frame
// does not say.
void frameAspect(const AVFrame& frame, std::uint32_t& aspectX, std::uint32_t& aspectY);

FieldOrder frameFieldOrder(const AVFrame& frame);

// Copies a decoded frame into tight planes: as it is when its pixel format is one of ours, else converted
// (limited-range YUV 4:2:0 or 4:2:2 by its chroma, BGR for RGB formats). One per decoder; not thread-safe.
class FrameToPicture {
public:
    // False when the frame has no size or the conversion cannot be set up.
    bool convert(const AVFrame& frame, std::vector<std::uint8_t>& picture, PictureFormat& format);

private:
    ScalerHandle m_scaler;
};

// Copies tight planes into a frame already allocated for `view.format` (rows may be padded there).
void copyPictureToFrame(const ConstPictureView& view, AVFrame& frame);
// Copies a frame whose layout and size are `view.format`'s into the view's tight planes.
void copyFrameToPicture(const AVFrame& frame, const PictureView& view);

// Points `packet` at a copy of `bytes` in `buffer` followed by the zeroed padding that decoders may read past
// their input, with `pts` as its time. The packet borrows `buffer`: the caller sends it and then clears it.
void fillPaddedPacket(AVPacket& packet, std::vector<std::uint8_t>& buffer, Bytes bytes, std::int64_t pts);

}  // namespace moraven::ffmpeg
