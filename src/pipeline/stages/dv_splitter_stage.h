#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/dv_audio.h"
#include "formats/dvcodes.h"
#include "pipeline/graph/stage.h"
#include "pipeline/stages/damaged_frames.h"

// "DV Splitter": takes an interleaved DV stream (a DV type 1 file's one stream) and hands on each frame twice:
// the frame's bytes unchanged as DV video ("vids" "dvsd"), and its sound de-shuffled into 16-bit stereo PCM.
//
// Its outputs appear when its input is connected: the stage reads the first frame upstream to learn the TV
// system and the sound format. Output 0 is the video; output 1, the sound, exists only when the first frame
// carries an audio source pack; output 2, channels 3 and 4, only when that sound is 12-bit four-channel
// (two stereo pairs). Sound goes out as 16-bit stereo PCM at the frames' rate.
//
// Sound of every frame: the samples the frame announces. A frame whose sound cannot be read (no or broken
// audio packs), or whose sound changes to another rate or quantisation than the first frame's, gives silence
// of the length its position calls for, so the sound keeps its place beside the picture; the stage warns
// once per run when that happened. Sound times count the samples delivered at the output's rate.
//
// A damaged frame (pipeline/stages/damaged_frames.h): one whose header does not name the stream's system (a
// frame of the other system, or one whose DIF sequences are zeroed) or that is shorter than a frame of it. It
// goes out on the video output as it is, its sound is silence of the length its position calls for, and it
// is counted among the damaged frames (not among the frames without readable sound).
//
// Threads: as every stage (graph/stage.h).
namespace moraven {

class DvSplitterStage final : public Stage, public DamagedFrameCounting {
public:
    static constexpr const char* kDisplayName = "DV Splitter";

    DvSplitterStage();

    std::vector<MediaType> outputTypes(const Pin& output) const override;
    bool acceptsInput(const Pin& input, const MediaType& type) const override;
    void connected(Pin& pin) override;
    void disconnected(Pin& pin) override;
    bool firstSample(const Pin& output, MediaSample& sample) const override;

    void start() override;
    void receive(Pin& input, MediaSample& sample) override;
    void endOfStream(Pin& input) override;

private:
    Pin& m_input;
    DvSystem m_system = DvSystem::Unknown;
    std::optional<DvAudioFormat> m_format;
    std::optional<std::array<std::uint8_t, kDvInfoBytes>> m_dvInfo;

    // Per run (streaming thread).
    std::uint64_t m_frames = 0;
    std::uint64_t m_samplesOut = 0;
    std::uint64_t m_silentFrames = 0;
    std::array<MediaSample, 2> m_audio;  // per stereo pair
};

}  // namespace moraven
