#include "formats/avi_demuxer.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <utility>

namespace moraven {

namespace {

constexpr FourCC kRiff = FourCC::of("RIFF");
constexpr FourCC kList = FourCC::of("LIST");
constexpr FourCC kAviForm = FourCC::of("AVI ");
constexpr FourCC kAvixForm = FourCC::of("AVIX");
constexpr FourCC kHdrl = FourCC::of("hdrl");
constexpr FourCC kStrl = FourCC::of("strl");
constexpr FourCC kOdml = FourCC::of("odml");
constexpr FourCC kMovi = FourCC::of("movi");
constexpr FourCC kRec = FourCC::of("rec ");
constexpr FourCC kAvih = FourCC::of("avih");
constexpr FourCC kStrh = FourCC::of("strh");
constexpr FourCC kStrf = FourCC::of("strf");
constexpr FourCC kIndx = FourCC::of("indx");
constexpr FourCC kVprp = FourCC::of("vprp");
constexpr FourCC kDmlh = FourCC::of("dmlh");
constexpr FourCC kIdx1 = FourCC::of("idx1");

constexpr std::size_t kMaxStreams = 100;  // chunk ids number streams with two decimal digits
constexpr int kMaxListDepth = 8;          // "rec " lists inside "movi"; real files nest one level
constexpr std::size_t kChunkHeaderBytes = chunkhead::kBytes;
constexpr std::size_t kListHeaderBytes = chunkhead::kListHeaderBytes;
constexpr std::size_t kMaxSuperIndexBytes = 1024 * 1024;
// vprp: the fixed part and the two field descriptions of an interlaced picture.
constexpr std::size_t kVideoPropertiesBytes = vprp::kFixedBytes + 2 * vprp::kFieldBytes;
// Index chunks are read whole up to this size, larger ones in blocks of it. A standard index of one RIFF form
// of 1 GiB of DV frames holds about 7,500 entries of 8 bytes.
constexpr std::size_t kIndexBlockBytes = 1024 * 1024;
constexpr int kIdx1ProbeEntries = 32;  // entries tried when telling relative from absolute idx1 offsets
constexpr std::uint64_t kIdx1ProbeRecords = 256;  // records looked at for them (others: "rec ", ix##)

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The stream number written as two decimal digits at characters `first` and `first + 1` of `id`, or -1.
int streamNumberAt(FourCC id, int first) {
    const char a = id.charAt(first);
    const char b = id.charAt(first + 1);
    if (!isDigit(a) || !isDigit(b)) return -1;
    return (a - '0') * 10 + (b - '0');
}

// A data chunk of stream ## is "##xx"; "##pc" is a palette change, which is not a sample.
int sampleStreamNumber(FourCC id) {
    if (id.charAt(2) == 'p' && id.charAt(3) == 'c') return -1;
    return streamNumberAt(id, 0);
}

// Standard index chunks are "ix##"; a few writers put the digits first ("##ix").
int standardIndexStreamNumber(FourCC id) {
    if (id.charAt(0) == 'i' && id.charAt(1) == 'x') return streamNumberAt(id, 2);
    if (id.charAt(2) == 'i' && id.charAt(3) == 'x') return streamNumberAt(id, 0);
    return -1;
}

// Four characters from blank to tilde: what every chunk id of a RIFF file is made of.
bool isChunkId(FourCC id) {
    for (int i = 0; i < 4; ++i) {
        const char c = id.charAt(i);
        if (c < ' ' || c > '~') return false;
    }
    return true;
}

// One chunk as found inside a parent that ends at `parentEnd`.
struct ChunkInfo {
    FourCC id;
    std::uint32_t declaredSize = 0;
    FourCC listType;         // for "RIFF" and "LIST" with at least 4 data bytes in the file
    std::uint64_t data = 0;  // position of the data (for lists: of the list type)
    std::uint64_t end = 0;   // end of the data, clamped to the parent's end
    bool whole = false;      // the declared size fits in the parent
    std::uint64_t next = 0;  // where the next sibling starts (past a pad byte), or the parent's end
    bool isList(FourCC type) const { return (id == kList || id == kRiff) && listType == type; }
};

}  // namespace

AviStreamKind AviStream::kind() const {
    if (header.type == kMediaTypeVideo) return AviStreamKind::Video;
    if (header.type == kMediaTypeAudio) return AviStreamKind::Audio;
    if (header.type == kMediaTypeInterleaved) return AviStreamKind::Interleaved;
    if (header.type == kMediaTypeText) return AviStreamKind::Text;
    return AviStreamKind::Other;
}

std::uint32_t AviStream::maxSampleBytes() const {
    const AviStreamKind k = kind();
    const std::optional<BitmapHeader> bitmap = mediaType.bitmap();
    const bool dv = k == AviStreamKind::Interleaved ||
                    (k == AviStreamKind::Video &&
                     (isDvCompression(header.handler) || (bitmap && isDvCompression(bitmap->compression))));
    if (dv) return kMaxDvFrameBytes;
    if (k == AviStreamKind::Video && bitmap && bitmap->width > 0 && bitmap->height != 0) {
        // A coded picture does not grow past the picture uncoded (at least 32 bits a pixel) and a few headers.
        const std::uint64_t pixels = std::uint64_t{static_cast<std::uint32_t>(bitmap->width)} *
                                     (bitmap->height < 0 ? -std::int64_t{bitmap->height} : bitmap->height);
        const std::uint64_t bytes = pixels * std::max<std::uint16_t>(bitmap->bitCount, 32) / 8 + kPictureHeaderRoom;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, kMaxChunkBytes));
    }
    return kMaxChunkBytes;
}

