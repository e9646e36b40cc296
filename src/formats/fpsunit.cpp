#include "formats/fpsunit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "formats/avi_headers.h"
#include "formats/binary_file.h"
#include "formats/media_type.h"
#include "formats/wave_format.h"

namespace moraven {

namespace {

constexpr FourCC kRiff = FourCC::of("RIFF");
constexpr FourCC kList = FourCC::of("LIST");
constexpr FourCC kMovi = FourCC::of("movi");
constexpr FourCC kStrh = FourCC::of("strh");
constexpr FourCC kAvih = FourCC::of("avih");
constexpr FourCC kStrf = FourCC::of("strf");

// A stream header must hold fccType through dwRate for its fields to be patched inside the chunk.
constexpr std::uint32_t kPatchedFieldsEnd = strh::kRate + 4;
static_assert(kPatchedFieldsEnd == 28);

// Writes `bytes` at `offset`, refusing to write anything if the file no longer holds the field whole
// (it may have changed since the walk): a patch never grows a file.
void writeField(BinaryFile& file, std::uint64_t offset, Bytes bytes) {
    if (offset > file.size() || bytes.size() > file.size() - offset) {
        throw FileError(FileErrorCode::WriteFailed, file.path(), 0);
    }
    file.seek(static_cast<std::int64_t>(offset));
    file.write(bytes);
}

}  // namespace

AviHeaderPatcher::AviHeaderPatcher(MessagePump pumpMessages) : m_pumpMessages(std::move(pumpMessages)) {}

std::uint32_t AviHeaderPatcher::scaleForFrameRate(double framesPerSecond) {
    if (!std::isfinite(framesPerSecond) || framesPerSecond <= 0) {
        throw std::invalid_argument("the frame rate must be a positive number");
    }
    const double exact = static_cast<double>(kRate) / framesPerSecond;
    if (!std::isfinite(exact)) throw std::invalid_argument("the frame rate is too small");
    // Round to nearest with halves to even, whatever rounding mode the floating-point unit is in.
    const double whole = std::floor(exact);
    const double fraction = exact - whole;
    double rounded = whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) rounded = whole + 1;
    if (rounded < 1) throw std::invalid_argument("the frame rate is too large");
    if (rounded > 4294967295.0) throw std::invalid_argument("the frame rate is too small");
    return static_cast<std::uint32_t>(rounded);
}

void AviHeaderPatcher::LocateVideoHeader(const std::string& path) {
    m_handlerOffset.reset();
    m_scaleOffset.reset();
    m_shortRead = false;
    m_streamType = FourCC();
    if (!fileExists(path)) return;
    BinaryFile file(path, BinaryFile::Mode::Read);
    auto remaining = static_cast<std::int64_t>(file.size());
    while (remaining > 0) {
        const std::int64_t occupied = VisitChunk(file, true, 0);
        // 8 is a top-level chunk that is not a RIFF form, or an empty one: the forms have ended.
        if (m_shortRead || occupied == 8) break;
        remaining -= occupied;
    }
}

bool AviHeaderPatcher::readFully(BinaryFile& file, std::uint8_t* bytes, std::size_t count) {
    if (file.readExact(MutableBytes(bytes, count))) return true;
    m_shortRead = true;
    return false;
}

