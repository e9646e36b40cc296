#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "formats/fourcc.h"
#include "formats/media_type.h"
#include "formats/wave_format.h"

// Writing a new AVI file: DV type 1 (one "iavs" stream), DV type 2 ("vids" "dvsd" and "auds" PCM streams),
// and any other video codec's frames as given, with PCM or other sound.
//
// Shape of the file:
//
//   RIFF "AVI "
//     LIST "hdrl"
//       avih                      main header: totals completed at close
//       LIST "strl" per stream    strh, strf, vprp (DV video), then a super index slot: a JUNK chunk of
//                                 24 + 16 × superIndexEntries bytes that becomes "indx" if the file grows
//                                 into OpenDML
//       LIST "odml"  dmlh         total frames of the whole file (248 bytes)
//     JUNK                        pads the header so that "movi" starts at a multiple of 2048 bytes
//     LIST "movi"                 "##dc" video / DV chunks and "##wb" sound chunks, interleaved
//     idx1                        the index of this first RIFF form: old readers play at least its start
//   RIFF "AVIX"                   only past riffFormBytes: further forms, each LIST "movi" with its chunks,
//     LIST "movi"                 ended by one "ix##" standard index per stream; the "indx" super indexes
//   ...                           of the header point to every "ix##" (the first form's included)
//
// The header area has a fixed size once the streams are known; close() rewrites it in place with the
// totals: avih (frames of the first RIFF form, streams, largest chunk, picture size, byte rate), each strh
// (dwLength, dwSuggestedBufferSize), vprp (the frame aspect), indx, and dmlh.
//
// Interleaving: every chunk has a start time (a video or DV frame: its number × scale / rate; a sound chunk:
// the bytes before it ÷ the byte rate). Chunks are written in the order of their start times; at equal times
// the stream added first goes first (a DV type 2 frame before its sound). A chunk waits while another stream,
// which has nothing waiting, may still deliver an earlier one. Callers should push in time order, roughly
// (the usual DV type 2 pattern: frame k, then the sound of frame k); the writer then never waits and copies
// nothing beyond its write buffer. It holds at most interleaveWindowBytes of waiting chunks: past that it
// writes the earliest ones regardless, so a stream that stops early (sound shorter than the picture) cannot
// hold the others back.
//
// The new file never replaces a file: it is written under a temporary name beside `path` and renamed to
// `path` by close(), with a rename that fails rather than replace a file that appeared meanwhile
// (formats/new_file.h). Until close() succeeds nothing exists under `path`. A writer destroyed without
// close(), or after a failure, removes what it wrote. A caller that stops early (the user aborts) decides:
// close() makes a complete, shorter file of what was written so far; discard() keeps nothing.
//
// Errors: I/O failures throw FileError; the temporary file is removed at once and every later call throws
// the same error. Misuse (adding a stream after the first sample, an unknown stream number, a sample over
// kMaxSampleBytes, an unusable format) throws std::invalid_argument or std::logic_error and leaves the
// file as it was.
//
// Threads: one thread uses a writer at a time.
namespace moraven {

class NewFile;

// A video stream as the writer takes it: its media type (a "vids" type whose format block starts with a
// bitmap header; the subtype is the stream header's handler), its frame rate as the exact fraction the stream
// header stores, and, for DV, its TV system. The MediaType's own frame duration is not used: 100 ns cannot
// state 30000/1001 exactly.
struct AviVideoFormat {
    MediaType type;
    AviRate rate{25, 1};  // frames per second = numerator / denominator
    // DV video: the stream also gets a vprp chunk (TV standard, picture geometry and the frame aspect, 16:9
    // or 4:3 from the packs of the first frame written). Unknown for other codecs: no vprp.
    DvSystem dvSystem = DvSystem::Unknown;

    // DV ("dvsd") of one TV system: MediaType::dvVideo at 25 frames/s or 30000/1001; `dvInfo` (the 32-byte DV
    // information block), when given, follows the bitmap header.
    static AviVideoFormat dv(DvSystem system, const std::optional<std::array<std::uint8_t, 32>>& dvInfo = {});
    // Another codec's frames: a plain 40-byte bitmap header of `compression`, 24 bits, image size 0.
    static AviVideoFormat compressed(FourCC compression, std::int32_t width, std::int32_t height,
                                     AviRate rate = {25, 1});
};

class AviWriter {
  public:
    // Larger samples are refused: the bound keeps every RIFF form, chunks and indexes, under 4 GiB.
    static constexpr std::size_t kMaxSampleBytes = std::size_t{256} << 20;
    static constexpr std::uint64_t kMaxRiffFormBytes = std::uint64_t{3} << 30;
    static constexpr std::size_t kMaxStreams = 100;  // two decimal digits in a chunk id

    struct Options {
        // A RIFF form ends, and the next "AVIX" form starts, before a chunk whose data and index entries
        // would make the form larger than this (clamped to kMaxRiffFormBytes). A form holds at least one
        // chunk.
        std::uint64_t riffFormBytes = std::uint64_t{1} << 30;
        // Entries of each stream's super index: the most RIFF forms a file can have (256 × 1 GiB by default).
        std::uint32_t superIndexEntries = 256;
        // Waiting chunks held for interleaving (see the top of this file); 0 writes in the order pushed.
        std::size_t interleaveWindowBytes = std::size_t{32} << 20;
        std::size_t writeBufferBytes = std::size_t{4} << 20;
    };

