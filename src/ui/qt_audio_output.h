#pragma once

#include <memory>
#include <string>

#include "formats/byte_order.h"
#include "formats/media_time.h"
#include "pipeline/preview/media_sinks.h"

namespace moraven {

// The player's sound output on Qt Multimedia's QAudioSink, in push mode.
//
// Design: a QAudioSink belongs to the thread that made it, and the graph writes from its streaming thread. So
// open() starts a thread of our own with an event loop; the sink is made, fed, paused, flushed and stopped
// only there. write() puts the sound into a bounded queue (PcmQueue, a third of a second); a timer of the
// sink's thread moves what the sink has room for from the queue into it every few milliseconds, and reads the
// sink's clock (processedUSecs) into an atomic that playedTime() answers from. No call ever waits for the
// sink's thread without a time limit; when the thread does not answer in time the output counts as failed.
//
// open() answers false, quietly, when there is no output device, the chosen device is null or unknown, the
// format is not supported, or start() gives no device to write to; the graph then plays on the system clock.
// Once sound went out, a clock that has not moved yet makes playedTime() false; a clock that stands still for
// two seconds while sound waits to be played (not paused) makes write() fail too. flush() keeps the sink, whose
// tenth of a second still plays out; the clock restarts at zero where that ends.
//
// Threads as AudioOutput says: open(), close(), setVolume() and setPaused() on the control thread (a thread
// with or without an event loop: nothing is delivered to it); write(), flush() and playedTime() on the
// streaming thread (playedTime() from the control thread too). A QCoreApplication must exist.
class QtAudioOutput final : public AudioOutput {
public:
    // `deviceId`: the output device by its Qt Multimedia id; empty for the system's default output.
    explicit QtAudioOutput(std::string deviceId = {});
    ~QtAudioOutput() override;
    QtAudioOutput(const QtAudioOutput&) = delete;
    QtAudioOutput& operator=(const QtAudioOutput&) = delete;

    // 1 to 8 channels, 8000 to 192000 samples a second; anything else answers false.
    bool open(int channels, int samplesPerSecond) override;
    void close() override;
    bool write(Bytes pcm) override;
    void setPaused(bool paused) override;
    void flush() override;
    bool playedTime(MediaTime& played) const override;
    void setVolume(int level) override;

    bool isOpen() const;

private:
    struct Shared;
    std::string m_deviceId;
    // Shared with the jobs posted to the sink's thread, so that a job still queued when the output goes away
    // (its thread did not stop in time) finds its state alive.
    std::shared_ptr<Shared> m_shared;
};

}  // namespace moraven
