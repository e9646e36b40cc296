#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formats/avi_demuxer.h"
#include "formats/dv_frame_analysis.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"
#include "formats/media_type.h"

// The list scan: what the file list needs to know about the streams of one AVI file, as the splitters of the
// media framework report it (the media types of the streams, the durations), and the facts of the first
// frame of its DV stream. Read through the AVI demuxer and
// a DvFrameAnalysis; nothing is decoded.
namespace moraven {

// The results of one scan; ScanFile clears all of it first.
struct TListScanResult {
    std::int32_t StreamCount = 0;  // streams of the file

    // The first video stream's type, with its frame duration (10^7 × scale / rate rounded to 100 ns) and
    // bit rate (its bytes × 8 over its duration): its videoInfo() view is what the list shows.
    std::optional<MediaType> VideoFormat;
    // The first audio stream's type: its wave() view.
    std::optional<MediaType> AudioFormat;
    // The first interleaved ("iavs") stream's type: its dvInfo() view is the DV information block.
    std::optional<MediaType> InterleavedFormat;

    MediaTime VideoDuration;  // of the video stream (or the interleaved stream), 100 ns
    MediaTime AudioDuration;  // of the audio stream (or the interleaved stream), 100 ns

    // The facts of the first frame of the DV stream; cleared when the file has no DV stream that the frame
    // analysis accepts, or when that stream has no frame.
    TDvFrameInfo Dv;
};

// Scans the file at `path` into `result` (cleared first). True when the file was opened as an AVI file and
// every stream was looked at; false when it cannot be opened or read, is not an AVI file, or holds an
// interleaved DV stream that the DV splitter refuses (handler other than "dvsd"; the caller may retry with
// another handler, see `videoHandler`). On false the fields filled so far stay.
//
// `videoHandler`, when given, stands in memory for the handler of the last video or interleaved stream
// header ("vids" or "iavs"): the scan then reads that stream as it would if the file carried that handler
// (its media type's subtype too, for an interleaved stream). The file is only read.
//
// Per stream, in file order (only the first of each kind counts):
//   "vids": its type when its format holds a bitmap header (at least 40 bytes), with frame duration and bit
//           rate; VideoDuration the stream's duration;
//   "auds": its type when its format holds a wave format (at least 16 bytes; a 16-byte one reads with
//           extra size 0); AudioDuration the stream's duration;
//   "iavs": its type when its format holds the DV information block (at least 32 bytes), both durations the
//           stream's; then what the DV splitter makes of its frames: MediaType::dvVideo of the first
//           frame's system and 16-bit stereo PCM at the rate of the AAUX source pack (32 kHz 12-bit sound
//           is delivered as 16-bit), each only while none is held;
//   "vids" "dvsd" and "iavs": Dv := the frame analysis of the stream's first frame (a later accepted stream
//           overwrites an earlier one's facts).
// Durations are those of the samples present (frames × scale / rate; sound bytes ÷ block size × scale /
// rate).
//
// Cost: the demuxer's headers and index, and one whole frame of each DV stream. Thread: any, one call at a
// time per result.
bool ScanFile(const std::string& path, TListScanResult& result, std::optional<FourCC> videoHandler = {});

// The same over a demuxer that the caller opened (and may use further); it throws FileError on an I/O error
// instead of returning false.
bool ScanFile(const AviDemuxer& demuxer, TListScanResult& result, std::optional<FourCC> videoHandler = {});

}  // namespace moraven