MediaTime AviStream::frameDuration() const { return aviTicks(1, rate()); }

MediaTime AviStream::duration() const {
    const AviStreamKind k = kind();
    if (header.sampleSize == 0 || k == AviStreamKind::Video || k == AviStreamKind::Interleaved) {
        return aviTicks(samples.size(), rate());
    }
    if (rate().valid()) return aviTicks(totalBytes / header.sampleSize, rate());
    const auto wave = mediaType.wave();
    if (wave && wave->averageBytesPerSecond != 0) return aviTicks(totalBytes, {wave->averageBytesPerSecond, 1});
    return MediaTime();
}

// Walks the file once at construction and fills the demuxer's tables.
class AviDemuxer::Parser {
public:
    explicit Parser(AviDemuxer& demuxer)
        : m_demuxer(demuxer),
          m_fileSize(demuxer.m_file.size()),
          m_entryBudget(m_fileSize / kChunkHeaderBytes) {}

    void run() {
        std::array<std::uint8_t, kListHeaderBytes> head{};
        if (read(0, head) < head.size()) return;
        if (FourCC::at(head, 0) != kRiff || FourCC::at(head, 8) != kAviForm) return;
        m_demuxer.m_isAvi = true;

        // The first form, then every RIFF "AVIX" form that follows it; anything else at the top is skipped.
        std::uint64_t pos = 0;
        int form = 0;
        while (m_fileSize - pos >= kListHeaderBytes) {
            const ChunkInfo top = chunkAt(pos, m_fileSize);
            // No chunk (the zeros of a hole after the forms, garbage): nothing more to read at the top.
            if (!isChunkId(top.id)) break;
            if (top.id == kRiff && top.listType == (form == 0 ? kAviForm : kAvixForm) &&
                top.end - top.data >= 4) {
                parseForm(top.data + 4, top.end, form);
                ++form;
            }
            if (!top.whole) break;
            pos = top.next;
        }
        m_demuxer.m_riffFormCount = static_cast<std::size_t>(form);
        buildSampleTables();
    }

private:
    struct MoviList {
        std::uint64_t typePos;  // position of the "movi" type: idx1 offsets count from here
        std::uint64_t end;
        int form;
    };

    std::size_t read(std::uint64_t offset, MutableBytes buffer) { return m_demuxer.readAt(offset, buffer); }

    // The header of the chunk at `pos`, which the caller has checked to hold at least 8 bytes before
    // `parentEnd` (itself at most the file size).
    ChunkInfo chunkAt(std::uint64_t pos, std::uint64_t parentEnd) {
        std::array<std::uint8_t, kListHeaderBytes> head{};
        const std::size_t got = read(pos, head);
        ChunkInfo c;
        c.data = pos + kChunkHeaderBytes;
        if (got < kChunkHeaderBytes) {
            c.end = c.next = parentEnd;
            return c;
        }
        const RiffChunkHeader header = decodeChunkHeader(head);
        c.id = header.id;
        c.declaredSize = header.size;
        const std::uint64_t room = parentEnd - c.data;
        c.whole = c.declaredSize <= room;
        c.end = c.whole ? c.data + c.declaredSize : parentEnd;
        if ((c.id == kList || c.id == kRiff) && got == kListHeaderBytes && c.end - c.data >= 4) {
            c.listType = FourCC::at(head, chunkhead::kListType);
        }
        // Chunks start on even positions: an odd size is followed by a pad byte.
        c.next = c.end;
        if (c.whole && (c.declaredSize & 1) != 0 && c.next < parentEnd) ++c.next;
        return c;
    }