// Visits the chunk at the file position and returns the bytes it occupies: its size (made even for the
// pad byte, and cut to what the file holds) plus the 8 bytes of its header; 0 when its header cannot be
// read. Unless a read comes up short or a child overruns this list, the position ends at the chunk's end
// as that size says, so every call moves at least 8 bytes forward and every walk ends.
std::int64_t AviHeaderPatcher::VisitChunk(BinaryFile& file, bool topLevel, int depth) {
    if (m_pumpMessages) m_pumpMessages();
    const std::int64_t chunkStart = file.position();
    std::uint8_t head[chunkhead::kBytes];
    if (!readFully(file, head, sizeof head)) return 0;
    const RiffChunkHeader chunkHeader = decodeChunkHeader(head);
    const FourCC id = chunkHeader.id;
    if (topLevel && id != kRiff) return 8;

    const std::uint32_t declared = chunkHeader.size;
    std::int64_t size = std::int64_t{declared} + (declared & 1);
    const std::int64_t dataStart = chunkStart + 8;
    const std::int64_t leftInFile =
        std::max<std::int64_t>(static_cast<std::int64_t>(file.size()) - dataStart, 0);
    if (size > leftInFile) size = leftInFile;
    const std::int64_t occupied = size + 8;
    if (size == 0) return occupied;
    const std::int64_t dataEnd = dataStart + size;

    if (id == kRiff || id == kList) {
        std::uint8_t type[4];
        if (!readFully(file, type, sizeof type)) return occupied;
        size -= 4;
        // The movi list holds the media data only: it is not walked, which also keeps the walk short.
        if (FourCC::at(type, 0) != kMovi && depth < kMaxListDepth) {
            while (size > 7) {
                const std::int64_t child = VisitChunk(file, false, depth + 1);
                if (m_shortRead || child > size) return occupied;
                size -= child;
            }
        }
    } else if (id == kStrh) {
        std::uint8_t header[strh::kBytes];
        if (!readFully(file, header, sizeof header)) return occupied;
        m_streamType = decodeStreamHeader(header).type;
        if ((m_streamType == kMediaTypeVideo || m_streamType == kMediaTypeInterleaved) &&
            declared >= kPatchedFieldsEnd) {
            const auto start = static_cast<std::uint64_t>(dataStart);
            m_handlerOffset = start + strh::kHandler;
            m_scaleOffset = start + strh::kScale;
        }
    } else if (id == kAvih) {
        std::uint8_t header[avih::kBytes];
        if (!readFully(file, header, sizeof header)) return occupied;
    } else if (id == kStrf) {
        // Read as far as the format of the stream type met last goes.
        std::uint8_t format[bmih::kBytes];
        if (m_streamType == kMediaTypeVideo) {
            if (!readFully(file, format, bmih::kBytes)) return occupied;
            // A DV video format carries the DV information block after the bitmap header.
            const std::int64_t after = size - std::int64_t{bmih::kBytes};
            if (isDvCompression(decodeBitmapHeader(format).compression) && after >= std::int64_t{kDvInfoBytes}) {
                if (!readFully(file, format, kDvInfoBytes)) return occupied;
            }
        } else if (m_streamType == kMediaTypeAudio) {
            if (!readFully(file, format, wavefmt::kExBytes)) return occupied;
        } else if (m_streamType == kMediaTypeInterleaved) {
            if (!readFully(file, format, kDvInfoBytes)) return occupied;
        }
    }
    // Index chunks ("indx", "ix##", "idx1") and all others are passed over whole: their entries are not
    // needed to find the stream headers. Reads of fixed-size structures above may have run past a short
    // chunk: either way the chunk ends where its size says.
    file.seek(dataEnd);
    return occupied;
}

std::optional<std::uint32_t> AviHeaderPatcher::GetVideoCodec(const std::string& path) {
    LocateVideoHeader(path);
    if (!m_handlerOffset) return std::nullopt;
    BinaryFile file(path, BinaryFile::Mode::Read);
    file.seek(static_cast<std::int64_t>(*m_handlerOffset));
    std::uint8_t code[4];
    if (!file.readExact(code)) throw FileError(FileErrorCode::ReadFailed, path, 0);
    return u32le(code, 0);
}

bool AviHeaderPatcher::SetVideoCodec(const std::string& path, std::uint32_t code) {
    try {
        LocateVideoHeader(path);
        if (!m_handlerOffset) return false;
        BinaryFile file(path, BinaryFile::Mode::Write);
        writeField(file, *m_handlerOffset, u32leBytes(code));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void AviHeaderPatcher::SetFrameRate(const std::string& path, double framesPerSecond) {
    const std::uint32_t scale = scaleForFrameRate(framesPerSecond);
    LocateVideoHeader(path);
    if (!m_scaleOffset) return;
    BinaryFile file(path, BinaryFile::Mode::ReadWrite);
    // dwScale and dwRate are neighbours: one write of both.
    std::array<std::uint8_t, strh::kRate + 4 - strh::kScale> fields{};
    putU32le(fields, 0, scale);
    putU32le(fields, strh::kRate - strh::kScale, kRate);
    writeField(file, *m_scaleOffset, fields);
}

}  // namespace moraven
