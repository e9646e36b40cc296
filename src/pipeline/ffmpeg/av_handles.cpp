#include "pipeline/ffmpeg/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace moraven::ffmpeg {

void CodecContextDeleter::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
void FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void PacketDeleter::operator()(AVPacket* packet) const { av_packet_free(&packet); }
void ParserDeleter::operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
void FilterGraphDeleter::operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
void ScalerDeleter::operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
void ResamplerDeleter::operator()(SwrContext* resampler) const { swr_free(&resampler); }

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace moraven::ffmpeg
