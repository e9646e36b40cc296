#pragma once

#include <atomic>
#include <mutex>

#include "pipeline/graph/reference_clock.h"
#include "pipeline/graph/stage.h"
#include "pipeline/preview/media_sinks.h"

// "Audio Renderer": the end of a player's sound chain. It takes 16-bit PCM and writes it to the AudioOutput,
// whose blocking writes pace it (it does not wait for the graph's clock). The output is opened at start()
// with the connection's channels and rate and closed at stop().
//
// Its clock(): while the output plays, the media time the device has played (the position of the last seek
// plus playedTime()); when the output did not open, stopped working, or cannot tell (playedTime() false,
// or just after a seek, before the queued sound was dropped), or once the sound has ended and played out
// (a sound track shorter than the picture), the system clock going on from the last time the device told.
// Held and released with the graph, which holds and resumes the device too (a pause keeps it open). A graph
// that paces its pictures by this clock therefore keeps them with the sound, and plays silently on the
// system clock when there is no sound to be had.
//
// Threads: as every stage (graph/stage.h); the clock as graph/reference_clock.h says. `output` must outlive
// the stage.
namespace moraven {

class AudioRendererStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "Audio Renderer";

    explicit AudioRendererStage(AudioOutput& output);

    ReferenceClock& clock() { return m_clock; }
    const ReferenceClock& clock() const { return m_clock; }
    // The output opened at the last start() and has not failed since (any thread).
    bool soundPlaying() const { return m_playing.load(); }

    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;
    void stop(StopReason reason) override;
    bool isRenderer() const override { return true; }

private:
    class SoundClock final : public ReferenceClock {
    public:
        explicit SoundClock(AudioRendererStage& owner) : m_owner(owner) {}
        void restart(MediaTime position) override;
        void setHeld(bool held) override;
        MediaTime now() const override;
        // Streaming thread: drops the device's queue when a restart asked for it, before the clock reads
        // the device again.
        void flushIfAsked();
        // Streaming thread: a sample that ends at `stop` was written; the stream is over.
        void noteSample(MediaTime stop);
        void noteEnd();

    private:
        AudioRendererStage& m_owner;
        mutable std::mutex m_mutex;
        MediaTime m_base;           // the position the device's played time counts from
        bool m_flushPending = false;
        MediaTime m_soundEnd;       // the end of the sound written since the restart
        bool m_ended = false;       // the stream ended since the restart
        mutable SystemClock m_fallback;  // follows the device while it tells, stands in when it does not
    };

    AudioOutput& m_output;
    SoundClock m_clock{*this};
    std::atomic<bool> m_playing{false};
};

}  // namespace moraven
