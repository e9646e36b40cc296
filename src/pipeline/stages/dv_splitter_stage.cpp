#include "pipeline/stages/dv_splitter_stage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "formats/avi_headers.h"
#include "formats/byte_order.h"
#include "formats/dvcodes.h"
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
    if ((&output == this->output(1) || &output == this->output(2)) && m_format) {
        return {MediaType::pcm(2, m_format->sampleRate, 16)};
    }
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
    if (m_format && m_format->stereoPairs == 2) addPin(PinDirection::Output, "AudOut01");
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
    restartDamagedFrames();
}

void DvSplitterStage::receive(Pin&, MediaSample& sample) {
    if (!output(0)) return;  // no outputs: the stream was not DV of a known system
    const std::uint64_t frameIndex = m_frames++;
    const bool damaged = !DvIsWholeFrameOf(sample.bytes(), m_system);
    if (damaged) damagedFrames().add(sample.start);
    const std::array<const Pin*, 2> soundOutputs{output(1), output(2)};
    const bool anySound = m_format && std::any_of(soundOutputs.begin(), soundOutputs.end(), [](const Pin* pin) {
                              return pin != nullptr && pin->isConnected();
                          });
    // The picture first, then its sound: the order a DV type 2 file interleaves them in.
    if (!anySound) {
        deliver(*output(0), sample);
        return;
    }
    const std::uint32_t rate = m_format->sampleRate;
    std::optional<DvAudioSamples> sound;
    if (!damaged) sound = DvReadAudio(sample.bytes());
    const bool readable =
        sound && sound->format.sampleRate == rate && sound->format.quantization == m_format->quantization;
    if (!readable && !damaged) ++m_silentFrames;
    // Silence keeps the sound's place: as long as the frame's first pair, else as the frame's place calls for.
    const std::size_t silentValues =
        readable ? sound->firstPair.size() : std::size_t{DvAudioSamplesPerFrame(m_system, rate, frameIndex)} * 2;
    for (std::size_t pair = 0; pair < soundOutputs.size(); ++pair) {
        MediaSample& audio = m_audio[pair];
        const std::vector<std::int16_t>* from = nullptr;
        if (readable) from = pair == 0 ? &sound->firstPair : &sound->secondPair;
        // A frame without a second pair among frames that have one gives silence there too.
        const std::size_t values = from != nullptr && !from->empty() ? from->size() : silentValues;
        if (from != nullptr && !from->empty()) {
            // 16-bit little-endian PCM, as the wave format says; every byte is written.
            audio.data.resize(values * 2);
            std::uint8_t* out = audio.data.data();
            for (const std::int16_t value : *from) {
                const auto word = static_cast<std::uint16_t>(value);
                *out++ = static_cast<std::uint8_t>(word);
                *out++ = static_cast<std::uint8_t>(word >> 8);
            }
        } else {
            audio.data.assign(values * 2, 0);
        }
        audio.start = aviTicks(m_samplesOut, AviRate{rate, 1});
        audio.stop = aviTicks(m_samplesOut + values / 2, AviRate{rate, 1});
        audio.keyFrame = true;
        audio.discontinuity = sample.discontinuity;
    }
    m_samplesOut += m_audio[0].data.size() / 4;
    deliver(*output(0), sample);
    for (std::size_t pair = 0; pair < soundOutputs.size(); ++pair) {
        if (soundOutputs[pair] != nullptr) deliver(*soundOutputs[pair], m_audio[pair]);
    }
}

void DvSplitterStage::endOfStream(Pin&) {
    if (m_silentFrames > 0) {
        warn(std::to_string(m_silentFrames) +
             " DV frames had no readable sound in the format of the first frame; their sound was written as "
             "silence");
    }
    if (const std::string warning = ownDamagedFramesWarning(); !warning.empty()) warn(warning);
    for (Pin* out : pins(PinDirection::Output)) deliverEndOfStream(*out);
}

}  // namespace moraven