    // Reads up to `cap` bytes of the chunk's data (within its clamped end).
    std::vector<std::uint8_t> chunkData(const ChunkInfo& c, std::size_t cap) {
        const std::uint64_t available = c.end - c.data;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(available, cap)));
        bytes.resize(read(c.data, bytes));
        return bytes;
    }

    void parseForm(std::uint64_t begin, std::uint64_t end, int form) {
        std::uint64_t pos = begin;
        while (end - pos >= kChunkHeaderBytes) {
            const ChunkInfo c = chunkAt(pos, end);
            if (c.isList(kHdrl) && form == 0 && !m_hdrlSeen) {
                m_hdrlSeen = true;
                parseHeaderList(c.data + 4, c.end);
            } else if (c.isList(kMovi)) {
                m_moviLists.push_back({c.data, c.end, form});
            } else if (c.id == kIdx1 && form == 0 && !m_idx1) {
                m_idx1 = c;
            }
            if (!c.whole) break;
            pos = c.next;
        }
    }

    void parseHeaderList(std::uint64_t begin, std::uint64_t end) {
        std::uint64_t pos = begin;
        while (end - pos >= kChunkHeaderBytes) {
            const ChunkInfo c = chunkAt(pos, end);
            if (c.id == kAvih && !m_demuxer.m_hasMainHeader) {
                m_demuxer.m_hasMainHeader = true;
                m_demuxer.m_mainHeader = decodeMainHeader(chunkData(c, avih::kBytes));
            } else if (c.isList(kStrl) && m_demuxer.m_streams.size() < kMaxStreams) {
                parseStreamList(c.data + 4, c.end);
            } else if (c.isList(kOdml)) {
                parseOdmlList(c.data + 4, c.end);
            }
            if (!c.whole) break;
            pos = c.next;
        }
    }

    void parseOdmlList(std::uint64_t begin, std::uint64_t end) {
        std::uint64_t pos = begin;
        while (end - pos >= kChunkHeaderBytes) {
            const ChunkInfo c = chunkAt(pos, end);
            if (c.id == kDmlh) {
                m_demuxer.m_odmlTotalFrames = decodeOdmlHeader(chunkData(c, dmlh::kBytes)).totalFrames;
                return;
            }
            if (!c.whole) break;
            pos = c.next;
        }
    }

    void parseStreamList(std::uint64_t begin, std::uint64_t end) {
        AviStream stream;
        stream.number = static_cast<int>(m_demuxer.m_streams.size());
        std::vector<std::uint8_t> superIndex;
        std::vector<std::uint8_t> format;
        bool haveHeader = false;
        bool haveFormat = false;
        std::uint64_t pos = begin;
        while (end - pos >= kChunkHeaderBytes) {
            const ChunkInfo c = chunkAt(pos, end);
            if (c.id == kStrh && !haveHeader) {
                haveHeader = true;
                stream.header = decodeStreamHeader(chunkData(c, strh::kBytes));
            } else if (c.id == kStrf && !haveFormat) {
                haveFormat = true;
                format = chunkData(c, AviStream::kMaxFormatBytes);
            } else if (c.id == kIndx && superIndex.empty()) {
                superIndex = chunkData(c, kMaxSuperIndexBytes);
            } else if (c.id == kVprp && !stream.videoProperties) {
                const auto bytes = chunkData(c, kVideoPropertiesBytes);
                if (bytes.size() >= vprp::kFixedBytes) stream.videoProperties = decodeVideoProperties(bytes);
            }
            if (!c.whole) break;
            pos = c.next;
        }
        stream.mediaType = MediaType::fromStreamHeader(stream.header, std::move(format));
        m_demuxer.m_streams.push_back(std::move(stream));
        m_superIndexes.push_back(std::move(superIndex));
    }

    // ---- sample tables ----

    // True when an 8-byte chunk header at `headerPos` lies in the file, carries an id accepted by
    // `idMatches`, and declares `size`, and the `size` bytes of data that follow end within the file.
    template <typename IdCheck>
    bool chunkMatches(std::uint64_t headerPos, std::uint32_t size, IdCheck idMatches) {
        if (headerPos > m_fileSize || m_fileSize - headerPos < kChunkHeaderBytes) return false;
        if (size > m_fileSize - headerPos - kChunkHeaderBytes) return false;
        std::array<std::uint8_t, kChunkHeaderBytes> head{};
        if (read(headerPos, head) < head.size()) return false;
        const RiffChunkHeader header = decodeChunkHeader(head);
        return idMatches(header.id) && header.size == size;
    }

    // Calls `each(record)` for every whole record of `stride` bytes among the first `count` records at `pos`,
    // reading the records in blocks of up to kIndexBlockBytes, so that no index is held in memory whole. Stops
    // when `each` returns false. Records that lie in a hole of a sparse file are all zero and are not read:
    // `each` sees the first of them, `skipZeros(n)` is told of the n others (for an index, copies of an
    // entry already seen).
    template <typename Each, typename SkipZeros>
    void forEachRecord(std::uint64_t pos, std::uint64_t count, std::size_t stride, Each each,
                       SkipZeros skipZeros) {
        const std::size_t perBlock = std::max<std::size_t>(1, kIndexBlockBytes / stride);
        std::vector<std::uint8_t> block;
        std::uint64_t done = 0;
        while (done < count) {
            const std::uint64_t at = pos + done * stride;
            const std::uint64_t data = m_demuxer.m_file.dataFrom(at);
            const std::uint64_t zeros = data > at ? std::min<std::uint64_t>(count - done, (data - at) / stride) : 0;
            if (zeros > 0) {
                block.assign(stride, 0);
                if (!each(Bytes(block))) return;
                skipZeros(zeros - 1);
                done += zeros;
                continue;
            }
            // Up to the next hole, but at least one record.
            const std::uint64_t hole = m_demuxer.m_file.holeFrom(at);
            const std::uint64_t inData = hole > at ? std::max<std::uint64_t>(1, (hole - at) / stride) : 1;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>({perBlock, count - done, inData}));
            block.resize(n * stride);
            const std::size_t got = read(at, block);
            const std::size_t records = got / stride;
            for (std::size_t i = 0; i < records; ++i) {
                if (!each(Bytes(block).subspan(i * stride, stride))) return;
            }
            if (records < n) return;
            done += n;
        }
    }

    // Counts one examined index entry; false once the entries examined exceed what the file can hold.
    bool spendEntry() {
        if (m_entriesExamined >= m_entryBudget) return false;
        ++m_entriesExamined;
        return true;
    }

    // True when the chunk header before `sample` carries stream `s`'s number and the sample's size.
    bool headerMatches(std::size_t s, const AviSample& sample) {
        const auto number = static_cast<int>(s);
        return chunkMatches(sample.offset - kChunkHeaderBytes, sample.size,
                            [number](FourCC id) { return sampleStreamNumber(id) == number; });
    }

    // Adds a sample named by an index to stream `s`'s table, which holds the stream's samples in increasing,
    // non-overlapping chunks. Nothing is read for an entry that follows the last sample: its chunk header is
    // checked when the sample is read (AviDemuxer::readSample). An entry that lies outside the file, names the
    // last sample's chunk again, or comes before the end of the last sample is dropped; in the last case one of
    // the two does not point at its own chunk, and the last sample's chunk header (read once) decides which.
    void addIndexed(std::size_t s, AviSample sample, std::vector<AviSample>& table, std::size_t& dropped) {
        if (sample.offset < kChunkHeaderBytes || sample.offset > m_fileSize ||
            sample.size > m_fileSize - sample.offset) {
            ++dropped;
            return;
        }
        // More than a sample of the stream can be: the sample keeps its place, empty, and its read is refused
        // (its chunk header declares another size).
        if (sample.size > m_maxBytes[s]) sample.size = 0;
        while (!table.empty()) {
            const AviSample& last = table.back();
            if (sample.offset - kChunkHeaderBytes >= last.offset + last.size) break;
            if (sample.offset == last.offset) {
                ++dropped;
                return;
            }
            if (m_lastChecked[s] == 0) m_lastChecked[s] = headerMatches(s, last) ? 1 : 2;
            ++dropped;
            if (m_lastChecked[s] == 1) return;
            table.pop_back();
            m_lastChecked[s] = 0;
        }
        table.push_back(sample);
        m_lastChecked[s] = 0;
    }

    void buildSampleTables() {
        auto& streams = m_demuxer.m_streams;
        const std::size_t n = streams.size();
        if (n == 0) return;
        m_maxBytes.clear();
        for (const AviStream& stream : streams) m_maxBytes.push_back(stream.maxSampleBytes());
        std::vector<std::vector<AviSample>> tables(n);
        std::vector<std::size_t> dropped(n, 0);
        m_lastChecked.assign(n, 0);

        m_entriesExamined = 0;
        for (std::size_t s = 0; s < n; ++s) {
            if (!m_superIndexes[s].empty()) readOpenDmlIndex(s, tables[s], dropped[s]);
            if (!tables[s].empty()) streams[s].indexSource = AviIndexSource::OpenDml;
        }

        std::vector<bool> want(n);
        for (std::size_t s = 0; s < n; ++s) want[s] = tables[s].empty();
        if (m_idx1 && std::find(want.begin(), want.end(), true) != want.end()) {
            m_entriesExamined = 0;
            readIdx1(want, tables, dropped);
            for (std::size_t s = 0; s < n; ++s) {
                if (want[s] && !tables[s].empty()) streams[s].indexSource = AviIndexSource::Idx1;
            }
        }
        walkAfterIndexedSamples(tables);

        for (std::size_t s = 0; s < n; ++s) want[s] = tables[s].empty();
        if (std::find(want.begin(), want.end(), true) != want.end()) {
            for (const auto& movi : m_moviLists) {
                if (!walkList(movi.typePos + 4, movi.end, 0, tables,
                              [&want](std::size_t s, std::uint64_t) { return want[s]; })) {
                    break;
                }
            }
            for (std::size_t s = 0; s < n; ++s) {
                if (want[s] && !tables[s].empty()) streams[s].indexSource = AviIndexSource::MoviWalk;
            }
        }

        for (std::size_t s = 0; s < n; ++s) {
            streams[s].samples = std::move(tables[s]);
            streams[s].samples.shrink_to_fit();
            streams[s].droppedEntries = dropped[s];
            std::uint64_t total = 0;
            for (const auto& sample : streams[s].samples) total += sample.size;
            streams[s].totalBytes = total;
        }
    }

    // An index may stop short of the data: idx1 covers the first RIFF form only, and in a truncated file the
    // index of the last movi list (or the end of idx1) is missing while whole chunks are there. Walk the movi
    // data from the end of the last indexed sample on, and append the chunks that lie after each indexed
    // stream's last sample.
    void walkAfterIndexedSamples(std::vector<std::vector<AviSample>>& tables) {
        const std::size_t n = tables.size();
        std::vector<std::uint64_t> lastEnd(n, 0);
        std::optional<std::uint64_t> start;
        for (std::size_t s = 0; s < n; ++s) {
            if (tables[s].empty()) continue;
            // The tables hold increasing chunks: the last sample ends the stream's indexed data, on an even
            // position.
            const AviSample& last = tables[s].back();
            lastEnd[s] = last.offset + last.size;
            const std::uint64_t end = lastEnd[s] + (last.size & 1);
            if (!start || end < *start) start = end;
        }
        if (!start) return;
        const auto accept = [&tables, &lastEnd](std::size_t s, std::uint64_t offset) {
            return !tables[s].empty() && offset - kChunkHeaderBytes >= lastEnd[s];
        };
        bool started = false;
        for (const auto& movi : m_moviLists) {
            if (!started) {
                if (*start < movi.typePos + 4 || *start > movi.end) continue;
                started = true;
                if (!walkList(*start, movi.end, 0, tables, accept)) return;
            } else if (!walkList(movi.typePos + 4, movi.end, 0, tables, accept)) {
                return;
            }
        }
    }

    void readOpenDmlIndex(std::size_t s, std::vector<AviSample>& table, std::size_t& dropped) {
        const Bytes index(m_superIndexes[s]);
        if (index.size() < indx::kHeaderBytes) return;
        const AviIndexHeader header = decodeIndexHeader(index);
        if (header.indexType == kAviIndexOfChunks) {
            // A standard index stored in place of the super index.
            readStandardIndexEntries(s, index, table, dropped);
            return;
        }
        if (header.indexType != kAviIndexOfIndexes || header.longsPerEntry < 4) return;
        const std::size_t stride = std::size_t{header.longsPerEntry} * 4;
        const std::size_t count =
            std::min<std::size_t>(header.entriesInUse, (index.size() - indx::kHeaderBytes) / stride);
        std::unordered_set<std::uint64_t> visited;
        for (std::size_t i = 0; i < count && spendEntry(); ++i) {
            const AviSuperIndexEntry entry =
                decodeSuperIndexEntry(index.subspan(indx::kHeaderBytes + i * stride, stride));
            if (!visited.insert(entry.offset).second) {
                ++dropped;
                continue;
            }
            if (!readStandardIndexChunk(s, entry.offset, entry.size, table, dropped)) ++dropped;
        }
    }

    // Reads the ix## chunk at `pos`, `declaredBytes` long by the super index, with one read when it is at most
    // kIndexBlockBytes long (the rest, if any, in blocks). False when there is no standard index of this
    // stream there.
    bool readStandardIndexChunk(std::size_t s, std::uint64_t pos, std::uint32_t declaredBytes,
                                std::vector<AviSample>& table, std::size_t& dropped) {
        constexpr std::size_t kHeadBytes = kChunkHeaderBytes + indx::kHeaderBytes;
        if (pos > m_fileSize || m_fileSize - pos < kHeadBytes) return false;
        const std::uint64_t wanted = std::clamp<std::uint64_t>(declaredBytes, kHeadBytes, kIndexBlockBytes);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, m_fileSize - pos)));
        bytes.resize(read(pos, bytes));
        if (bytes.size() < kHeadBytes) return false;
        const RiffChunkHeader chunk = decodeChunkHeader(bytes);
        if (standardIndexStreamNumber(chunk.id) != static_cast<int>(s)) return false;
        const std::uint64_t data = pos + kChunkHeaderBytes;
        const std::uint64_t end = data + std::min<std::uint64_t>(chunk.size, m_fileSize - data);
        if (end - data < indx::kHeaderBytes) return false;
        const AviIndexHeader header = decodeIndexHeader(Bytes(bytes).subspan(kChunkHeaderBytes));
        if (header.indexType != kAviIndexOfChunks || header.longsPerEntry < 2) return false;
        const std::size_t stride = std::size_t{header.longsPerEntry} * 4;
        const std::uint64_t room = (end - data - indx::kHeaderBytes) / stride;
        const std::uint64_t count = std::min<std::uint64_t>(header.entriesInUse, room);
        const std::uint64_t base = header.baseOffset;
        const auto add = [&](Bytes entry) { return addStandardEntry(s, base, entry, table, dropped); };
        // The entries already read, then the others.
        const std::uint64_t inMemory = std::min<std::uint64_t>(count, (bytes.size() - kHeadBytes) / stride);
        for (std::uint64_t i = 0; i < inMemory; ++i) {
            if (!add(Bytes(bytes).subspan(kHeadBytes + static_cast<std::size_t>(i) * stride, stride))) return true;
        }
        forEachRecord(data + indx::kHeaderBytes + inMemory * stride, count - inMemory, stride, add,
                      [&dropped](std::uint64_t copies) { dropped += static_cast<std::size_t>(copies); });
        return true;
    }

    // The entries of a standard index whose data (header included) is in memory.
    void readStandardIndexEntries(std::size_t s, Bytes index, std::vector<AviSample>& table,
                                  std::size_t& dropped) {
        const AviIndexHeader header = decodeIndexHeader(index);
        if (header.longsPerEntry < 2) return;
        const std::size_t stride = std::size_t{header.longsPerEntry} * 4;
        const std::size_t count =
            std::min<std::size_t>(header.entriesInUse, (index.size() - indx::kHeaderBytes) / stride);
        const std::uint64_t base = header.baseOffset;
        for (std::size_t i = 0; i < count; ++i) {
            if (!addStandardEntry(s, base, index.subspan(indx::kHeaderBytes + i * stride, stride), table,
                                  dropped)) {
                return;
            }
        }
    }

    // One ix## entry: data at base + dwOffset; bit 31 of dwSize set marks a frame that is not a key frame.
    bool addStandardEntry(std::size_t s, std::uint64_t base, Bytes entry, std::vector<AviSample>& table,
                          std::size_t& dropped) {
        if (!spendEntry()) return false;
        const AviStandardIndexEntry decoded = decodeStandardIndexEntry(entry);
        if (base > std::numeric_limits<std::uint64_t>::max() - decoded.offset) {
            ++dropped;
            return true;
        }
        addIndexed(s, {base + decoded.offset, decoded.size, decoded.keyFrame}, table, dropped);
        return true;
    }

    void readIdx1(const std::vector<bool>& want, std::vector<std::vector<AviSample>>& tables,
                  std::vector<std::size_t>& dropped) {
        const ChunkInfo& idx1 = *m_idx1;
        const std::uint64_t count = (idx1.end - idx1.data) / idx1::kEntryBytes;
        const std::size_t streamCount = tables.size();
        const std::uint64_t base = idx1Base(idx1, count, streamCount);
        forEachRecord(
            idx1.data, count, idx1::kEntryBytes,
            [&](Bytes bytes) {
                const AviIdx1Entry entry = decodeIdx1Entry(bytes);
                const int number = sampleStreamNumber(entry.chunkId);
                // "rec " lists, ix## chunks and palette changes have entries too: they are not samples.
                if (number < 0) return true;
                if (!spendEntry()) return false;
                const auto s = static_cast<std::size_t>(number);
                if (s >= streamCount || !want[s]) return true;
                const std::uint64_t headerPos = base + entry.offset;
                addIndexed(s, {headerPos + kChunkHeaderBytes, entry.size, (entry.flags & kAviIdx1KeyFrame) != 0},
                           tables[s], dropped[s]);
                return true;
            },
            // Zero entries (a hole) have no stream id: they are no samples.
            [](std::uint64_t) {});
    }

    // idx1 offsets count from the "movi" list type of the first form, or (some writers) from the start of the
    // file. The first entries that point at their own chunk under one reading decide; relative by default.
    std::uint64_t idx1Base(const ChunkInfo& idx1, std::uint64_t count, std::size_t streamCount) {
        std::uint64_t relativeBase = 0;
        bool haveMovi = false;
        for (const auto& movi : m_moviLists) {
            if (movi.form == 0) {
                relativeBase = movi.typePos;
                haveMovi = true;
                break;
            }
        }
        std::uint64_t base = haveMovi ? relativeBase : 0;
        int probed = 0;
        const std::uint64_t records = std::min<std::uint64_t>(count, kIdx1ProbeRecords);
        const auto probe = [&](Bytes bytes) {
            const AviIdx1Entry entry = decodeIdx1Entry(bytes);
            const FourCC id = entry.chunkId;
            const int number = sampleStreamNumber(id);
            if (number < 0 || static_cast<std::size_t>(number) >= streamCount) return true;
            const std::uint32_t offset = entry.offset;
            const std::uint32_t size = entry.size;
            const auto sameId = [id](FourCC found) { return found == id; };
            if (chunkMatches(offset, size, sameId)) {
                base = 0;
                return false;
            }
            if (haveMovi && chunkMatches(relativeBase + offset, size, sameId)) {
                base = relativeBase;
                return false;
            }
            return ++probed < kIdx1ProbeEntries;
        };
        forEachRecord(idx1.data, records, idx1::kEntryBytes, probe, [](std::uint64_t) {});
        return base;
    }

    // Appends to the tables the sample chunks of the list from `begin` to `end` (and of its "rec " lists)
    // that `accept(stream, offset)` takes. False when a chunk did not fit in its list: the data stops there
    // (a truncated file), and the walk of later lists is pointless.
    template <typename Accept>
    bool walkList(std::uint64_t begin, std::uint64_t end, int depth,
                  std::vector<std::vector<AviSample>>& tables, const Accept& accept) {
        std::uint64_t pos = begin;
        while (end - pos >= kChunkHeaderBytes) {
            const ChunkInfo c = chunkAt(pos, end);
            // Chunk ids are four printable characters; anything else (the zeros of a hole in a sparse file,
            // garbage) is no chunk, and the data stops there.
            if (!isChunkId(c.id)) return false;
            if (c.isList(kRec)) {
                if (depth < kMaxListDepth && !walkList(c.data + 4, c.end, depth + 1, tables, accept))
                    return false;
            } else {
                const int number = sampleStreamNumber(c.id);
                if (number >= 0 && static_cast<std::size_t>(number) < tables.size() && c.whole &&
                    accept(static_cast<std::size_t>(number), c.data) &&
                    (tables[static_cast<std::size_t>(number)].empty() ||
                     c.data - kChunkHeaderBytes >= tables[static_cast<std::size_t>(number)].back().offset +
                                                       tables[static_cast<std::size_t>(number)].back().size)) {
                    const std::uint32_t size =
                        c.declaredSize > m_maxBytes[static_cast<std::size_t>(number)] ? 0 : c.declaredSize;
                    tables[static_cast<std::size_t>(number)].push_back({c.data, size, true});
                }
            }
            if (!c.whole) return false;
            pos = c.next;
        }
        return true;
    }

    AviDemuxer& m_demuxer;
    const std::uint64_t m_fileSize;
    const std::uint64_t m_entryBudget;
    std::uint64_t m_entriesExamined = 0;
    bool m_hdrlSeen = false;
    std::optional<ChunkInfo> m_idx1;
    std::vector<MoviList> m_moviLists;
    std::vector<std::vector<std::uint8_t>> m_superIndexes;  // per stream: the indx data, empty when none
    // Per stream: whether the chunk header of the table's last sample was checked (0 not yet, 1 it matches,
    // 2 it does not).
    std::vector<std::uint8_t> m_lastChecked;
    std::vector<std::uint32_t> m_maxBytes;  // per stream: AviStream::maxSampleBytes()
};

