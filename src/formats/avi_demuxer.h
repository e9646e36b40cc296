#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/avi_headers.h"
#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/fourcc.h"
#include "formats/media_time.h"
#include "formats/media_type.h"

// Reading every sample of an AVI file: the RIFF "AVI " form and the RIFF "AVIX" forms that follow it
// (OpenDML files over 1 GiB), the stream headers and formats, and for each stream the file offset and size
// of every sample, with random access to any sample or to its first bytes.
//
// Where the sample list comes from, per stream, in this order of preference:
//   1. the OpenDML super index ("indx" in the stream's "strl") and the standard indexes ("ix##") it points
//   to;
//   2. the "idx1" index of the first RIFF form (its offsets may be relative to the "movi" list or absolute
//      from the start of the file: the first entry that points at a chunk with its own id under one reading
//      decides; relative when none does);
//   3. a walk of the "movi" lists of every RIFF form, "rec " lists included.
// A source that yields no usable sample for a stream gives way to the next one. After an index (1 or 2), the
// movi data that follows the last indexed sample is walked too, and the whole chunks found there are
// appended: that is how the AVIX forms of a file with idx1 alone are read, and how a truncated file whose
// last index (at its end) is lost still gives its whole samples.
//
// Nothing read from the file is trusted:
//   - a stream's samples lie in increasing, non-overlapping chunks within the file. An index entry whose
//     chunk (its 8-byte header and its data) does not lie in the file, names the previous sample's chunk
//     again, or does not come after the previous sample is dropped and counted in
//     `AviStream::droppedEntries`. When such a conflict is not settled by the order alone, the previous
//     sample's chunk header is read once: if it carries the stream's number and the sample's size, the new
//     entry is dropped, else the previous sample is;
//   - building the tables reads no chunk header per entry: every sample read (readSample,
//     readSamplePrefix) reads the 8-byte chunk header before the data in the same read and checks that it
//     carries the stream's number and the sample's size. An entry that does not point at its own chunk is
//     therefore never followed: its sample is refused when read, and counted in refusedSamples();
//   - sizes are clamped to what the enclosing chunk and the file hold (a RIFF or LIST size past the end of
//     the file ends at the end of the file); a chunk that does not fit in its list ends the walk of that
//     list, and so does a chunk id that is not four printable characters (the zeros of a hole in a sparse
//     file): no stream has such an id;
//   - index entry counts are bounded by the bytes of their index chunk, the number of entries examined per
//     source by the file size / 8 (every real sample has an 8-byte chunk header), a super index naming the
//     same standard index twice is read once, the number of streams is bounded by 100 (two decimal digits in
//     a chunk id), list nesting by a fixed depth; every loop moves forward;
//   - no sample is larger than its stream's samples can be (AviStream::maxSampleBytes(): 144000 bytes for a DV
//     frame): an index entry or a walked chunk that declares more keeps its place as an empty sample whose
//     read is refused (its chunk header declares another size), so nothing is allocated from such a size;
//   - nothing is allocated from a count in the file: tables grow only with entries kept, and index entries
//     that lie in a hole of a sparse file (all zero, so all naming the same chunk) are counted without being
//     read. Memory and time follow the file's real data, not its declared sizes.
// A truncated file therefore gives the samples that are whole.
namespace moraven {

// One sample (one chunk of the movi data): where its data starts in the file (after the 8-byte chunk header),
// how many bytes it has, and whether the index marks it as a key frame.
struct AviSample {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    bool keyFrame = true;  // idx1 flag 0x10, or bit 31 of an ix## size clear; true for walked samples
};

enum class AviIndexSource {
    None,      // no sample found
    OpenDml,   // indx super index and its ix## standard indexes
    Idx1,      // idx1 (plus a walk of the AVIX forms' movi lists when there are any)
    MoviWalk,  // walk of the movi lists
};

enum class AviStreamKind { Video, Audio, Interleaved, Text, Other };

struct AviStream {
    static constexpr std::size_t kMaxFormatBytes = 64 * 1024;
    // The largest DV frame: 12 sequences of 12000 bytes, a 625/50 frame of 25 Mbit/s DV, the largest of the
    // layouts the program reads (50 Mbit/s and HD DV are not read by its DV stages).
    static constexpr std::uint32_t kMaxDvFrameBytes = 144000;
    // Room for a coded picture's headers beyond its pixels.
    static constexpr std::uint32_t kPictureHeaderRoom = 64 * 1024;
    // Any other chunk: over five minutes of 48 kHz 16-bit stereo sound, or an uncoded picture of 8 K x 8 K at
    // 32 bits a pixel. Nothing a player reads as one piece is larger.
    static constexpr std::uint32_t kMaxChunkBytes = 256 * 1024 * 1024;

    int number = 0;  // position in the file's stream list; the "##" of its chunk ids
    AviStreamHeader header;
    // From the stream header and the strf bytes (at most kMaxFormatBytes of them); its views decode the
    // bitmap header, the wave format and the DV information block.
    MediaType mediaType;
    std::optional<AviVideoProperties> videoProperties;  // "vprp"
    std::vector<AviSample> samples;                     // in stream order
    AviIndexSource indexSource = AviIndexSource::None;
    std::uint64_t totalBytes = 0;    // sum of the sample sizes
    std::size_t droppedEntries = 0;  // index entries refused by the checks (see the top of this file)

