#include "pipeline/stages/avi_splitter_stage.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "pipeline/graph/graph.h"

namespace moraven {

namespace {

constexpr std::size_t kNoStream = static_cast<std::size_t>(-1);

bool isPicture(const AviStream& stream) {
    const AviStreamKind kind = stream.kind();
    return kind == AviStreamKind::Video || kind == AviStreamKind::Interleaved;
}

bool isFramed(const AviStream& stream) {
    const AviStreamKind kind = stream.kind();
    return kind == AviStreamKind::Video || kind == AviStreamKind::Interleaved || stream.header.sampleSize == 0;
}

}  // namespace

AviSplitterStage::AviSplitterStage() : Stage(kDisplayName) { addPin(PinDirection::Input, "input pin"); }

bool AviSplitterStage::acceptsInput(const Pin& input, const MediaType& type) const {
    if (type.majorType() != kMediaTypeStream || type.subtype() != kMediaSubtypeAvi) return false;
    const Pin* upstream = input.peer();
    const std::string* path = upstream != nullptr ? upstream->stage().fileName() : nullptr;
    if (path == nullptr) return false;
    try {
        const AviDemuxer demuxer(*path);
        return demuxer.isAvi() && demuxer.streamCount() > 0;
    } catch (const FileError&) {
        return false;
    }
}

void AviSplitterStage::connected(Pin& pin) {
    if (pin.direction() != PinDirection::Input) return;
    const std::string* path = pin.peer()->stage().fileName();
    if (path == nullptr) throw std::runtime_error("no file to split");
    auto demuxer = std::make_unique<AviDemuxer>(*path);
    if (!demuxer->isAvi() || demuxer->streamCount() == 0) {
        throw std::runtime_error(*path + " is not an AVI file with streams");
    }
    m_demuxer = std::move(demuxer);
    m_states = std::vector<StreamState>(m_demuxer->streamCount());
    for (std::size_t i = 0; i < m_demuxer->streamCount(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Stream %02zu", i);
        addPin(PinDirection::Output, name);
    }
}

void AviSplitterStage::disconnected(Pin& pin) {
    if (pin.direction() != PinDirection::Input) return;
    for (Pin* out : pins(PinDirection::Output)) {
        if (out->isConnected() && graph() != nullptr) graph()->disconnect(*out);
    }
    removeUnconnectedPins(PinDirection::Output);
    m_states.clear();
    m_demuxer.reset();
}

std::size_t AviSplitterStage::streamOf(const Pin& output) const {
    const auto outputs = pins(PinDirection::Output);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i] == &output) return i;
    }
    return kNoStream;
}

std::vector<MediaType> AviSplitterStage::outputTypes(const Pin& output) const {
    const std::size_t stream = streamOf(output);
    if (m_demuxer == nullptr || stream == kNoStream) return {};
    return {m_demuxer->streams()[stream].mediaType};
}

MediaTime AviSplitterStage::timeAt(std::size_t stream, std::size_t index, std::uint64_t bytesBefore) const {
    const AviStream& s = m_demuxer->streams()[stream];
    if (isFramed(s)) return aviTicks(index, s.rate());
    if (s.rate().valid()) return aviTicks(bytesBefore / s.header.sampleSize, s.rate());
    const auto wave = s.mediaType.wave();
    if (!wave) return {};
    return aviTicks(bytesBefore, AviRate{wave->averageBytesPerSecond, 1});
}

bool AviSplitterStage::firstSample(const Pin& output, MediaSample& sample) const {
    const std::size_t stream = streamOf(output);
    if (m_demuxer == nullptr || stream == kNoStream) return false;
    const AviStream& s = m_demuxer->streams()[stream];
    try {
        for (std::size_t i = 0; i < s.samples.size(); ++i) {
            if (!m_demuxer->readSample(stream, i, sample.data)) continue;
            std::uint64_t before = 0;
            for (std::size_t k = 0; k < i; ++k) before += s.samples[k].size;
            sample.start = timeAt(stream, i, before);
            sample.stop = timeAt(stream, i + 1, before + s.samples[i].size);
            sample.keyFrame = s.samples[i].keyFrame;
            sample.discontinuity = false;
            sample.preroll = false;
            return true;
        }
    } catch (const FileError&) {
    }
    return false;
}

void AviSplitterStage::start() {
    m_ended = false;
    for (StreamState& state : m_states) {
        state.endSent = false;
        state.lastRead.reset();
    }
    m_skipped = 0;
    restartDamagedFrames();
    if (m_demuxer != nullptr) m_demuxer->willReadInOrder();
}