AviDemuxer::AviDemuxer(const std::string& path) : m_file(path, BinaryFile::Mode::Read) {
    Parser(*this).run();
}

AviDemuxer::AviDemuxer(AviDemuxer&& other) noexcept
    : m_file(std::move(other.m_file)),
      m_isAvi(other.m_isAvi),
      m_hasMainHeader(other.m_hasMainHeader),
      m_mainHeader(other.m_mainHeader),
      m_odmlTotalFrames(other.m_odmlTotalFrames),
      m_riffFormCount(other.m_riffFormCount),
      m_streams(std::move(other.m_streams)),
      m_bytesRead(other.m_bytesRead.load(std::memory_order_relaxed)),
      m_refusedSamples(other.m_refusedSamples.load(std::memory_order_relaxed)) {}

AviDemuxer& AviDemuxer::operator=(AviDemuxer&& other) noexcept {
    if (this != &other) {
        m_file = std::move(other.m_file);
        m_isAvi = other.m_isAvi;
        m_hasMainHeader = other.m_hasMainHeader;
        m_mainHeader = other.m_mainHeader;
        m_odmlTotalFrames = other.m_odmlTotalFrames;
        m_riffFormCount = other.m_riffFormCount;
        m_streams = std::move(other.m_streams);
        m_bytesRead.store(other.m_bytesRead.load(std::memory_order_relaxed), std::memory_order_relaxed);
        m_refusedSamples.store(other.m_refusedSamples.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
    return *this;
}

AviDemuxer::~AviDemuxer() = default;

const AviStream* AviDemuxer::firstStream(AviStreamKind kind) const {
    for (const auto& stream : m_streams) {
        if (stream.kind() == kind) return &stream;
    }
    return nullptr;
}

std::size_t AviDemuxer::readAt(std::uint64_t offset, MutableBytes buffer) const {
    const std::size_t got = m_file.readAt(offset, buffer);
    m_bytesRead.fetch_add(got, std::memory_order_relaxed);
    return got;
}

std::size_t AviDemuxer::readChecked(std::size_t stream, std::size_t index, MutableBytes data) const {
    const AviSample& sample = m_streams[stream].samples[index];
    std::array<std::uint8_t, chunkhead::kBytes> head{};
    // The sample's offset was checked to be at least 8 when the table was built.
    const std::size_t got = m_file.readAt(sample.offset - head.size(), head, data);
    m_bytesRead.fetch_add(got, std::memory_order_relaxed);
    if (got < head.size()) return 0;
    const RiffChunkHeader header = decodeChunkHeader(head);
    if (sampleStreamNumber(header.id) != m_streams[stream].number || header.size != sample.size) {
        m_refusedSamples.fetch_add(1, std::memory_order_relaxed);
        return kRefused;
    }
    return got - head.size();
}

bool AviDemuxer::readSample(std::size_t stream, std::size_t index, std::vector<std::uint8_t>& out) const {
    if (stream >= m_streams.size() || index >= m_streams[stream].samples.size()) {
        out.clear();
        return false;
    }
    // Resized, not cleared first: a buffer reused for samples of one size is not zeroed again before the read
    // fills it.
    out.resize(m_streams[stream].samples[index].size);
    if (readChecked(stream, index, out) != out.size()) {
        out.clear();
        return false;
    }
    return true;
}

std::size_t AviDemuxer::readSamplePrefix(std::size_t stream, std::size_t index, MutableBytes buffer) const {
    if (stream >= m_streams.size() || index >= m_streams[stream].samples.size()) return 0;
    const AviSample& sample = m_streams[stream].samples[index];
    const std::size_t got = readChecked(stream, index, buffer.first(std::min<std::size_t>(buffer.size(), sample.size)));
    return got == kRefused ? 0 : got;
}

void AviDemuxer::willReadInOrder() const { m_file.willReadInOrder(); }

}  // namespace moraven