    AviStreamKind kind() const;
    // The most bytes one sample of the stream can hold: kMaxDvFrameBytes for DV (an interleaved stream, or
    // video whose handler or compression is a DV code); for other video with a picture size, the picture
    // uncoded at its bit count, at least 32 bits a pixel, plus kPictureHeaderRoom; else kMaxChunkBytes.
    std::uint32_t maxSampleBytes() const;
    std::size_t sampleCount() const { return samples.size(); }
    // dwRate/dwScale: frames per second for video, blocks per second for audio.
    AviRate rate() const { return {header.rate, header.scale}; }
    // The time of one sample (video frame): scale/rate seconds rounded to 100 ns; zero without a rate.
    MediaTime frameDuration() const;
    // Playing time of the samples present, rounded to 100 ns; zero when it cannot be computed.
    //   video, interleaved, and any stream with sampleSize 0 (VBR audio): sample count × scale / rate;
    //   other streams with sampleSize > 0 (PCM audio): (totalBytes / sampleSize) × scale / rate, or, when
    //   scale or rate is 0, totalBytes / averageBytesPerSecond of the wave format.
    // dwStart is not added.
    MediaTime duration() const;
};

// Opens an AVI file and builds its stream and sample tables at once; the file stays open for sample reads
// until the demuxer is destroyed.
//
// Threads: after construction the demuxer does not change. Every read is a positioned read (pread) of the
// one open descriptor, so const member functions may be called from several threads at once.
//
// Cost of opening: the headers, and each index chunk with one read (chunks over 1 MiB in reads of 1 MiB); no
// read per index entry. A 10-minute DV type 2 file reads about 120 KB. Cost of a sample read: one positioned
// read of the 8-byte chunk header and the bytes asked for.
class AviDemuxer {
public:
    // Throws FileError when the file cannot be opened or read (also on an I/O error while parsing).
    // A file that is not an AVI (no "RIFF" ... "AVI " at its start) is not an error: isAvi() is then false
    // and there are no streams.
    explicit AviDemuxer(const std::string& path);
    AviDemuxer(AviDemuxer&& other) noexcept;
    AviDemuxer& operator=(AviDemuxer&& other) noexcept;
    AviDemuxer(const AviDemuxer&) = delete;
    AviDemuxer& operator=(const AviDemuxer&) = delete;
    ~AviDemuxer();

    const std::string& path() const { return m_file.path(); }
    std::uint64_t fileSize() const { return m_file.size(); }

    bool isAvi() const { return m_isAvi; }
    bool hasMainHeader() const { return m_hasMainHeader; }
    const AviMainHeader& mainHeader() const { return m_mainHeader; }
    // dwTotalFrames of the OpenDML extended header ("dmlh" in LIST "odml"): the frames of all RIFF forms.
    // 0 when the file has none.
    std::uint32_t odmlTotalFrames() const { return m_odmlTotalFrames; }
    // The RIFF forms read: 1 for the "AVI " form plus one per "AVIX" form (0 when not an AVI).
    std::size_t riffFormCount() const { return m_riffFormCount; }

    // The streams in file order (stream k has chunk ids "kk..").
    const std::vector<AviStream>& streams() const { return m_streams; }
    std::size_t streamCount() const { return m_streams.size(); }
    // The first stream of the given kind, or nullptr.
    const AviStream* firstStream(AviStreamKind kind) const;

    // Reads sample `index` of stream `stream` whole into `out` (resized to the sample's size), with its chunk
    // header checked in the same read (see the top of this file). False, with `out` emptied, when the stream
    // or sample does not exist, the chunk header does not match (counted in refusedSamples()), or the file no
    // longer holds the whole sample (it shrank after opening). Throws FileError on an I/O error.
    bool readSample(std::size_t stream, std::size_t index, std::vector<std::uint8_t>& out) const;

    // Reads the first min(buffer.size(), sample size) bytes of sample `index` into the start of `buffer`
    // with a single positioned read of the chunk header and that many bytes, and returns how many bytes of
    // the sample it read (0 when the stream or sample does not exist or the chunk header does not match,
    // counted in refusedSamples(); fewer when the file shrank). Reading 480 bytes of a DV frame reads 488
    // bytes of the file and nothing else. Throws FileError on an I/O error.
    std::size_t readSamplePrefix(std::size_t stream, std::size_t index, MutableBytes buffer) const;

    // Bytes read from the file so far: the parsing at construction plus every sample read (chunk headers
    // included).
    std::uint64_t bytesRead() const { return m_bytesRead.load(std::memory_order_relaxed); }

    // Sample reads refused so far because the chunk header before the sample's data did not carry the
    // stream's number and the sample's size: index entries that do not point at their own chunk.
    std::uint64_t refusedSamples() const { return m_refusedSamples.load(std::memory_order_relaxed); }

    // Tells the kernel once that the samples will be read from the start of the file to its end, so that it
    // reads ahead (a scan over every frame). Only a hint; reads nothing.
    void willReadInOrder() const;

private:
    class Parser;
    friend class Parser;

    std::size_t readAt(std::uint64_t offset, MutableBytes buffer) const;
    // Reads the chunk header before sample `index` of `stream` and the first data.size() bytes of its data
    // in one read. The count of data bytes read, or kRefused when the header does not match.
    static constexpr std::size_t kRefused = static_cast<std::size_t>(-1);
    std::size_t readChecked(std::size_t stream, std::size_t index, MutableBytes data) const;

    BinaryFile m_file;
    bool m_isAvi = false;
    bool m_hasMainHeader = false;
    AviMainHeader m_mainHeader;
    std::uint32_t m_odmlTotalFrames = 0;
    std::size_t m_riffFormCount = 0;
    std::vector<AviStream> m_streams;
    mutable std::atomic<std::uint64_t> m_bytesRead{0};
    mutable std::atomic<std::uint64_t> m_refusedSamples{0};
};

}  // namespace moraven
