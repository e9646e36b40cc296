#include "pipeline/ffmpeg/stream_decoders.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/ffmpeg/picture_frames.h"

namespace moraven::ffmpeg {

namespace {

// Our start times are in ticks of 100 ns; the codecs carry them through as their packets' timestamps.
constexpr AVRational kTickBase{1, static_cast<int>(MediaTime::kTicksPerSecond)};

constexpr std::uint32_t kWavePcm = 0x0001;
constexpr std::uint32_t kWaveFloat = 0x0003;
constexpr std::uint32_t kWaveExtensible = 0xFFFE;

std::string tagText(const CodecStreamInfo& stream) {
    if (!stream.video) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(stream.codecTag.value()));
        return text;
    }
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = stream.codecTag.charAt(i);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return "\"" + text + "\"";
}

AVCodecID pcmCodec(std::uint32_t tag, int bitsPerSample) {
    if (tag == kWaveFloat) return bitsPerSample == 64 ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_PCM_F32LE;
    switch (bitsPerSample) {
        case 8: return AV_CODEC_ID_PCM_U8;
        case 24: return AV_CODEC_ID_PCM_S24LE;
        case 32: return AV_CODEC_ID_PCM_S32LE;
        default: return AV_CODEC_ID_PCM_S16LE;
    }
}

AVCodecID codecOf(const CodecStreamInfo& stream) {
    const std::uint32_t tag = stream.codecTag.value();
    if (stream.video) {
        if (tag == 0) return AV_CODEC_ID_RAWVIDEO;  // an uncompressed bitmap
        const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
        return av_codec_get_id(tables, tag);
    }
    if (tag == kWavePcm || tag == kWaveFloat) return pcmCodec(tag, stream.bitsPerSample);
    if (tag == kWaveExtensible) return pcmCodec(kWavePcm, stream.bitsPerSample);
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(tables, tag);
}

bool setExtradata(AVCodecContext& context, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return true;
    auto* copy = static_cast<std::uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (copy == nullptr) return false;
    std::memcpy(copy, bytes.data(), bytes.size());
    context.extradata = copy;
    context.extradata_size = static_cast<int>(bytes.size());
    return true;
}

// Opens the decoder of `stream` after `configure` has described the stream to it.
template <typename Configure>
CodecContextHandle openDecoder(const CodecStreamInfo& stream, std::string* error, Configure configure) {
    const AVCodecID id = codecOf(stream);
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (codec == nullptr) {
        if (error != nullptr) *error = "no decoder for the codec " + tagText(stream);
        return nullptr;
    }
    CodecContextHandle context(avcodec_alloc_context3(codec));
    if (!context || !configure(*context)) {
        if (error != nullptr) *error = "out of memory";
        return nullptr;
    }
    context->pkt_timebase = kTickBase;
    const int opened = avcodec_open2(context.get(), codec, nullptr);
    if (opened < 0) {
        if (error != nullptr) *error = std::string("the decoder ") + codec->name + " cannot be opened: " + errorText(opened);
        return nullptr;
    }
    return context;
}

// Packets in, frames out, for both kinds of stream: the codec's own buffering stays behind this.
class PacketFeeder {
public:
    PacketFeeder(CodecContextHandle context, FrameHandle frame, PacketHandle packet)
        : m_context(std::move(context)), m_frame(std::move(frame)), m_packet(std::move(packet)) {}

    // Sound streams go through the codec's parser when it has one: an AVI may cut MP3 or AC-3 anywhere, and
    // the decoder wants whole frames.
    void useParser(AVCodecParserContext* parser) { m_parser.reset(parser); }