bool AviSplitterStage::produce() {
    if (m_demuxer == nullptr) {
        finish();
        return false;
    }
    const auto outputs = pins(PinDirection::Output);
    // A stream that a seek put past its end (a sound track shorter than the picture) is over from here.
    for (std::size_t i = 0; i < m_states.size() && i < outputs.size(); ++i) {
        StreamState& state = m_states[i];
        if (!outputs[i]->isConnected() || state.endSent) continue;
        if (state.next < m_demuxer->streams()[i].samples.size()) continue;
        state.endSent = true;
        deliverEndOfStream(*outputs[i]);
    }
    for (;;) {
        std::size_t best = kNoStream;
        MediaTime bestStart;
        for (std::size_t i = 0; i < m_states.size() && i < outputs.size(); ++i) {
            if (!outputs[i]->isConnected()) continue;
            const StreamState& state = m_states[i];
            if (state.next >= m_demuxer->streams()[i].samples.size()) continue;
            const MediaTime start = timeAt(i, state.next, state.bytesBefore);
            if (best == kNoStream || start < bestStart) {  // strictly earlier: ties stay with the lower number
                best = i;
                bestStart = start;
            }
        }
        if (best == kNoStream) {
            finish();
            return false;
        }
        StreamState& state = m_states[best];
        const AviSample& entry = m_demuxer->streams()[best].samples[state.next];
        const std::size_t index = state.next;
        bool read = m_demuxer->readSample(best, index, state.sample.data);
        const bool preroll = index < state.prerollUntil;
        ++state.next;
        state.bytesBefore += entry.size;
        const bool picture = isPicture(m_demuxer->streams()[best]);
        if (read && picture) {
            state.lastRead = index;
        } else if (!read && picture && state.lastRead) {
            // A frame that cannot be read gives way to the last one read, in its place and time.
            read = m_demuxer->readSample(best, *state.lastRead, state.sample.data);
            if (read) damagedFrames().add(bestStart);
        }
        if (!read) {
            ++m_skipped;
            continue;
        }
        state.sample.start = bestStart;
        state.sample.stop = timeAt(best, state.next, state.bytesBefore);
        state.sample.keyFrame = entry.keyFrame;
        state.sample.discontinuity = state.discontinuity;
        state.sample.preroll = preroll;
        state.sample.frameFacts.reset();
        state.sample.typeChange.reset();
        state.discontinuity = false;
        deliver(*outputs[best], state.sample);
        // A stream that is over says so at once, not when the longest stream ends: a multiplexer then
        // stops waiting for it (a sound track shorter than the picture).
        if (state.next >= m_demuxer->streams()[best].samples.size() && !state.endSent) {
            state.endSent = true;
            deliverEndOfStream(*outputs[best]);
        }
        return true;
    }
}

void AviSplitterStage::endStreams() {
    m_ended = true;
    const auto outputs = pins(PinDirection::Output);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (i < m_states.size() && m_states[i].endSent) continue;
        if (i < m_states.size()) m_states[i].endSent = true;
        deliverEndOfStream(*outputs[i]);
    }
}

void AviSplitterStage::endEarly() {
    if (!m_ended) endStreams();
}

void AviSplitterStage::finish() {
    if (m_ended) return;
    endStreams();
    if (m_skipped > 0) {
        warn(std::to_string(m_skipped) + (m_skipped == 1 ? " frame" : " frames") + " could not be read");
    }
    if (const std::string warning = ownDamagedFramesWarning(); !warning.empty()) warn(warning);
    if (m_demuxer == nullptr) return;
    // A frame count in the stream header above the frames found means the file ends early: only whole
    // frames were converted.
    for (const AviStream& s : m_demuxer->streams()) {
        const AviStreamKind kind = s.kind();
        if (kind != AviStreamKind::Video && kind != AviStreamKind::Interleaved) continue;
        if (s.header.length > s.sampleCount()) {
            warn("the file is truncated: " + std::to_string(s.sampleCount()) + " of " +
                 std::to_string(s.header.length) + " frames could be read");
        }
        break;
    }
}

MediaTime AviSplitterStage::sourceDuration() const {
    if (m_demuxer == nullptr) return {};
    MediaTime longest;
    const auto outputs = pins(PinDirection::Output);
    for (std::size_t i = 0; i < outputs.size() && i < m_demuxer->streamCount(); ++i) {
        if (outputs[i]->isConnected()) longest = std::max(longest, m_demuxer->streams()[i].duration());
    }
    return longest;
}

MediaTime AviSplitterStage::sourceFrameDuration() const {
    if (m_demuxer == nullptr) return {};
    for (const AviStream& s : m_demuxer->streams()) {
        const AviStreamKind kind = s.kind();
        if (kind == AviStreamKind::Video || kind == AviStreamKind::Interleaved) return s.frameDuration();
    }
    return {};
}

bool AviSplitterStage::seekSource(MediaTime position) {
    if (m_demuxer == nullptr) return false;
    for (std::size_t i = 0; i < m_states.size(); ++i) {
        const AviStream& s = m_demuxer->streams()[i];
        StreamState& state = m_states[i];
        // The first sample still playing at `position`: the one whose end lies after it.
        std::size_t index = 0;
        std::uint64_t before = 0;
        while (index < s.samples.size() &&
               timeAt(i, index + 1, before + s.samples[index].size) <= position) {
            before += s.samples[index].size;
            ++index;
        }
        state.prerollUntil = index;
        if (s.kind() == AviStreamKind::Video && index < s.samples.size()) {
            // Pictures coded from earlier ones are decoded from the last key frame on. A stream without any
            // key frame flag (some DV files) is taken as frames that each stand alone.
            std::size_t key = index;
            std::uint64_t keyBefore = before;
            while (key > 0 && !s.samples[key].keyFrame) {
                --key;
                keyBefore -= s.samples[key].size;
            }
            if (s.samples[key].keyFrame) {
                index = key;
                before = keyBefore;
            }
        }
        state.next = index;
        state.bytesBefore = before;
        state.discontinuity = true;
        state.endSent = false;
        // A frame from before the seek does not stand in for one after it.
        state.lastRead.reset();
    }
    m_ended = false;
    return true;
}

}  // namespace moraven
