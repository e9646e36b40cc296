#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// Owning handles for FFmpeg's objects, so that every path out of a codec (failure included) frees what it made.
namespace moraven::ffmpeg {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;
using ParserHandle = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerDeleter>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerDeleter>;

// FFmpeg's words for an error code.
inline std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Writes `text` to `error` when one is given; answers nullptr of the wanted kind, for makers' failure paths.
template <typename T>
std::unique_ptr<T> failWith(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return nullptr;
}

}  // namespace moraven::ffmpeg