    bool send(Bytes bytes, MediaTime start) {
        if (m_ended) return false;
        if (!m_parser) return sendWhole(bytes, start.ticks());
        bool accepted = true;
        std::int64_t pts = start.ticks();
        while (!bytes.empty()) {
            std::uint8_t* frame = nullptr;
            int frameSize = 0;
            const int used = av_parser_parse2(m_parser.get(), m_context.get(), &frame, &frameSize, bytes.data(),
                                              static_cast<int>(bytes.size()), pts, AV_NOPTS_VALUE, 0);
            if (used < 0) return false;
            bytes = bytes.subspan(static_cast<std::size_t>(used));
            pts = AV_NOPTS_VALUE;
            if (frameSize > 0) accepted = sendWhole(Bytes(frame, static_cast<std::size_t>(frameSize)), m_parser->pts) && accepted;
            if (used == 0 && frameSize == 0) break;
        }
        return accepted;
    }

    void sendEnd() {
        if (m_ended) return;
        if (m_parser) {
            std::uint8_t* frame = nullptr;
            int frameSize = 0;
            av_parser_parse2(m_parser.get(), m_context.get(), &frame, &frameSize, nullptr, 0, AV_NOPTS_VALUE,
                             AV_NOPTS_VALUE, 0);
            if (frameSize > 0) sendWhole(Bytes(frame, static_cast<std::size_t>(frameSize)), m_parser->pts);
        }
        m_ended = true;
        avcodec_send_packet(m_context.get(), nullptr);
    }

    const AVCodecContext& context() const { return *m_context; }

    // Drops what the codec and the parser hold and the frames waiting here; the codec takes packets again
    // even after sendEnd(). The parser has no reset of its own: it is made anew.
    void flush() {
        avcodec_flush_buffers(m_context.get());
        if (m_parser) m_parser.reset(av_parser_init(m_context->codec_id));
        m_waiting.clear();
        av_frame_unref(m_frame.get());
        m_ended = false;
    }

    // The next decoded frame (valid until the next call), or nullptr.
    AVFrame* receive() {
        av_frame_unref(m_frame.get());
        if (!m_waiting.empty()) {
            av_frame_move_ref(m_frame.get(), m_waiting.front().get());
            m_waiting.pop_front();
            return m_frame.get();
        }
        return avcodec_receive_frame(m_context.get(), m_frame.get()) >= 0 ? m_frame.get() : nullptr;
    }

private:
    bool sendWhole(Bytes bytes, std::int64_t pts) {
        fillPaddedPacket(*m_packet, m_input, bytes, pts);
        int sent = avcodec_send_packet(m_context.get(), m_packet.get());
        // A codec whose output is full takes no more input: its frames wait here until they are received.
        while (sent == AVERROR(EAGAIN)) {
            FrameHandle waiting(av_frame_alloc());
            if (!waiting || avcodec_receive_frame(m_context.get(), waiting.get()) < 0) break;
            m_waiting.push_back(std::move(waiting));
            sent = avcodec_send_packet(m_context.get(), m_packet.get());
        }
        m_packet->data = nullptr;
        m_packet->size = 0;
        return sent >= 0;
    }

    CodecContextHandle m_context;
    FrameHandle m_frame;
    PacketHandle m_packet;
    ParserHandle m_parser;
    std::deque<FrameHandle> m_waiting;
    std::vector<std::uint8_t> m_input;
    bool m_ended = false;
};

// An AVI stores pictures in decoding order, one chunk each, and times them by their place: chunk k starts at
// k frames. A codec that reorders (B-frames) hands the pictures out in display order, and the k-th picture
// it shows is the one displayed at the k-th time of the chunks. So the times of the packets sent wait in
// order here and each picture that comes out takes the earliest; a codec that does not reorder keeps each
// picture's own packet time. A packet that never yields a picture (a frame the codec skips) would hold its
// time back for good: at most kHeldTimes wait, the oldest beyond that are dropped.
class FfmpegVideoDecoder final : public VideoDecoder {
public:
    FfmpegVideoDecoder(PacketFeeder feeder, MediaTime frameDuration)
        : m_feeder(std::move(feeder)), m_frameDuration(frameDuration) {}

