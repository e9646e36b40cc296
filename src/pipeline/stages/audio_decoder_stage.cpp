#include "pipeline/stages/audio_decoder_stage.h"

#include <string>

#include "formats/avi_headers.h"
#include "pipeline/stages/codec_access.h"
#include "pipeline/video/codec_stream_info.h"

namespace moraven {

AudioDecoderStage::AudioDecoderStage(const MediaFramework* framework)
    : Stage(kDisplayName), m_framework(framework), m_input(addPin(PinDirection::Input, "Input")) {
    addPin(PinDirection::Output, "Output");
}

AudioDecoderStage::~AudioDecoderStage() = default;

bool AudioDecoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    const auto wave = type.wave();
    if (&input != &m_input || !wave || wave->isPcm16()) return false;
    const auto info = codecStreamInfoOf(type);
    if (!info || info->channels <= 0 || info->samplesPerSecond <= 0) return false;
    try {
        return requireMediaFramework(m_framework).createAudioDecoder(*info) != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

PcmFormat AudioDecoderStage::announcedFormat() const {
    const auto info = codecStreamInfoOf(m_input.connectionType());
    if (!info) return {};
    return {info->channels, info->samplesPerSecond};
}

std::vector<MediaType> AudioDecoderStage::outputTypes(const Pin&) const {
    if (!m_input.isConnected()) return {};
    const PcmFormat format = announcedFormat();
    if (format.channels <= 0 || format.samplesPerSecond <= 0) return {};
    return {MediaType::pcm(static_cast<std::uint16_t>(format.channels),
                           static_cast<std::uint32_t>(format.samplesPerSecond), 16)};
}

void AudioDecoderStage::start() {
    const auto info = codecStreamInfoOf(m_input.connectionType());
    if (!info) throw std::runtime_error("the sound stream has no wave format");
    std::string error;
    m_decoder = requireCodec(requireMediaFramework(m_framework).createAudioDecoder(*info, &error),
                             "the sound cannot be decoded", error);
    m_announced = announcedFormat();
    m_resampler.reset();
    m_timeBaseSet = false;
    m_samplesOut = 0;
    m_refused = 0;
}

void AudioDecoderStage::deliverBlock(std::vector<std::uint8_t>& pcm) {
    const std::size_t frameBytes = static_cast<std::size_t>(m_announced.channels) * 2;
    const std::uint64_t samples = pcm.size() / frameBytes;
    if (samples == 0) return;
    pcm.resize(samples * frameBytes);
    m_block.data.swap(pcm);
    const AviRate rate{static_cast<std::uint32_t>(m_announced.samplesPerSecond), 1};
    m_block.start = m_timeBase + aviTicks(m_samplesOut, rate);
    m_samplesOut += samples;
    m_block.stop = m_timeBase + aviTicks(m_samplesOut, rate);
    m_block.keyFrame = true;
    m_block.discontinuity = false;
    m_block.preroll = false;
    m_block.frameFacts.reset();
    m_block.typeChange.reset();
    deliver(*output(0), m_block);
}

void AudioDecoderStage::deliverSound() {
    PcmFormat format;
    while (m_decoder->receive(m_decoded, format)) {
        if (format == m_announced) {
            deliverBlock(m_decoded);
            continue;
        }
        if (!m_resampler || !(m_resampledFrom == format)) {
            std::string error;
            m_resampler = requireCodec(requireMediaFramework(m_framework).createResampler(format, m_announced, &error),
                                       "the decoded sound cannot be resampled", error);
            m_resampledFrom = format;
        }
        std::vector<std::uint8_t> converted;
        m_resampler->convert(m_decoded, converted);
        deliverBlock(converted);
    }
}

void AudioDecoderStage::receive(Pin&, MediaSample& sample) {
    if (!m_timeBaseSet) {
        m_timeBase = sample.start;
        m_timeBaseSet = true;
    }
    if (!m_decoder->send(sample.bytes(), sample.start)) ++m_refused;
    deliverSound();
}

void AudioDecoderStage::endOfStream(Pin&) {
    m_decoder->sendEnd();
    deliverSound();
    if (m_resampler) {
        std::vector<std::uint8_t> rest;
        m_resampler->flush(rest);
        deliverBlock(rest);
    }
    if (m_refused > 0) {
        warn("the sound decoder could not read " + std::to_string(m_refused) + " of the stream's blocks");
    }
    deliverEndOfStream(*output(0));
}

void AudioDecoderStage::stop(StopReason) {
    m_decoder.reset();
    m_resampler.reset();
}

void AudioDecoderStage::flush() {
    if (m_decoder) m_decoder->flush();
    // Whatever the resampler holds is from before the seek; the next one made starts empty.
    m_resampler.reset();
    m_timeBaseSet = false;
    m_samplesOut = 0;
}

}  // namespace moraven
