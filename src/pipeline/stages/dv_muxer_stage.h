#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "pipeline/graph/stage.h"
#include "pipeline/stages/damaged_frames.h"

// "DV Muxer": joins DV video frames and PCM sound into one interleaved DV stream ("iavs"), the stream of a
// DV type 1 file. Each frame gets the sound of its place in time: the number of samples its position in the
// system's sequence calls for (DvAudioSamplesPerFrame), shuffled into its audio blocks with the audio source
// and source-control packs (formats/dv_audio.h). Every other byte of the frame (header, subcode with the
// timecode, VAUX with the recording date, the picture) is kept.
//
// Inputs: "Video" takes DV video ("vids" with a DV compression code, or an interleaved stream); "Audio 1" and
// "Audio 2" take 16-bit PCM, mono or stereo, at 48000, 44100 or 32000 Hz (another format is refused, so that
// a converter can be put before it; the second input must have the first's rate). The first sound input's
// samples go into the frames. With both inputs at 32000 Hz the frames carry two stereo pairs as 12-bit sound
// (DvWriteAudio12: "Audio 1" as channels 1 and 2, "Audio 2" as 3 and 4); at the other rates DV carries one
// pair, so the second input's samples are taken and not written, and the stage warns once when it had any.
// A frame keeps the sound it carries when no sound input is connected, and once the sound has ended (a frame
// that carries none then gets silence in the sound's format); when the sound ends within a frame, the rest of
// that frame is silence.
//
// Pairing: frames wait (copied) until their sound has arrived; the AVI splitter delivers in time order, so at
// most a chunk's worth waits. Should the sound lag by more than kMaxWaitingFrames frames, the oldest frame
// goes out with the sound there is, padded with silence, and the stage warns.
//
// A damaged video frame (pipeline/stages/damaged_frames.h: its header does not name the stream's system, or
// it is shorter than a frame of it) goes out as it is, with the sound of its place taken and not written
// (a DV splitter reads silence there), and is counted among the damaged frames.
//
// Threads: as every stage (graph/stage.h).
namespace moraven {

class DvMuxerStage final : public Stage, public DamagedFrameCounting {
public:
    static constexpr const char* kDisplayName = "DV Muxer";
    static constexpr std::size_t kMaxWaitingFrames = 250;

    DvMuxerStage();

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void connected(Pin& pin) override;
    void disconnected(Pin& pin) override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;

    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;

private:
    // Sound of one input waiting to go into frames: interleaved stereo (a mono input's values doubled).
    struct Track {
        std::vector<std::int16_t> sound;
        std::size_t start = 0;  // values of `sound` already used
        bool ended = false;
        std::uint16_t channels = 0;
        std::size_t available() const { return sound.size() - start; }
        void append(Bytes pcm);
        // The next `wanted` values into `out`, padded with silence when fewer are there.
        void take(std::size_t wanted, std::vector<std::int16_t>& out);
        void compact();
    };

    bool audioActive() const;
    // Both inputs are written: two stereo pairs of 32 kHz 12-bit sound.
    bool twoPairs() const;
    std::size_t valuesForFrame() const;
    bool soundReady(std::size_t wanted) const;
    bool soundOver() const;
    // Sends the waiting frames whose sound is there (all of them when `force`).
    void sendReadyFrames(bool force);
    void sendFrame(MediaSample& frame);
    // Silence in the sound format the frames will carry, written into the first frame that tells a DV
    // splitter downstream (and the information block) what the sound is.
    void sendPastSound(MediaSample& frame);
    // The first frame the video input will bring, or a blank frame of its system when that is not known yet.
    bool firstVideoFrame(MediaSample& sample) const;
    void writeFirstFrameSound(MediaSample& frame) const;
    void finishIfDone();

    Pin& m_video;
    Pin& m_audio1;
    Pin& m_audio2;
    Pin& m_output;
    DvSystem m_system = DvSystem::Unknown;
    std::optional<std::array<std::uint8_t, kDvInfoBytes>> m_dvInfo;
    std::uint32_t m_rate = 0;

    // Per run (streaming thread).
    std::deque<MediaSample> m_waiting;
    static constexpr std::size_t kSpareBuffers = 4;
    std::vector<std::vector<std::uint8_t>> m_spare;  // buffers of frames sent, handed back to the sender
    std::array<Track, 2> m_tracks;  // what "Audio 1" and "Audio 2" delivered
    std::vector<std::int16_t> m_frameSound;
    std::vector<std::int16_t> m_frameSound2;
    std::uint64_t m_frames = 0;
    bool m_videoEnded = false;
    bool m_secondSeen = false;
    bool m_forcedWarned = false;
    bool m_ended = false;
};

}  // namespace moraven
