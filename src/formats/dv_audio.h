#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/dvcodes.h"
#include "formats/media_type.h"

// The sound inside DV frames (IEC 61834 / SMPTE 314M, 25 Mbit/s): reading the AAUX source pack and the
// shuffled samples of every audio DIF block, and writing PCM into the audio blocks with their AAUX source
// and source-control packs.
//
// A frame's sound is in two halves of its DIF sequences (5 + 5 for 525/60, 6 + 6 for 625/50), nine audio DIF
// blocks per sequence. With 16-bit samples the first half holds the left channel and the second the right
// (one stereo pair). With 12-bit non-linear samples (32 kHz only) each half holds a stereo pair: the first
// half channels 1 and 2, the second half channels 3 and 4.
//
// Everything works on a buffer the caller owns for the length of the call, allocates nothing but the output
// vectors, and reads or writes no byte past the end of the buffer. Absence is a value: a frame whose audio
// source pack is missing or names a rate or quantisation it cannot carry gives no DvAudioFormat.
namespace moraven {

// How the samples are coded (the QU field). Not named DvAudioQuantization: dvcodes.h has a function of that
// name.
enum class DvSampleQuantization : std::uint8_t { Linear16 = 0, NonLinear12 = 1 };

// What the AAUX source pack of a frame says of its sound.
struct DvAudioFormat {
    std::uint32_t sampleRate = 48000;  // 48000, 44100 or 32000
    DvSampleQuantization quantization = DvSampleQuantization::Linear16;
    DvSystem system = DvSystem::Unknown;
    std::uint32_t samplesInFrame = 0;  // samples per channel this frame carries
    bool locked = true;                // audio locked to the video clock (LF bit 0; cameras record 1)
    std::uint8_t stereoPairs = 1;      // 1, or 2 for 12-bit four-channel sound

    friend bool operator==(const DvAudioFormat&, const DvAudioFormat&) = default;
};

// The sound format of `frame`, from the AAUX source pack of the first audio block (sequence by sequence)
// that holds one; the header block's system decides the frame's shape and the pack's 50/60 flag must agree
// with it. Absent without such a pack, for a rate or quantisation DV does not define (12 bits at another rate
// than 32 kHz included), a sample count past the largest DV allows, a pack naming the other system, or a
// frame shorter than its system. stereoPairs is 2 for 12-bit sound whose CHN field says two channels per
// audio block, else 1.
std::optional<DvAudioFormat> DvReadAudioFormat(std::span<const std::uint8_t> frame);

// The samples of one frame, de-shuffled: interleaved 16-bit stereo (left, right, left, ...), samplesInFrame
// sample frames per pair. 12-bit samples are expanded to 16 bits. `secondPair` is filled only for 12-bit
// four-channel sound (channels 3 and 4).
struct DvAudioSamples {
    DvAudioFormat format;
    std::vector<std::int16_t> firstPair;
    std::vector<std::int16_t> secondPair;
};

// Reads the sound of `frame`. Absent when DvReadAudioFormat is. A block whose samples are marked as an
// error (0x8000 for 16 bits, 0x800 for 12 bits) gives silence for those samples.
std::optional<DvAudioSamples> DvReadAudio(std::span<const std::uint8_t> frame);

// The number of samples per channel frame `frameIndex` (counted from the start of the stream) carries at
// `sampleRate` in `system` with locked audio: 625/50 always rate / 25; 525/60 48 kHz the five-frame pattern
// 1600, 1602, 1602, 1602, 1602, and for 44.1 and 32 kHz a pattern whose sum over any run of frames stays
// within one sample of rate × 1001 / 30000 per frame. Zero for an unknown system or rate.
std::uint32_t DvAudioSamplesPerFrame(DvSystem system, std::uint32_t sampleRate, std::uint64_t frameIndex);

// Writes 16-bit stereo `samples` (interleaved, samplesInFrame × 2 values) into the audio blocks of `frame`
// (a whole frame of `system`), with the AAUX source pack (rate, 16 bits, samples in the frame, locked) and
// source-control pack in every audio block's pack slot, leaving every other byte of the frame as it was.
// Fewer samples than samplesInFrame × 2 are padded with silence, and the sample places past samplesInFrame
// are cleared. −32768 is stored as −32767, since 0x8000 marks a lost sample. Only the audio blocks' sample
// bytes and the pack slots of the source pack (0x50) and source-control pack (0x51) are written (even
// sequences: audio blocks 3 and 4, odd sequences: blocks 0 and 1); the other AAUX packs, such as the
// recording date, stay. False (frame unchanged) when the system is unknown, the frame is too short for it,
// the rate is not 48000, 44100 or 32000, the count is outside what DV allows for that rate and system, or
// more than samplesInFrame × 2 values are given.
bool DvWriteAudio(std::span<std::uint8_t> frame, DvSystem system, std::uint32_t sampleRate,
                  std::span<const std::int16_t> samples, std::uint32_t samplesInFrame);

// Writes two stereo pairs of 32 kHz sound as 12-bit non-linear codes (DvCompress12) into the audio blocks of
// `frame` (a whole frame of `system`): `firstPair` (channels 1 and 2) into the first half of the sequences,
// `secondPair` (channels 3 and 4) into the second half, each interleaved with samplesInFrame × 2 values at
// most (fewer are padded with silence), with the AAUX source pack (32 kHz, 12 bits, two channels per block,
// samples in the frame, locked) and source-control pack in their slots. Leaves every other byte as it was.
// False (frame unchanged) on the same grounds as DvWriteAudio.
bool DvWriteAudio12(std::span<std::uint8_t> frame, DvSystem system, std::span<const std::int16_t> firstPair,
                    std::span<const std::int16_t> secondPair, std::uint32_t samplesInFrame);

// The audio source and source-control packs of the first sequence of each half of `frame` (a frame of
// `system`), each as the word a DV information block keeps: the four bytes after the id, the first lowest.
// A pack that is missing gives 0.
struct DvAudioPackWords {
    std::uint32_t source = 0;
    std::uint32_t control = 0;
    std::uint32_t secondHalfSource = 0;
    std::uint32_t secondHalfControl = 0;
};
DvAudioPackWords DvReadAudioPackWords(std::span<const std::uint8_t> frame, DvSystem system);

// The 12-bit non-linear code of DV's 32 kHz four-channel mode and back. Expand reads the low 12 bits of
// `code` as a two's-complement code: linear up to ±512, then segments of 256 codes whose step doubles, up to
// 32704 for 0x7FF; negative codes mirror that in one's complement (code −1 − c gives −1 − expand(c)).
// Compress is its inverse: DvCompress12(DvExpand12(c)) == c for every code but 0x800, the error marker, which
// Compress never gives (it maps the loudest negative samples to 0x801). Other samples are rounded towards
// zero onto the curve's nearest lower step.
std::int16_t DvExpand12(std::uint16_t code);
std::uint16_t DvCompress12(std::int16_t sample);

// The DV information block of an interleaved stream whose frames look like `frame` (a frame of `system`): the
// audio source and source-control packs of the first sequence of each half, and the picture's VAUX source
// and source-control packs; a missing pack gives a zero word.
std::array<std::uint8_t, kDvInfoBytes> dvInfoOfFrame(Bytes frame, DvSystem system);

}  // namespace moraven
