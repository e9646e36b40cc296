#pragma once

#include <cstdint>
#include <vector>

#include "formats/byte_order.h"
#include "formats/media_time.h"
#include "pipeline/video/picture_format.h"

// Where a playing graph's pictures and sound end up: the player's picture surface and its sound output. The
// pipeline knows them only through these interfaces (the user interface implements them on Qt), so that the
// preview graph is tested with fakes and never includes Qt.
namespace moraven {

// The picture surface. Pictures arrive on the streaming thread, in BGR24 (PixelLayout::Bgr24, tight rows,
// top-down) at the picture's own size, each with the display aspect it is shown in; the surface keeps the last
// one and paints it on its own thread. present() must return quickly and must not call back into the graph.
class VideoSink {
public:
    virtual ~VideoSink() = default;
    // `picture` may be swapped with a buffer of the surface's (its content is then unspecified).
    virtual void present(const PictureFormat& format, std::vector<std::uint8_t>& picture, MediaTime start) = 0;
    // Nothing to show any more (the graph was cleared): the surface paints black.
    virtual void clear() = 0;
};

// The sound output: interleaved signed 16-bit little-endian PCM at one rate and channel count, played by the
// device in real time. While sound plays, its clock leads the graph: pictures are shown when the device has
// played up to their time.
//
// Threads: open(), close(), setVolume() on the control thread; write(), playedTime() and flush() on the
// streaming thread (playedTime() also from the control thread). A device that cannot play (none present, or
// one that does not start or whose clock does not move) answers false from open(): the graph then plays
// silently on the system clock.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Prepares the device for this format; false when no sound can be played (nothing else to report).
    virtual bool open(int channels, int samplesPerSecond) = 0;
    virtual void close() = 0;
    // Queues `pcm` (whole sample frames); blocks while the device's queue is full, at most until the output
    // is paused, flushed or closed. False when the device stopped working (the graph goes on silently).
    virtual bool write(Bytes pcm) = 0;
    // Holds or resumes playing (the queue is kept).
    virtual void setPaused(bool paused) = 0;
    // Drops what is queued and restarts the clock at zero (after a seek).
    virtual void flush() = 0;
    // The time of sound played since open() or the last flush(); false when the device's clock cannot be read
    // or has not moved since sound was queued.
    virtual bool playedTime(MediaTime& played) const = 0;
    // The linear level 0 (silent) to 10000 (full).
    virtual void setVolume(int level) = 0;
};

// The attenuation in hundredths of a decibel of a linear level 0..10000: round(ln(level + 1) × 1085.73) −
// 10000, so that 0 gives −10000 and 10000 gives 0.
int volumeAttenuation(int level);
// The same level as a gain on the samples (10 to the power of attenuation / 2000): 1 at 10000, 0.00001 (-100 dB) at 0.
double volumeGain(int level);

}  // namespace moraven
