#pragma once

#include <memory>
#include <string>

// Owning handles for FFmpeg's objects, so that every path out of a codec (failure included) frees what it
// made. FFmpeg's own headers stay in the module's .cpp files: its types are only named here.
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFilterGraph;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace moraven::ffmpeg {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const;
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const;
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const;
};
struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const;
};
struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const;
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const;
};
struct ResamplerDeleter {
    void operator()(SwrContext* resampler) const;
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;
using ParserHandle = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using FilterGraphHandle = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using ScalerHandle = std::unique_ptr<SwsContext, ScalerDeleter>;
using ResamplerHandle = std::unique_ptr<SwrContext, ResamplerDeleter>;

// FFmpeg's words for an error code.
std::string errorText(int code);

// Writes `text` to `error` when one is given; answers nullptr of the wanted kind, for makers' failure paths.
template <typename T>
std::unique_ptr<T> failWith(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return nullptr;
}

}  // namespace moraven::ffmpeg
