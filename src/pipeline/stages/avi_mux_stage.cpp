#include "pipeline/stages/avi_mux_stage.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>

#include "pipeline/graph/graph.h"

namespace moraven {

namespace {

constexpr std::int32_t kPalHeight = 576;

std::string numberedName(const char* prefix, int number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d", prefix, number);
    return text;
}

// The DV information block at the start of `bytes`, when there are 32 of them.
std::optional<std::array<std::uint8_t, kDvInfoBytes>> dvInfoBlock(const MediaType& type) {
    if (!type.dvInfo()) return std::nullopt;
    std::array<std::uint8_t, kDvInfoBytes> block{};
    const auto& format = type.format();
    // An interleaved type holds the block at its start; a DV video type after its bitmap header.
    std::size_t offset = 0;
    if (type.isVideo()) {
        const auto bitmap = type.bitmap();
        offset = bitmap ? std::max<std::size_t>(bitmap->size, bmih::kBytes) : bmih::kBytes;
    }
    if (format.size() < kDvInfoBytes || offset > format.size() - kDvInfoBytes) return std::nullopt;
    std::copy_n(format.begin() + static_cast<std::ptrdiff_t>(offset), kDvInfoBytes, block.begin());
    return block;
}

// 50 fields: bit 21 of the VAUX source word.
DvSystem systemOfInterleaved(const MediaType& type) {
    if (type.frameDuration() == kPalFrameDuration) return DvSystem::Pal625;
    if (type.frameDuration() == kNtscFrameDuration) return DvSystem::Ntsc525;
    const auto info = type.dvInfo();
    return info && (info->vauxSrc & (1u << 21)) != 0 ? DvSystem::Pal625 : DvSystem::Ntsc525;
}

}  // namespace

AviMuxStage::AviMuxStage() : Stage(kDisplayName) {
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
        const auto block = dvInfoBlock(type);
        if (!block) throw std::invalid_argument("an interleaved DV stream without its DV information block");
        return writer.addInterleavedDvStream(systemOfInterleaved(type), *block);
    }
    const auto bitmap = type.bitmap();
    if (bitmap && isDvCompression(type.subtype())) {
        const std::int32_t height = bitmap->height < 0 ? -bitmap->height : bitmap->height;
        const DvSystem system = height == kPalHeight ? DvSystem::Pal625 : DvSystem::Ntsc525;
        return writer.addVideoStream(AviVideoFormat::dv(system, dvInfoBlock(type)));
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
    m_position = 0;
    m_inputs.clear();
    const Pin* out = output(0);
    const std::string* path = out->isConnected() ? out->peer()->stage().fileName() : nullptr;
    if (path == nullptr) throw std::runtime_error("AVI Mux: no file writer names the output file");
    auto writer = std::make_unique<AviWriter>(*path, m_options);
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
    m_position.store(std::max(m_position.load(), sample.stop.ticks()));
    rendered(sample);
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
    if (reason == StopReason::Failed || samples == 0) {
        writer->discard();
    } else {
        writer->close();
    }
}

MediaTime AviMuxStage::duration() const { return graph() != nullptr ? graph()->duration() : MediaTime(); }

}  // namespace moraven
