#include "pipeline/preview/audio_renderer_stage.h"

#include <algorithm>
#include <stdexcept>

namespace moraven {

AudioRendererStage::AudioRendererStage(AudioOutput& output) : Stage(kDisplayName), m_output(output) {
    addPin(PinDirection::Input, "Audio Input pin (rendered)");
}

bool AudioRendererStage::acceptsInput(const Pin&, const MediaType& type) const {
    if (!type.isAudio()) return false;
    const auto wave = type.wave();
    return wave && wave->isPcm16() && wave->channels > 0 && wave->samplesPerSecond > 0;
}

void AudioRendererStage::start() {
    if (!input(0)->isConnected()) return;  // the file has no sound to play
    const auto wave = input(0)->connectionType().wave();
    if (!wave) throw std::runtime_error("the audio renderer is not connected to sound");
    m_playing = m_output.open(wave->channels, static_cast<int>(wave->samplesPerSecond));
}

void AudioRendererStage::receive(Pin&, MediaSample& sample) {
    m_clock.noteSample(sample.stop);
    if (m_playing.load()) {
        m_clock.flushIfAsked();
        // A device that stops working leaves the graph on the system clock, silent.
        if (!m_output.write(sample.bytes())) m_playing = false;
    }
    // Without a device, the sound waits for its time like the pictures, so that the clock still paces.
    rendered(sample, !m_playing.load());
}

void AudioRendererStage::endOfStream(Pin&) {
    // A seek past the sound's end: what the device still queues from before it must not play.
    if (m_playing.load()) m_clock.flushIfAsked();
    m_clock.noteEnd();
}

void AudioRendererStage::stop(StopReason) {
    if (m_playing.exchange(false)) m_output.close();
}

void AudioRendererStage::SoundClock::restart(MediaTime position) {
    std::lock_guard lock(m_mutex);
    m_base = position;
    m_flushPending = true;
    m_soundEnd = position;
    m_ended = false;
    m_fallback.restart(position);
}

void AudioRendererStage::SoundClock::noteSample(MediaTime stop) {
    std::lock_guard lock(m_mutex);
    m_soundEnd = std::max(m_soundEnd, stop);
}

void AudioRendererStage::SoundClock::noteEnd() {
    std::lock_guard lock(m_mutex);
    m_ended = true;
}

void AudioRendererStage::SoundClock::setHeld(bool held) {
    std::lock_guard lock(m_mutex);
    m_fallback.setHeld(held);
    if (m_owner.m_playing.load()) m_owner.m_output.setPaused(held);
}

MediaTime AudioRendererStage::SoundClock::now() const {
    std::lock_guard lock(m_mutex);
    MediaTime played;
    if (m_owner.m_playing.load() && !m_flushPending && m_owner.m_output.playedTime(played)) {
        const MediaTime reached = m_base + played;
        // Once the sound is over and played out, the device's clock stands still: the system clock goes
        // on from its last reading, for the pictures that last longer.
        if (m_ended && reached >= m_soundEnd) return m_fallback.now();
        m_fallback.restart(reached);
        return reached;
    }
    return m_fallback.now();
}

void AudioRendererStage::SoundClock::flushIfAsked() {
    std::lock_guard lock(m_mutex);
    if (!m_flushPending) return;
    m_owner.m_output.flush();
    m_flushPending = false;
}

}  // namespace moraven
