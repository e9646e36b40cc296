#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "formats/avi_demuxer.h"
#include "formats/dv_frame_analysis.h"
#include "formats/media_time.h"

// The list scan: what the file list needs to know about the streams of one AVI file, in the form in which
// the designed-for platform's splitters reported it (video-info and wave-format blocks, the DV information
// block, the durations), and the facts of the first frame of its DV stream. Read through the AVI demuxer and
// a DvFrameAnalysis; nothing is decoded.
namespace moraven {

inline constexpr std::size_t kVideoInfoBytes = 88;    // video-info header (48 bytes) + bitmap header (40)
inline constexpr std::size_t kAudioFormatBytes = 18;  // WAVEFORMATEX without extra bytes
inline constexpr std::size_t kDvInfoBytes = 32;       // eight 32-bit words

// The results of one scan; ScanFile clears all of it first.
struct TListScanResult {
    std::int32_t StreamCount = 0;  // streams of the file

    // The first video stream's format as a video-info header, all little-endian:
    //   0 source rectangle (4 × 32-bit, zero: the whole picture)   16 target rectangle (zero)
    //   32 bit rate (bits/s)   36 bit error rate (0)   40 frame duration (64-bit, 100 ns)
    //   48 the 40-byte bitmap header: size, width, height, planes, bit count, compression, image size, ...
    bool HasVideoFormat = false;
    std::array<std::uint8_t, kVideoInfoBytes> VideoFormat{};

    // The first audio stream's wave-format header: format tag, channels, samples per second, average bytes
    // per second, block alignment, bits per sample, extra size.
    bool HasAudioFormat = false;
    std::array<std::uint8_t, kAudioFormatBytes> AudioFormat{};

    // The DV information block of the first interleaved ("iavs") stream: the AAUX source and control words
    // of the first and of the second audio block, the VAUX source and control words, two reserved words.
    bool HasDvInfo = false;
    std::array<std::uint8_t, kDvInfoBytes> DvInfo{};

    MediaTime VideoDuration;  // of the video stream (or the interleaved stream), 100 ns
    MediaTime AudioDuration;  // of the audio stream (or the interleaved stream), 100 ns

    // The facts of the first frame of the DV stream; cleared when the file has no DV stream that the frame
    // analysis accepts, or when that stream has no frame.
    TDvFrameInfo Dv;

    // Fields of the blocks above, decoded (0 when the block is absent).
    std::int32_t videoWidth() const;
    std::int32_t videoHeight() const;
    MediaTime videoFrameDuration() const;
    FourCC videoCompression() const;
    std::uint16_t audioFormatTag() const;
    std::uint16_t audioChannels() const;
    std::uint32_t audioSamplesPerSecond() const;
    std::uint32_t audioAverageBytesPerSecond() const;
    std::uint16_t audioBitsPerSample() const;
    std::uint32_t dvInfoVauxSource() const;  // the fifth word
};

// Scans the file at `path` into `result` (cleared first). True when the file was opened as an AVI file and
// every stream was looked at; false when it cannot be opened or read, is not an AVI file, or holds an
// interleaved DV stream that the DV splitter refuses (handler other than "dvsd"; the caller may retry with
// the handler changed). On false the fields filled so far stay.
//
// Per stream, in file order (only the first of each kind counts):
//   "vids": the video-info header built from the stream header and the bitmap header of its format (at
//           least 40 bytes); frame duration 10^7 × scale / rate rounded to 100 ns; VideoDuration the
//           stream's duration;
//   "auds": the wave-format header (a 16-byte format gets extra size 0, as the splitter delivers it; less
//           than 16 bytes gives none); AudioDuration the stream's duration;
//   "iavs": the DV information block (at least 32 bytes), both durations the stream's; then what the DV
//           splitter makes of its frames: the video format of the first frame's system (720 × 576 at
//           400000 or 720 × 480 at 333667, "dvsd", 24 bits) and 16-bit stereo PCM at the rate of the AAUX
//           source pack (32 kHz 12-bit sound is delivered as 16-bit), each only while none is held;
//   "vids" "dvsd" and "iavs": Dv := the frame analysis of the stream's first frame (a later accepted stream
//           overwrites an earlier one's facts).
// Durations are those of the samples present (frames × scale / rate; sound bytes ÷ block size × scale /
// rate).
//
// Cost: the demuxer's headers and index, and one whole frame of each DV stream. Thread: any, one call at a
// time per result.
bool ScanFile(const std::string& path, TListScanResult& result);

}  // namespace moraven
