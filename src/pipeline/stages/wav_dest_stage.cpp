#include "pipeline/stages/wav_dest_stage.h"

#include <algorithm>
#include <stdexcept>


namespace moraven {

WavDestStage::WavDestStage() : FileOutputStage(kDisplayName) {
    addPin(PinDirection::Input, "In");
    addPin(PinDirection::Output, "Out");
}

WavDestStage::~WavDestStage() {
    if (m_writer) m_writer->discard();
}

bool WavDestStage::acceptsInput(const Pin&, const MediaType& type) const {
    if (!type.isAudio()) return false;
    const auto wave = type.wave();
    return wave && wave->isValid();
}

std::vector<MediaType> WavDestStage::outputTypes(const Pin&) const {
    return {MediaType(kMediaTypeStream, kMediaSubtypeWave, {})};
}

void WavDestStage::start() {
    resetPosition();
    const Pin* in = input(0);
    if (!in->isConnected()) return;
    const std::string& path = outputFileName();
    const auto wave = in->connectionType().wave();
    if (!wave) throw std::invalid_argument("WAV Dest: the sound has no wave format");
    m_writer = std::make_unique<WavWriter>(path, *wave, m_options);
}

void WavDestStage::receive(Pin&, MediaSample& sample) {
    if (!m_writer) return;
    m_writer->write(sample.bytes());
    written(sample);
}

void WavDestStage::endOfStream(Pin&) {
    if (!m_writer) return;
    m_writer->close();
    m_writer.reset();
    deliverEndOfStream(*output(0));
}

void WavDestStage::stop(StopReason reason) {
    if (!m_writer) return;
    std::unique_ptr<WavWriter> writer = std::move(m_writer);
    // A run stopped before its first sample leaves nothing worth keeping: no empty file is left behind.
    if (!keepsOutput(reason, writer->dataBytes() > 0)) {
        writer->discard();
    } else {
        writer->close();
    }
}

}  // namespace moraven
