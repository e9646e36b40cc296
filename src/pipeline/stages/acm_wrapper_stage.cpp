#include "pipeline/stages/acm_wrapper_stage.h"

#include <string>

#include "formats/avi_headers.h"
#include "pipeline/stages/codec_access.h"

namespace moraven {

namespace {

bool is16BitPcm(const WaveFormat& wave) { return wave.isPcm16() && wave.channels > 0 && wave.samplesPerSecond > 0; }

PcmFormat pcmFormatOf(const WaveFormat& wave) {
    return {wave.channels, static_cast<int>(wave.samplesPerSecond)};
}

}  // namespace

AcmWrapperStage::AcmWrapperStage(const MediaFramework* framework) : Stage(kDisplayName), m_framework(framework) {
    addPin(PinDirection::Input, "Input");
    addPin(PinDirection::Output, "Output");
}

AcmWrapperStage::~AcmWrapperStage() = default;

bool AcmWrapperStage::setOutputFormat(const WaveFormat& format) {
    if (!is16BitPcm(format)) return false;
    m_outputFormat = WaveFormat::pcm(format.channels, format.samplesPerSecond, 16);
    return true;
}

std::vector<MediaType> AcmWrapperStage::outputTypes(const Pin&) const {
    const Pin* in = input(0);
    if (!in->isConnected()) return {};
    if (m_outputFormat) return {MediaType::audio(*m_outputFormat)};
    return {in->connectionType()};
}

bool AcmWrapperStage::acceptsInput(const Pin&, const MediaType& type) const {
    if (!type.isAudio()) return false;
    if (!m_outputFormat) return true;
    const auto wave = type.wave();
    return wave && is16BitPcm(*wave);
}

bool AcmWrapperStage::firstSample(const Pin&, MediaSample& sample) const {
    const Pin* upstream = input(0)->peer();
    return upstream != nullptr && upstream->stage().firstSample(*upstream, sample);
}

void AcmWrapperStage::start() {
    m_resampler.reset();
    m_samplesOut = 0;
    if (!m_outputFormat || !input(0)->isConnected()) return;
    const auto wave = input(0)->connectionType().wave();
    if (!wave || pcmFormatOf(*wave) == pcmFormatOf(*m_outputFormat)) return;
    std::string error;
    m_resampler = requireCodec(requireMediaFramework(m_framework)
                                   .createResampler(pcmFormatOf(*wave), pcmFormatOf(*m_outputFormat), &error),
                               "the sound cannot be resampled", error);
}

void AcmWrapperStage::deliverConverted() {
    const std::size_t frameBytes = m_outputFormat->blockAlign;
    const std::uint64_t samples = m_block.data.size() / frameBytes;
    if (samples == 0) return;
    m_block.data.resize(samples * frameBytes);
    const AviRate rate{m_outputFormat->samplesPerSecond, 1};
    m_block.start = aviTicks(m_samplesOut, rate);
    m_samplesOut += samples;
    m_block.stop = aviTicks(m_samplesOut, rate);
    m_block.keyFrame = true;
    m_block.discontinuity = false;
    m_block.preroll = false;
    m_block.typeChange.reset();
    deliver(*output(0), m_block);
}

void AcmWrapperStage::receive(Pin&, MediaSample& sample) {
    if (!m_resampler) {
        deliver(*output(0), sample);
        return;
    }
    m_block.data.clear();
    if (!m_resampler->convert(sample.bytes(), m_block.data)) throw std::runtime_error("the sound cannot be resampled");
    deliverConverted();
}

void AcmWrapperStage::endOfStream(Pin&) {
    if (m_resampler) {
        m_block.data.clear();
        m_resampler->flush(m_block.data);
        deliverConverted();
    }
    deliverEndOfStream(*output(0));
}

void AcmWrapperStage::stop(StopReason) { m_resampler.reset(); }

}  // namespace moraven
