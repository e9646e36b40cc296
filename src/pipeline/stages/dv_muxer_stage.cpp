#include "pipeline/stages/dv_muxer_stage.h"

#include <algorithm>
#include <string>

#include "formats/byte_order.h"
#include "formats/dv_audio.h"
#include "formats/dvcodes.h"
#include "formats/media_type.h"

namespace moraven {

namespace {

// A rate DV frames carry: one for which the sound code knows a number of samples per frame.
bool isDvRate(std::uint32_t rate) { return DvAudioSamplesPerFrame(DvSystem::Pal625, rate, 0) != 0; }

}  // namespace

DvMuxerStage::DvMuxerStage()
    : Stage(kDisplayName),
      m_video(addPin(PinDirection::Input, "Video")),
      m_audio1(addPin(PinDirection::Input, "Audio 1")),
      m_audio2(addPin(PinDirection::Input, "Audio 2")),
      m_output(addPin(PinDirection::Output, "Output")) {}

bool DvMuxerStage::acceptsInput(const Pin& input, const MediaType& type) const {
    if (&input == &m_video) {
        if (type.isInterleaved()) return type.dvSystem() != DvSystem::Unknown;
        return type.isVideo() && isDvCompression(type.subtype()) && type.dvSystem() != DvSystem::Unknown;
    }
    if (&input == &m_audio1 || &input == &m_audio2) {
        if (!type.isAudio()) return false;
        const std::optional<WaveFormat> wave = type.wave();
        if (!wave || !wave->isPcm16()) return false;
        if (wave->channels != 1 && wave->channels != 2) return false;
        if (!isDvRate(wave->samplesPerSecond)) return false;
        // The second input must match the first: both tracks share the frames' one sound format.
        if (&input == &m_audio2 && m_audio1.isConnected() && m_rate != wave->samplesPerSecond) return false;
        return true;
    }
    return false;
}

std::vector<MediaType> DvMuxerStage::outputTypes(const Pin& output) const {
    if (&output != &m_output || m_system == DvSystem::Unknown) return {};
    std::array<std::uint8_t, kDvInfoBytes> info{};
    if (m_dvInfo) info = *m_dvInfo;
    return {MediaType::interleavedDv(m_system, info)};
}

void DvMuxerStage::connected(Pin& pin) {
    if (&pin == &m_video) {
        m_system = pin.connectionType().dvSystem();
        m_dvInfo.reset();
        MediaSample first;
        if (firstVideoFrame(first) && first.data.size() >= kDvMinFrameBytes) {
            if (m_rate != 0) writeFirstFrameSound(first);
            m_dvInfo = dvInfoOfFrame(first.bytes(), m_system);
        }
    } else if (&pin == &m_audio2) {
        const std::optional<WaveFormat> wave = pin.connectionType().wave();
        m_tracks[1].channels = wave ? wave->channels : 0;
    } else if (&pin == &m_audio1) {
        const std::optional<WaveFormat> wave = pin.connectionType().wave();
        m_rate = wave ? wave->samplesPerSecond : 0;
        m_tracks[0].channels = wave ? wave->channels : 0;
        // The information block names the sound the frames will carry.
        if (m_video.isConnected()) connected(m_video);
    }
}

void DvMuxerStage::disconnected(Pin& pin) {
    if (&pin == &m_video) {
        m_system = DvSystem::Unknown;
        m_dvInfo.reset();
    } else if (&pin == &m_audio1) {
        m_rate = 0;
        m_tracks[0].channels = 0;
    }
}

bool DvMuxerStage::firstVideoFrame(MediaSample& sample) const {
    Pin* upstream = m_video.peer();
    if (!upstream) return false;
    if (upstream->stage().firstSample(*upstream, sample)) return true;
    // Frames still to be encoded are not known before the run; what downstream needs of them (the system,
    // and the sound this stage writes) is.
    if (m_system == DvSystem::Unknown) return false;
    sample = MediaSample();
    sample.data = DvBlankFrame(m_system);
    return true;
}

bool DvMuxerStage::firstSample(const Pin& output, MediaSample& sample) const {
    if (&output != &m_output) return false;
    if (!firstVideoFrame(sample)) return false;
    // The frame as it will leave: with the sound format of the frames to come (a DV splitter downstream
    // learns the sound from it), even when the picture came from an encoder that wrote no sound.
    if (audioActive() && sample.data.size() >= kDvMinFrameBytes) writeFirstFrameSound(sample);
    return true;
}

void DvMuxerStage::writeFirstFrameSound(MediaSample& frame) const {
    const std::uint32_t count = DvAudioSamplesPerFrame(m_system, m_rate, 0);
    const std::vector<std::int16_t> silence(std::size_t{count} * 2);
    DvWriteAudio(frame.mutableBytes(), m_system, m_rate, silence, count);
}

void DvMuxerStage::Track::append(Bytes pcm) {
    // 16-bit little-endian PCM, mono (each value twice) or stereo.
    const std::size_t values = pcm.size() / 2;
    if (channels == 1) {
        sound.reserve(sound.size() + values * 2);
        for (std::size_t i = 0; i < values; ++i) {
            const auto v = s16le(pcm, 2 * i);
            sound.push_back(v);
            sound.push_back(v);
        }
        return;
    }
    const std::size_t stereoValues = values - values % 2;
    const std::size_t at = sound.size();
    sound.resize(at + stereoValues);
    std::int16_t* out = sound.data() + at;
    for (std::size_t i = 0; i < stereoValues; ++i) {
        out[i] = static_cast<std::int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    }
}

void DvMuxerStage::Track::take(std::size_t wanted, std::vector<std::int16_t>& out) {
    const std::size_t taken = std::min(wanted, available());
    out.assign(sound.begin() + static_cast<std::ptrdiff_t>(start),
               sound.begin() + static_cast<std::ptrdiff_t>(start + taken));
    out.resize(wanted, 0);
    start += taken;
}

void DvMuxerStage::Track::compact() {
    // Keep the buffer small: drop what was used once it is a good part of it.
    if (start > 0 && start * 2 >= sound.size()) {
        sound.erase(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(start));
        start = 0;
    }
}

void DvMuxerStage::start() {
    m_waiting.clear();
    for (Track& track : m_tracks) {
        track.sound.clear();
        track.start = 0;
    }
    m_tracks[0].ended = !m_audio1.isConnected();
    m_tracks[1].ended = !twoPairs();
    m_frames = 0;
    m_videoEnded = !m_video.isConnected();
    m_secondSeen = false;
    m_forcedWarned = false;
    m_ended = false;
    restartDamagedFrames();
}

bool DvMuxerStage::audioActive() const { return m_audio1.isConnected() && m_rate != 0; }

bool DvMuxerStage::twoPairs() const { return audioActive() && m_audio2.isConnected() && m_rate == 32000; }

std::size_t DvMuxerStage::valuesForFrame() const {
    return std::size_t{DvAudioSamplesPerFrame(m_system, m_rate, m_frames)} * 2;
}

bool DvMuxerStage::soundReady(std::size_t wanted) const {
    const auto ready = [wanted](const Track& track) { return track.available() >= wanted || track.ended; };
    return ready(m_tracks[0]) && (!twoPairs() || ready(m_tracks[1]));
}

bool DvMuxerStage::soundOver() const {
    const auto over = [](const Track& track) { return track.ended && track.available() == 0; };
    return over(m_tracks[0]) && (!twoPairs() || over(m_tracks[1]));
}

void DvMuxerStage::receive(Pin& input, MediaSample& sample) {
    if (&input == &m_video) {
        if (!DvIsWholeFrameOf(sample.bytes(), m_system)) damagedFrames().add(sample.start);
        if (!audioActive()) {
            ++m_frames;
            deliver(m_output, sample);
            return;
        }
        if (soundOver()) {
            sendPastSound(sample);
            return;
        }
        if (m_waiting.empty() && soundReady(valuesForFrame())) {
            sendFrame(sample);  // its sound is here already: no need to hold a copy
            return;
        }
        // The frame waits with its bytes taken, not copied: the sender gets a spare buffer of the same size
        // back and fills it with the next frame.
        MediaSample& held = m_waiting.emplace_back();
        held.copyMarksFrom(sample);
        if (!m_spare.empty()) {
            held.data = std::move(m_spare.back());
            m_spare.pop_back();
        }
        held.data.swap(sample.data);
        if (m_waiting.size() > kMaxWaitingFrames && !m_forcedWarned) {
            m_forcedWarned = true;
            warn("The sound lags far behind the picture; some frames were written with partial sound");
        }
        sendReadyFrames(false);
        return;
    }
    if (&input == &m_audio2 && !twoPairs()) {
        m_secondSeen = true;
        return;
    }
    // Sound past the end of the picture has no frame to go into.
    if (m_videoEnded && m_waiting.empty()) return;
    m_tracks[&input == &m_audio2 ? 1 : 0].append(sample.bytes());
    sendReadyFrames(false);
}

void DvMuxerStage::sendFrame(MediaSample& frame) {
    const std::uint32_t count = DvAudioSamplesPerFrame(m_system, m_rate, m_frames);
    const std::size_t wanted = std::size_t{count} * 2;
    m_tracks[0].take(wanted, m_frameSound);
    if (twoPairs()) m_tracks[1].take(wanted, m_frameSound2);
    // A damaged frame goes out as it came: its place's sound is used up, not written.
    if (DvIsWholeFrameOf(frame.bytes(), m_system)) {
        if (twoPairs()) {
            DvWriteAudio12(frame.mutableBytes(), m_system, m_frameSound, m_frameSound2, count);
        } else {
            DvWriteAudio(frame.mutableBytes(), m_system, m_rate, m_frameSound, count);
        }
    }
    ++m_frames;
    deliver(m_output, frame);
}

void DvMuxerStage::sendPastSound(MediaSample& frame) {
    // The sound is over: the frame keeps the sound it carries. A frame that carries none (a newly encoded
    // one) gets silence, so that readers find the sound of the frames before throughout.
    if (DvIsWholeFrameOf(frame.bytes(), m_system) && !DvReadAudioFormat(frame.bytes())) {
        const std::uint32_t count = DvAudioSamplesPerFrame(m_system, m_rate, m_frames);
        m_frameSound.assign(std::size_t{count} * 2, 0);
        if (twoPairs()) DvWriteAudio12(frame.mutableBytes(), m_system, m_frameSound, m_frameSound, count);
        else DvWriteAudio(frame.mutableBytes(), m_system, m_rate, m_frameSound, count);
    }
    ++m_frames;
    deliver(m_output, frame);
}

void DvMuxerStage::sendReadyFrames(bool force) {
    while (!m_waiting.empty()) {
        const bool ready = soundReady(valuesForFrame()) || force || m_waiting.size() > kMaxWaitingFrames;
        if (!ready) break;
        if (soundOver()) {
            sendPastSound(m_waiting.front());
        } else {
            sendFrame(m_waiting.front());
        }
        if (m_spare.size() < kSpareBuffers) m_spare.push_back(std::move(m_waiting.front().data));
        m_waiting.pop_front();
    }
    for (Track& track : m_tracks) track.compact();
}

void DvMuxerStage::endOfStream(Pin& input) {
    if (&input == &m_video) m_videoEnded = true;
    if (&input == &m_audio1 || (&input == &m_audio2 && twoPairs())) {
        m_tracks[&input == &m_audio2 ? 1 : 0].ended = true;
        sendReadyFrames(false);
    }
    finishIfDone();
}

void DvMuxerStage::finishIfDone() {
    // The last frames may still wait for their sound: the picture's end can come before the sound that
    // belongs to its last frame.
    if (m_ended || !m_videoEnded || (audioActive() && !(m_tracks[0].ended && m_tracks[1].ended))) return;
    // The picture is over: frames still waiting for sound get what there is.
    sendReadyFrames(true);
    m_ended = true;
    if (m_secondSeen) {
        warn("The second sound track was not written: DV frames carry two stereo pairs only as 32 kHz sound");
    }
    if (const std::string warning = ownDamagedFramesWarning(); !warning.empty()) warn(warning);
    deliverEndOfStream(m_output);
}

}  // namespace moraven