    bool send(Bytes packet, MediaTime start) override {
        if (!m_feeder.send(packet, start)) return false;
        m_times.insert(start.ticks());
        while (m_times.size() > kHeldTimes) m_times.erase(m_times.begin());
        return true;
    }
    void sendEnd() override { m_feeder.sendEnd(); }
    void flush() override {
        m_feeder.flush();
        m_times.clear();
        m_next = MediaTime();
    }

    bool receive(std::vector<std::uint8_t>& picture, PictureFormat& format, MediaTime& start) override {
        while (AVFrame* frame = m_feeder.receive()) {
            const std::int64_t stamp = takeTime(frame->best_effort_timestamp);
            // A picture the conversion cannot take is skipped; the next one may be fine.
            if (!m_toPicture.convert(*frame, picture, format)) continue;
            format.frameDuration = m_frameDuration;
            start = stamp != AV_NOPTS_VALUE ? MediaTime::fromTicks(stamp) : m_next;
            m_next = start + m_frameDuration;
            return true;
        }
        return false;
    }

private:
    static constexpr std::size_t kHeldTimes = 32;

    // The time of the picture that came out with its own packet's time `own` (AV_NOPTS_VALUE: none).
    std::int64_t takeTime(std::int64_t own) {
        if (m_feeder.context().has_b_frames > 0 && !m_times.empty()) {
            const std::int64_t earliest = *m_times.begin();
            m_times.erase(m_times.begin());
            return earliest;
        }
        if (own != AV_NOPTS_VALUE) {
            const auto found = m_times.find(own);
            if (found != m_times.end()) m_times.erase(found);
        }
        return own;
    }

    PacketFeeder m_feeder;
    MediaTime m_frameDuration;
    MediaTime m_next;
    std::multiset<std::int64_t> m_times;  // of packets whose pictures have not come out, earliest first
    FrameToPicture m_toPicture;
};

class FfmpegAudioDecoder final : public AudioDecoder {
public:
    explicit FfmpegAudioDecoder(PacketFeeder feeder) : m_feeder(std::move(feeder)) {}
    ~FfmpegAudioDecoder() override { av_channel_layout_uninit(&m_converterLayout); }
    FfmpegAudioDecoder(const FfmpegAudioDecoder&) = delete;
    FfmpegAudioDecoder& operator=(const FfmpegAudioDecoder&) = delete;

    bool send(Bytes packet, MediaTime start) override { return m_feeder.send(packet, start); }
    void sendEnd() override { m_feeder.sendEnd(); }
    void flush() override { m_feeder.flush(); }

    bool receive(std::vector<std::uint8_t>& pcm, PcmFormat& format) override {
        while (AVFrame* frame = m_feeder.receive()) {
            if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0) continue;
            if (toPcm(*frame, pcm)) {
                format = {frame->ch_layout.nb_channels, frame->sample_rate};
                return true;
            }
        }
        return false;
    }

