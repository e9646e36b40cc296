#include "pipeline/stages/dv_splitter_stage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/avi_headers.h"
#include "formats/byte_order.h"
#include "formats/media_type.h"

namespace moraven {

namespace {

// The system the frame's header block names, else the one its size or its stream's type tells.
DvSystem systemOfFrame(Bytes frame, const MediaType& type) {
    const DvSystem fromHeader = DvSystemOf(frame);
    if (fromHeader != DvSystem::Unknown) return fromHeader;
    if (frame.size() >= kDvPalFrameBytes) return DvSystem::Pal625;
    if (frame.size() >= kDvNtscFrameBytes) return DvSystem::Ntsc525;
    return type.dvSystem();
}

}  // namespace

DvSplitterStage::DvSplitterStage() : Stage(kDisplayName), m_input(addPin(PinDirection::Input, "Input")) {}

bool DvSplitterStage::acceptsInput(const Pin& input, const MediaType& type) const {
    return &input == &m_input && type.isInterleaved();
}

std::vector<MediaType> DvSplitterStage::outputTypes(const Pin& output) const {
    if (m_system == DvSystem::Unknown) return {};
    if (&output == this->output(0)) return {MediaType::dvVideo(m_system, m_dvInfo)};
    if (&output == this->output(1) && m_format) return {MediaType::pcm(2, m_format->sampleRate, 16)};
    return {};
}

void DvSplitterStage::connected(Pin& pin) {
    if (&pin != &m_input) return;
    m_system = DvSystem::Unknown;
    m_format.reset();
    m_dvInfo.reset();
    const MediaType& type = pin.connectionType();
    m_dvInfo = type.dvInfoBlock();
    MediaSample first;
    Pin* upstream = pin.peer();
    if (upstream && upstream->stage().firstSample(*upstream, first)) {
        m_system = systemOfFrame(first.bytes(), type);
        m_format = DvReadAudioFormat(first.bytes());
    } else {
        m_system = systemOfFrame({}, type);
    }
    if (m_system == DvSystem::Unknown) return;
    addPin(PinDirection::Output, "DVVidOut0");
    if (m_format) addPin(PinDirection::Output, "AudOut00");
}

void DvSplitterStage::disconnected(Pin& pin) {
    if (&pin != &m_input) return;
    // The outputs described the stream that was connected; they go with it (once nothing holds them).
    removeUnconnectedPins(PinDirection::Output);
    m_system = DvSystem::Unknown;
    m_format.reset();
}

bool DvSplitterStage::firstSample(const Pin& output, MediaSample& sample) const {
    if (&output != this->output(0)) return false;
    Pin* upstream = m_input.peer();
    return upstream && upstream->stage().firstSample(*upstream, sample);
}

void DvSplitterStage::start() {
    m_frames = 0;
    m_samplesOut = 0;
    m_silentFrames = 0;
    m_secondPair.clear();
}

void DvSplitterStage::receive(Pin&, MediaSample& sample) {
    if (!output(0)) return;  // no outputs: the stream was not DV of a known system
    const std::uint64_t frameIndex = m_frames++;
    const Pin* audioOut = output(1);
    if (audioOut && audioOut->isConnected() && m_format) {
        const std::uint32_t rate = m_format->sampleRate;
        const std::optional<DvAudioSamples> sound = DvReadAudio(sample.bytes());
        m_audio.data.clear();
        std::size_t values = 0;
        const std::int16_t* from = nullptr;
        if (sound && sound->format.sampleRate == rate && sound->format.quantization == m_format->quantization) {
            values = sound->firstPair.size();
            from = sound->firstPair.data();
            if (sound->format.stereoPairs == 2) m_secondPair = sound->secondPair;
        } else {
            ++m_silentFrames;
            values = std::size_t{DvAudioSamplesPerFrame(m_system, rate, frameIndex)} * 2;
        }
        m_audio.data.resize(values * 2);
        if (from) {
            // 16-bit little-endian PCM, as the wave format says.
            for (std::size_t i = 0; i < values; ++i)
                putU16le(m_audio.mutableBytes(), 2 * i, static_cast<std::uint16_t>(from[i]));
        }
        const std::uint64_t count = values / 2;
        m_audio.start = aviTicks(m_samplesOut, AviRate{rate, 1});
        m_samplesOut += count;
        m_audio.stop = aviTicks(m_samplesOut, AviRate{rate, 1});
        m_audio.keyFrame = true;
        m_audio.discontinuity = sample.discontinuity;
        // The picture first, then its sound: the order a DV type 2 file interleaves them in.
        deliver(*output(0), sample);
        deliver(*audioOut, m_audio);
        return;
    }
    deliver(*output(0), sample);
}

void DvSplitterStage::endOfStream(Pin&) {
    if (m_silentFrames > 0) {
        warn(std::to_string(m_silentFrames) +
             " DV frames had no readable sound in the format of the first frame; their sound was written as "
             "silence");
    }
    for (Pin* out : pins(PinDirection::Output)) deliverEndOfStream(*out);
}

}  // namespace moraven
