#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "pipeline/ffmpeg/av_handles.h"
#include "pipeline/ffmpeg/conversions.h"

namespace moraven::ffmpeg {

namespace {

class FfmpegResampler final : public Resampler {
public:
    FfmpegResampler(ResamplerHandle context, PcmFormat from, PcmFormat to)
        : m_context(std::move(context)), m_from(from), m_to(to) {}

    bool convert(Bytes input, std::vector<std::uint8_t>& output) override {
        const std::size_t frameBytes = static_cast<std::size_t>(m_from.channels) * 2;
        if (input.size() % frameBytes != 0) return false;
        const int samples = static_cast<int>(input.size() / frameBytes);
        const std::uint8_t* in[] = {input.data()};
        return run(in, samples, output);
    }

    void flush(std::vector<std::uint8_t>& output) override { run(nullptr, 0, output); }

private:
    bool run(const std::uint8_t** in, int samples, std::vector<std::uint8_t>& output) {
        const int room = swr_get_out_samples(m_context.get(), samples);
        if (room < 0) return false;
        if (room == 0) return true;
        const std::size_t frameBytes = static_cast<std::size_t>(m_to.channels) * 2;
        const std::size_t before = output.size();
        output.resize(before + static_cast<std::size_t>(room) * frameBytes);
        std::uint8_t* out[] = {output.data() + before};
        const int done = swr_convert(m_context.get(), out, room, in, samples);
        output.resize(before + static_cast<std::size_t>(std::max(done, 0)) * frameBytes);
        return done >= 0;
    }

    ResamplerHandle m_context;
    PcmFormat m_from;
    PcmFormat m_to;
};

}  // namespace

std::unique_ptr<Resampler> makeResampler(PcmFormat from, PcmFormat to, std::string* error) {
    if (from.channels <= 0 || to.channels <= 0 || from.samplesPerSecond <= 0 || to.samplesPerSecond <= 0)
        return failWith<Resampler>(error, "a sound format without channels or sampling rate");
    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    av_channel_layout_default(&inLayout, from.channels);
    av_channel_layout_default(&outLayout, to.channels);
    SwrContext* raw = nullptr;
    const int made = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, to.samplesPerSecond, &inLayout,
                                         AV_SAMPLE_FMT_S16, from.samplesPerSecond, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    ResamplerHandle context(raw);
    // swresample spreads mono over the sides 3 dB down; a single voice copied to every channel should keep
    // its level.
    if (made >= 0 && context && from.channels == 1) {
        const std::vector<double> everyChannelWhole(static_cast<std::size_t>(to.channels), 1.0);
        swr_set_matrix(context.get(), everyChannelWhole.data(), 1);
    }
    if (made < 0 || !context || swr_init(context.get()) < 0)
        return failWith<Resampler>(error, "the sound cannot be converted to " + std::to_string(to.samplesPerSecond) +
                                              " Hz, " + std::to_string(to.channels) + " channels");
    return std::make_unique<FfmpegResampler>(std::move(context), from, to);
}

}  // namespace moraven::ffmpeg
