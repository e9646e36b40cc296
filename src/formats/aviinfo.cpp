#include "formats/aviinfo.h"

#include <algorithm>

#include "formats/binary_file.h"

namespace moraven {

namespace {

constexpr FourCC kRiff = FourCC::of("RIFF");
constexpr FourCC kList = FourCC::of("LIST");
constexpr FourCC kHdrl = FourCC::of("hdrl");
constexpr FourCC kMovi = FourCC::of("movi");
constexpr FourCC kStrl = FourCC::of("strl");
constexpr FourCC kOdml = FourCC::of("odml");
constexpr FourCC kAvih = FourCC::of("avih");
constexpr FourCC kStrh = FourCC::of("strh");
constexpr FourCC kStrf = FourCC::of("strf");
constexpr FourCC kIndx = FourCC::of("indx");
constexpr FourCC kDmlh = FourCC::of("dmlh");

// The head of an OpenDML super index ("indx"): its header and room for four entries.
constexpr std::uint32_t kIndexHeadBytes = indx::kHeaderBytes + 4 * indx::kSuperEntryBytes;
static_assert(kIndexHeadBytes == 88);
constexpr std::uint32_t kDmlhBytes = dmlh::kBytes;

// Both "AVI " and the OpenDML continuation form "AVIX" begin with these three characters.
bool isAviForm(FourCC form) {
    return form.charAt(0) == 'A' && form.charAt(1) == 'V' && form.charAt(2) == 'I';
}

// Moves past `count` bytes that the walk reads and does not keep. Succeeds when the file holds them all;
// otherwise the read comes up short, which leaves the position at the end of the file. Nothing is
// allocated for the bytes, whatever size the file declares.
bool consume(BinaryFile& file, std::uint64_t count) {
    const std::uint64_t end = file.size();
    const std::int64_t at = file.position();
    const std::uint64_t position = at > 0 ? static_cast<std::uint64_t>(at) : 0;
    if (position >= end || count > end - position) {
        if (position < end) file.seek(static_cast<std::int64_t>(end));
        return false;
    }
    file.skip(static_cast<std::int64_t>(count));
    return true;
}

// Reads exactly bytes.size() bytes. A read that comes up short has met the end of the file, and leaves
// the position there: no later read in the walk can succeed.
bool readBytes(BinaryFile& file, MutableBytes bytes) {
    const std::int64_t start = file.position();
    if (file.readExact(bytes)) return true;
    file.seek(std::max(start, static_cast<std::int64_t>(file.size())));
    return false;
}

}  // namespace

TFriendlyAviParam::TFriendlyAviParam(const std::string& path) {
    BinaryFile file(path, BinaryFile::Mode::Read);
    try {
        // The top-level count is 64-bit: a RIFF form must fit whole in what is left of the file.
        std::uint64_t remaining = file.size();
        while (remaining >= 8) {
            if (!readChunkHeader(file)) {
                m_ok = false;
                break;
            }
            const std::uint64_t occupied = std::uint64_t{m_chunkSize} + 8;
            // A later form cut short leaves the verdict of the forms before it.
            const bool cutShort = occupied > remaining;
            if (cutShort && m_ok) break;
            // Anything after the last form (trailing bytes) leaves the verdict of the forms before it.
            if (m_chunkId != kRiff || m_chunkSize < 4) break;
            // The first form cut short (a recording that stopped): readable when what is there walks cleanly
            // up to its frames, whose whole ones the demuxer reads.
            const std::uint32_t content =
                cutShort ? static_cast<std::uint32_t>(remaining > 12 ? remaining - 12 : 0) : m_chunkSize - 4;
            m_moviReached = false;
            if (!readListType(file) || !isAviForm(m_listType) || !walkForm(file, content) ||
                (cutShort && !m_moviReached)) {
                m_ok = false;
                break;
            }
            m_ok = true;
            if (cutShort) break;
            remaining -= occupied;
        }
    } catch (const FileError&) {
        // An I/O error in the middle of the walk: the file is not readable.
        m_ok = false;
    }
}

std::string TFriendlyAviParam::codecCode() const {
    if (m_videoStream < 0 || static_cast<std::size_t>(m_videoStream) >= m_streams.size()) return "####";
    return m_streams[static_cast<std::size_t>(m_videoStream)].fccHandler().text();
}

// Chunks start at even file positions: a chunk of odd size is followed by one pad byte.
bool TFriendlyAviParam::readChunkHeader(BinaryFile& file) {
    if (file.position() % 2 != 0) file.skip(1);
    std::uint8_t bytes[chunkhead::kBytes];
    if (!readBytes(file, bytes)) return false;
    const RiffChunkHeader header = decodeChunkHeader(bytes);
    m_chunkId = header.id;
    m_chunkSize = header.size;
    return true;
}

bool TFriendlyAviParam::readListType(BinaryFile& file) {
    std::uint8_t bytes[4];
    if (!readBytes(file, bytes)) return false;
    m_listType = FourCC::at(bytes, 0);
    return true;
}

// The counts of the inner walks are unsigned 32-bit and are not checked against the size of the list
// around them: a chunk larger than what is left of its list makes the count wrap, and the walk then goes
// on past the list's end. Every round reads an 8-byte header and no skip moves backwards, so the position
// only grows, and the walk ends at the latest when a header can no longer be read.
bool TFriendlyAviParam::walkForm(BinaryFile& file, std::uint32_t left) {
    while (left >= 8) {
        // The file ending here is no fault of the form: what was there walked cleanly.
        if (!readChunkHeader(file)) return true;
        const std::uint32_t size = m_chunkSize;
        left -= size + 8;
        if (m_chunkId == kList) {
            if (!readListType(file)) return false;
            if (m_listType == kMovi) m_moviReached = true;
            if (m_listType == kHdrl) {
                if (!walkHeaderList(file, size - 4)) return false;
            } else {
                // "movi" and any other list: its content is not looked at.
                file.skip(size - 4);
            }
        } else {
            // "idx1" and any other chunk.
            file.skip(size);
        }
    }
    return true;
}

bool TFriendlyAviParam::walkHeaderList(BinaryFile& file, std::uint32_t left) {
    while (left >= 8) {
        if (!readChunkHeader(file)) return false;
        const std::uint32_t size = m_chunkSize;
        left -= size + 8;
        if (m_chunkId == kAvih) {
            if (!consume(file, size)) return false;
        } else if (m_chunkId == kList) {
            if (!readListType(file)) return false;
            // The results of the stream and OpenDML walks do not count: a damaged stream list leaves the
            // file position where it stopped, and the header walk goes on from there.
            if (m_listType == kStrl) {
                walkStreamList(file, size - 4);
            } else if (m_listType == kOdml) {
                walkOdmlList(file, size - 4);
            } else {
                file.skip(size - 4);
            }
        } else {
            file.skip(size);
        }
    }
    return true;
}

bool TFriendlyAviParam::walkStreamList(BinaryFile& file, std::uint32_t left) {
    const bool kept = m_streams.size() < kMaxStreams;
    if (kept) m_streams.emplace_back();
    const std::size_t index = m_streams.size() - 1;
    while (left >= 8) {
        if (!readChunkHeader(file)) return false;
        const std::uint32_t size = m_chunkSize;
        left -= size + 8;
        if (m_chunkId == kStrh) {
            // Writers differ in the length of the stream header (56 or 64 bytes); the fields used here are
            // in the first 56, and whatever follows is skipped so that the next chunk is read in step.
            const std::uint32_t taken = std::min<std::uint32_t>(size, strh::kBytes);
            std::array<std::uint8_t, strh::kBytes> bytes{};
            if (!readBytes(file, MutableBytes(bytes.data(), taken))) return false;
            file.skip(size - taken);
            if (!kept) continue;
            TAvistream& stream = m_streams[index];
            stream.header = decodeStreamHeader(Bytes(bytes).first(taken));
            const FourCC type = stream.fccType();
            if (m_videoStream < 0 && (type == FourCC::of("vids") || type == FourCC::of("iavs"))) {
                m_videoStream = static_cast<std::int32_t>(index);
            }
        } else if (m_chunkId == kStrf) {
            if (!consume(file, size)) return false;
        } else if (m_chunkId == kIndx) {
            const std::uint32_t taken = std::min(size, kIndexHeadBytes);
            if (!consume(file, taken)) return false;
            file.skip(size - taken);
        } else {
            file.skip(size);
        }
    }
    return true;
}

bool TFriendlyAviParam::walkOdmlList(BinaryFile& file, std::uint32_t left) {
    while (left >= 8) {
        if (!readChunkHeader(file)) return false;
        const std::uint32_t size = m_chunkSize;
        left -= size + 8;
        if (m_chunkId == kDmlh) {
            const std::uint32_t taken = std::min(size, kDmlhBytes);
            if (!consume(file, taken)) return false;
            file.skip(size - taken);
        } else {
            file.skip(size);
        }
    }
    return true;
}

}  // namespace moraven
