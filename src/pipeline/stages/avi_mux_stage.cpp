#include "pipeline/stages/avi_mux_stage.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>


namespace moraven {

namespace {

std::string numberedName(const char* prefix, int number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d", prefix, number);
    return text;
}

}  // namespace

AviMuxStage::AviMuxStage() : FileOutputStage(kDisplayName) {
    addPin(PinDirection::Output, "AVI Out");
    keepOneFreeInput();
}

AviMuxStage::~AviMuxStage() {
    // A writer still open belongs to a run that never ended properly: keep nothing.
    if (m_writer) m_writer->discard();
}

void AviMuxStage::keepOneFreeInput() {
    removeUnconnectedPins(PinDirection::Input);
    addPin(PinDirection::Input, numberedName("Input", m_nextInput++));
}

bool AviMuxStage::acceptsInput(const Pin&, const MediaType& type) const {
    return type.isVideo() || type.isAudio() || type.isInterleaved();
}

std::vector<MediaType> AviMuxStage::outputTypes(const Pin&) const {
    return {MediaType(kMediaTypeStream, kMediaSubtypeAvi, {})};
}

void AviMuxStage::connected(Pin& pin) {
    if (pin.direction() == PinDirection::Input) keepOneFreeInput();
}

void AviMuxStage::disconnected(Pin& pin) {
    if (pin.direction() == PinDirection::Input) keepOneFreeInput();
}

int AviMuxStage::addStream(AviWriter& writer, const MediaType& type) const {
    if (type.isAudio()) return writer.addAudioStream(type);
    if (type.isInterleaved()) {
        const auto block = type.dvInfoBlock();
        if (!block) throw std::invalid_argument("an interleaved DV stream without its DV information block");
        return writer.addInterleavedDvStream(type.dvSystem(), *block);
    }
    if (type.bitmap() && isDvCompression(type.subtype())) {
        // A DV picture whose type does not tell its system is taken as NTSC, the smaller frame.
        const DvSystem system = type.dvSystem() == DvSystem::Pal625 ? DvSystem::Pal625 : DvSystem::Ntsc525;
        return writer.addVideoStream(AviVideoFormat::dv(system, type.dvInfoBlock()));
    }
    // Other video: the rate of its frame duration, 10^7 / ticks as a reduced fraction.
    AviRate rate{25, 1};
    const std::int64_t ticks = type.frameDuration().ticks();
    if (ticks > 0 && ticks <= 0xFFFFFFFF) {
        const std::int64_t divisor = std::gcd(MediaTime::kTicksPerSecond, ticks);
        rate = {static_cast<std::uint32_t>(MediaTime::kTicksPerSecond / divisor),
                static_cast<std::uint32_t>(ticks / divisor)};
    }
    return writer.addVideoStream(type, rate);
}

void AviMuxStage::start() {
    resetPosition();
    m_inputs.clear();
    auto writer = std::make_unique<AviWriter>(outputFileName(), m_options);
    for (Pin* in : pins(PinDirection::Input)) {
        if (!in->isConnected()) continue;
        m_inputs.push_back({in, addStream(*writer, in->connectionType()), false});
    }
    m_writer = std::move(writer);
}

AviMuxStage::Input* AviMuxStage::inputFor(const Pin& pin) {
    for (Input& input : m_inputs) {
        if (input.pin == &pin) return &input;
    }
    return nullptr;
}

void AviMuxStage::receive(Pin& pin, MediaSample& sample) {
    Input* input = inputFor(pin);
    if (input == nullptr || !m_writer) return;
    m_writer->writeSample(input->stream, sample.bytes(), sample.keyFrame);
    written(sample);
}

void AviMuxStage::endOfStream(Pin& pin) {
    Input* input = inputFor(pin);
    if (input == nullptr) return;
    input->ended = true;
    const bool all = std::all_of(m_inputs.begin(), m_inputs.end(), [](const Input& i) { return i.ended; });
    if (all && m_writer) {
        m_writer->close();
        m_writer.reset();
        deliverEndOfStream(*output(0));
    }
}

void AviMuxStage::stop(StopReason reason) {
    if (!m_writer) return;
    std::unique_ptr<AviWriter> writer = std::move(m_writer);
    std::uint64_t samples = 0;
    for (std::size_t i = 0; i < writer->streamCount(); ++i) samples += writer->sampleCount(static_cast<int>(i));
    // A run stopped before its first sample leaves nothing worth keeping: no empty file is left behind.
    if (!keepsOutput(reason, samples > 0)) {
        writer->discard();
    } else {
        writer->close();
    }
}

}  // namespace moraven
