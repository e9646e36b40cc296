#include "pipeline/ffmpeg/deinterlace_filter.h"


extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

#include "pipeline/ffmpeg/picture_frames.h"

namespace moraven::ffmpeg {

bool DeinterlaceFilter::takes(const PictureFormat& format) {
    return format.fieldOrder != FieldOrder::Progressive && format.layout != PixelLayout::Bgr24 &&
           format.width >= 4 && format.height >= 8;
}

bool DeinterlaceFilter::open(const PictureFormat& format, std::string* error) {
    m_graph.reset();
    m_source = nullptr;
    m_sink = nullptr;
    m_format = format;
    const auto fail = [&](const std::string& why) {
        m_graph.reset();
        if (error != nullptr) *error = "the pictures cannot be de-interlaced: " + why;
        return false;
    };
    if (!takes(format)) return fail("they are not interlaced YUV");
    m_graph.reset(avfilter_graph_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_graph || !m_frame) return fail("out of memory");
    m_graph->nb_threads = 1;  // the conversions run in parallel one level up
    const std::string sourceArgs = "video_size=" + std::to_string(format.width) + "x" + std::to_string(format.height) +
                                   ":pix_fmt=" + std::to_string(avPixelFormat(format.layout)) +
                                   ":time_base=1/" + std::to_string(MediaTime::kTicksPerSecond) + ":pixel_aspect=1/1";
    const char* parity = format.fieldOrder == FieldOrder::TopFirst ? "tff" : "bff";
    const std::string bwdifArgs = std::string("mode=send_frame:parity=") + parity + ":deint=all";
    AVFilterContext* bwdif = nullptr;
    int result = avfilter_graph_create_filter(&m_source, avfilter_get_by_name("buffer"), "in", sourceArgs.c_str(),
                                              nullptr, m_graph.get());
    if (result >= 0)
        result = avfilter_graph_create_filter(&bwdif, avfilter_get_by_name("bwdif"), "bwdif", bwdifArgs.c_str(),
                                              nullptr, m_graph.get());
    if (result >= 0)
        result = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                              m_graph.get());
    if (result >= 0) result = avfilter_link(m_source, 0, bwdif, 0);
    if (result >= 0) result = avfilter_link(bwdif, 0, m_sink, 0);
    if (result >= 0) result = avfilter_graph_config(m_graph.get(), nullptr);
    if (result < 0) return fail(errorText(result));
    return true;
}

bool DeinterlaceFilter::push(Bytes picture, MediaTime start) {
    if (!m_graph) return false;
    const auto view = viewPicture(m_format, picture);
    if (!view) return false;
    AVFrame* frame = m_frame.get();
    av_frame_unref(frame);
    frame->format = avPixelFormat(m_format.layout);
    frame->width = m_format.width;
    frame->height = m_format.height;
    if (av_frame_get_buffer(frame, 0) < 0) return false;
    copyPictureToFrame(*view, *frame);
    frame->pts = start.ticks();
    frame->interlaced_frame = 1;
    frame->top_field_first = m_format.fieldOrder == FieldOrder::TopFirst ? 1 : 0;
    return av_buffersrc_add_frame(m_source, frame) >= 0;  // takes the frame's buffers over
}

void DeinterlaceFilter::pushEnd() {
    // A filter that refuses the end cannot give its last pictures either: it is closed, and pull() answers false.
    if (m_graph && av_buffersrc_add_frame(m_source, nullptr) < 0) {
        m_graph.reset();
        m_source = nullptr;
        m_sink = nullptr;
    }
}

bool DeinterlaceFilter::pull(std::vector<std::uint8_t>& picture, MediaTime& start) {
    if (!m_graph) return false;
    AVFrame* frame = m_frame.get();
    av_frame_unref(frame);
    if (av_buffersink_get_frame(m_sink, frame) < 0) return false;
    PictureFormat progressive = m_format;
    progressive.fieldOrder = FieldOrder::Progressive;
    picture.resize(pictureBytes(progressive));
    const auto view = viewPicture(progressive, std::span<std::uint8_t>(picture));
    if (!view) return false;
    copyFrameToPicture(*frame, *view);
    start = MediaTime::fromTicks(frame->pts);
    av_frame_unref(frame);
    return true;
}

}  // namespace moraven::ffmpeg