    // Refuses a `path` that names anything already (FileError AlreadyExists) and creates the temporary file
    // beside it (FileError when the folder is missing or not writable).
    explicit AviWriter(const std::string& path);
    AviWriter(const std::string& path, const Options& options);
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    const std::string& path() const { return m_path; }

    // Streams, added before the first sample, in the order they get in the file; each returns the stream's
    // number (its "##" in chunk ids).
    //
    // Video: `type` is "vids" with a format block of at least a bitmap header (its width and height stand
    // for the picture size; a negative height counts as its absolute value); the handler is the subtype.
    int addVideoStream(const MediaType& type, AviRate rate, DvSystem dvSystem = DvSystem::Unknown);
    int addVideoStream(const AviVideoFormat& format) {
        return addVideoStream(format.type, format.rate, format.dvSystem);
    }
    // Sound: `type` is "auds" with a usable wave format (block size and byte rate); its rate is the byte
    // rate over the block size.
    int addAudioStream(const MediaType& type);
    int addAudioStream(const WaveFormat& format) { return addAudioStream(MediaType::audio(format)); }
    // The one stream of a DV type 1 file: "iavs" with handler "dvsd", the DV information block as format
    // (MediaType::interleavedDv).
    int addInterleavedDvStream(DvSystem system, const std::array<std::uint8_t, 32>& dvInfo);

    // One sample of a stream: a whole video or DV frame, or a block of sound (whole sample frames). The
    // bytes are copied or written before the call returns.
    void writeSample(int stream, Bytes data, bool keyFrame = true);

    // Writes what waits, the indexes and the completed headers, and renames the file to `path`.
    void close();
    // Removes what was written; nothing is left on disk.
    void discard() noexcept;

    bool isOpen() const;
    std::size_t streamCount() const { return m_streams.size(); }
    // Samples of `stream` accepted so far (written or waiting); 0 for an unknown stream.
    std::uint64_t sampleCount(int stream) const;
    // Bytes in the file so far (the header included).
    std::uint64_t fileBytes() const;
    // RIFF forms begun so far: 1 for a plain AVI file, more once it continues as OpenDML.
    std::size_t riffFormCount() const { return m_formIndex + 1; }

  private:
    enum class Kind { Video, Audio, Interleaved };

    struct Time;  // a start time as an exact fraction of seconds

    struct Pending {
        std::vector<std::uint8_t> data;
        bool keyFrame = true;
    };

    struct IndexEntry {
        std::uint64_t dataOffset = 0;  // file offset of the chunk's data
        std::uint32_t size = 0;
        bool keyFrame = true;
    };


    struct Stream {
        Kind kind = Kind::Video;
        FourCC type;
        FourCC handler;
        std::uint32_t rate = 0;
        std::uint32_t scale = 0;
        std::uint32_t sampleSize = 0;  // sound: block size; video: 0
        std::uint32_t timeRate = 0;    // sound: bytes per second
        std::int32_t width = 0;
        std::int32_t height = 0;
        MediaType mediaType;  // its format block is the strf
        DvSystem dvSystem = DvSystem::Unknown;
        bool wide = false;  // DV: the first frame is 16:9
        FourCC chunkId;
        FourCC indexId;

        std::uint64_t acceptedSamples = 0;  // pushed (written or waiting)
        std::uint64_t writtenSamples = 0;
        std::uint64_t writtenBytes = 0;
        std::uint64_t firstFormSamples = 0;
        std::uint32_t largestChunk = 0;
        std::deque<Pending> waiting;
        std::vector<IndexEntry> formEntries;  // chunks of the current RIFF form
        std::uint64_t formBytes = 0;          // their data bytes
        std::vector<AviSuperIndexEntry> superEntries;
    };

    int addStream(Stream stream);
    Time startOfNext(const Stream& stream) const;
    static bool earlier(const Time& a, int streamA, const Time& b, int streamB);
    bool mayWriteNow(int stream, const Time& start) const;
    void drain(bool force);
    void emit(int stream, Bytes data, bool keyFrame);
    void beginFile();
    void rollOver();
    void writeStandardIndexes();
    void writeIdx1();
    void endForm(bool withStandardIndexes);
    std::vector<std::uint8_t> headerBytes() const;
    std::uint64_t pendingIndexBytes() const;
    void checkUsable() const;
    [[noreturn]] void fail(const FileError& error);

    std::string m_path;
    Options m_options;
    std::unique_ptr<NewFile> m_file;
    std::optional<FileError> m_error;
    std::vector<Stream> m_streams;
    std::vector<AviIdx1Entry> m_idx1;  // offsets from the "movi" code of the first form
    bool m_started = false;  // a sample was pushed: no more streams
    bool m_headerWritten = false;
    bool m_closed = false;     // closed or discarded: no more samples
    bool m_committed = false;  // closed: the file exists under its name
    std::size_t m_waitingBytes = 0;
    std::size_t m_headerSize = 0;       // bytes from the file start to the first chunk of "movi"
    std::uint64_t m_formStart = 0;      // file offset of the current form's "RIFF"
    std::uint64_t m_moviStart = 0;      // file offset of the current form's "LIST" "movi"
    std::size_t m_formIndex = 0;        // 0: the "AVI " form
    std::uint64_t m_formChunks = 0;     // chunks written into the current form
    std::uint32_t m_firstRiffSize = 0;  // sizes of the first form and its "movi" list once it is closed
    std::uint32_t m_firstMoviSize = 0;
};

}  // namespace moraven