private:
    bool toPcm(const AVFrame& frame, std::vector<std::uint8_t>& pcm) {
        const int channels = frame.ch_layout.nb_channels;
        if (frame.format == AV_SAMPLE_FMT_S16) {
            const auto bytes = static_cast<std::size_t>(frame.nb_samples) * static_cast<std::size_t>(channels) * 2;
            pcm.assign(frame.data[0], frame.data[0] + bytes);
            return true;
        }
        if (!m_converter || frame.format != m_converterFormat || frame.sample_rate != m_converterRate ||
            av_channel_layout_compare(&frame.ch_layout, &m_converterLayout) != 0) {
            // This FFmpeg takes the layouts by non-const pointer: they are given our own copy.
            m_converter.reset();
            av_channel_layout_uninit(&m_converterLayout);
            if (av_channel_layout_copy(&m_converterLayout, &frame.ch_layout) < 0) return false;
            SwrContext* converter = nullptr;
            if (swr_alloc_set_opts2(&converter, &m_converterLayout, AV_SAMPLE_FMT_S16, frame.sample_rate,
                                    &m_converterLayout, static_cast<AVSampleFormat>(frame.format),
                                    frame.sample_rate, 0, nullptr) < 0)
                return false;
            m_converter.reset(converter);
            if (swr_init(converter) < 0) {
                m_converter.reset();
                return false;
            }
            m_converterFormat = frame.format;
            m_converterRate = frame.sample_rate;
        }
        pcm.resize(static_cast<std::size_t>(frame.nb_samples) * static_cast<std::size_t>(channels) * 2);
        std::uint8_t* out[] = {pcm.data()};
        const int done = swr_convert(m_converter.get(), out, frame.nb_samples,
                                     const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
        if (done < 0) return false;
        pcm.resize(static_cast<std::size_t>(done) * static_cast<std::size_t>(channels) * 2);
        return done > 0;
    }

    PacketFeeder m_feeder;
    ResamplerHandle m_converter;
    int m_converterFormat = AV_SAMPLE_FMT_NONE;
    int m_converterRate = 0;
    AVChannelLayout m_converterLayout{};
};

}  // namespace

std::unique_ptr<VideoDecoder> makeVideoDecoder(const CodecStreamInfo& stream, std::string* error) {
    if (!stream.video || stream.width <= 0 || stream.height == 0)
        return failWith<VideoDecoder>(error, "the video stream has no picture size");
    CodecContextHandle context = openDecoder(stream, error, [&](AVCodecContext& codec) {
        codec.width = stream.width;
        codec.height = std::abs(stream.height);
        codec.codec_tag = stream.codecTag.value();
        codec.bits_per_coded_sample = stream.bitsPerPixel;
        codec.thread_count = 0;  // as many as the codec finds useful
        std::vector<std::uint8_t> extradata = stream.extradata;
        // An uncompressed bitmap stored bottom-up (positive height) is turned the right way by the decoder
        // when told so.
        if (stream.codecTag.value() == 0 && stream.height > 0 && extradata.empty()) {
            static constexpr char kBottomUp[] = "BottomUp";
            extradata.assign(kBottomUp, kBottomUp + sizeof kBottomUp);
        }
        return setExtradata(codec, extradata);
    });
    if (!context) return nullptr;
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!frame || !packet) return failWith<VideoDecoder>(error, "out of memory");
    return std::make_unique<FfmpegVideoDecoder>(PacketFeeder(std::move(context), std::move(frame), std::move(packet)),
                                                stream.frameDuration);
}

std::unique_ptr<AudioDecoder> makeAudioDecoder(const CodecStreamInfo& stream, std::string* error) {
    if (stream.video || stream.channels <= 0 || stream.samplesPerSecond <= 0)
        return failWith<AudioDecoder>(error, "the sound stream has no channels or no sampling rate");
    CodecContextHandle context = openDecoder(stream, error, [&](AVCodecContext& codec) {
        av_channel_layout_default(&codec.ch_layout, stream.channels);
        codec.sample_rate = stream.samplesPerSecond;
        codec.block_align = stream.blockAlign;
        codec.bit_rate = static_cast<std::int64_t>(stream.averageBytesPerSecond) * 8;
        codec.bits_per_coded_sample = stream.bitsPerSample;
        codec.codec_tag = stream.codecTag.value();
        return setExtradata(codec, stream.extradata);
    });
    if (!context) return nullptr;
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!frame || !packet) return failWith<AudioDecoder>(error, "out of memory");
    const AVCodecID codec = context->codec_id;
    PacketFeeder feeder(std::move(context), std::move(frame), std::move(packet));
    feeder.useParser(av_parser_init(codec));  // none for PCM and most others
    return std::make_unique<FfmpegAudioDecoder>(std::move(feeder));
}

}  // namespace moraven::ffmpeg
