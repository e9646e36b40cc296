#include "formats/riffunit.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/date_format.h"
#include "formats/fourcc.h"
#include "formats/program_info.h"
#include "formats/replace_file.h"

namespace moraven {

namespace {

constexpr std::int64_t kChunkHeaderBytes = 8;  // id and 32-bit size
constexpr std::int64_t kListTypeBytes = 4;
constexpr std::size_t kMainHeaderBytes = 56;    // AVIMAINHEADER without its chunk header
constexpr std::size_t kStreamHeaderBytes = 56;  // AVISTREAMHEADER without its chunk header
constexpr std::size_t kBitmapInfoBytes = 40;    // BITMAPINFOHEADER
constexpr std::size_t kWaveFormatBytes = 18;    // WAVEFORMATEX, cbSize included
constexpr std::size_t kDvInfoBytes = 32;        // DVINFO: eight 32-bit words
// An index chunk is read as a block of this many bytes, of which only the OpenDML index header (the first
// 24 bytes) is decoded.
constexpr std::int64_t kIndexReadBytes = 16384;
constexpr std::size_t kIndexHeaderBytes = 24;

constexpr FourCC kRiff = FourCC::of("RIFF");
constexpr FourCC kList = FourCC::of("LIST");
constexpr FourCC kMovi = FourCC::of("movi");

std::string hex(std::uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string dec(std::uint64_t value) { return std::to_string(value); }
std::string signedDec(std::int64_t value) { return std::to_string(value); }

std::string code(Bytes bytes, std::size_t offset) { return FourCC::at(bytes, offset).text(); }

std::string indent(int depth) { return std::string(4 * static_cast<std::size_t>(depth), ' '); }

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Anything at the path counts as existing: a folder or a device is a file that cannot be opened, which the
// open reports, not a missing file.
bool pathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Bytes between the position and the end of the file as it was when opened; 0 when the position is at or
// past that end.
std::int64_t bytesLeft(const BinaryFile& file) {
    const auto size = static_cast<std::int64_t>(file.size());
    return file.position() >= size ? 0 : size - file.position();
}

RiffReportBuilder::StreamKind streamKindOf(FourCC type) {
    if (type == FourCC::of("vids")) return RiffReportBuilder::StreamKind::Video;
    if (type == FourCC::of("auds")) return RiffReportBuilder::StreamKind::Audio;
    if (type == FourCC::of("iavs")) return RiffReportBuilder::StreamKind::Interleaved;
    return RiffReportBuilder::StreamKind::Other;
}

const char* streamTitle(RiffReportBuilder::StreamKind kind) {
    switch (kind) {
        case RiffReportBuilder::StreamKind::Video:
            return "(Video)";
        case RiffReportBuilder::StreamKind::Audio:
            return "(Audio)";
        case RiffReportBuilder::StreamKind::Interleaved:
            return "(Interleaved)";
        case RiffReportBuilder::StreamKind::Other:
            break;
    }
    return "(Unknown)";
}

bool isDvCompression(FourCC compression) {
    const FourCC lower = compression.lowerCase();
    return lower == FourCC::of("dvsd") || lower == FourCC::of("dsvd") || lower == FourCC::of("csvd");
}

bool isIndexChunk(FourCC id) {
    return id == FourCC::of("indx") || (id.charAt(0) == 'i' && id.charAt(1) == 'x');
}

// Frame data inside "movi" lists is never listed line by line.
bool isStreamDataChunk(FourCC id) {
    return id == FourCC::of("01wb") || id == FourCC::of("00dc") || id == FourCC::of("00db");
}

}  // namespace

RiffReportBuilder::RiffReportBuilder(Clock clock, DateFormatLocale locale)
    : m_clock(std::move(clock)), m_locale(std::move(locale)) {}

const std::vector<std::string>& RiffReportBuilder::BuildRiffReport(const std::string& path) {
    m_cancel.store(false);
    m_shortRead = false;
    // The kind of the last stream header belongs to the file being walked: a "strf" that comes before any
    // "strh" is not decoded, whichever file was reported before.
    m_lastStream = StreamKind::Other;
    m_lines.clear();
    m_path = path;
    if (!pathExists(path)) return m_lines;

    const DateTime now = m_clock ? m_clock() : currentDateTime();
    addLine(std::string(kLineWidth, '-'));
    addLine("");
    addCentered("", '*', "  Header of the file " + fileNameOf(path) + "  ");
    addLine("");
    addCentered("", ' ',
                "analysed on " + formatDateTime("yyyy/mm/d", now, m_locale).value_or("N/A") + " at " +
                    formatDateTime("h:mm:ss", now, m_locale).value_or("N/A"));
    addCentered("", ' ',
                std::string("with ") + kProgramName + " by " + kMakerName + " version " + kProgramVersion);
    addLine("");
    addCentered("", ' ', "Visit my website:");
    addCentered("", ' ', kWebsiteAddress);
    addLine("");
    addCentered("", '-', " Start of Avi RIFF ");

    {
        BinaryFile file(path, BinaryFile::Mode::Read);
        // Each top-level chunk takes at least 8 bytes and ReportChunk gives 0 only with the cancel or the
        // short-read flag set, so the walk ends.
        auto remaining = static_cast<std::int64_t>(file.size());
        while (remaining > 0 && !m_cancel.load()) {
            const std::int64_t n = ReportChunk(file, 0, true);
            if (m_shortRead || n == kChunkHeaderBytes) break;
            remaining -= n;
        }
    }

    addLine("");
    if (m_cancel.load()) {
        addCentered("", '-', "Canceled by user");
        addLine("");
    }
    if (m_shortRead) {
        addCentered("", ' ', "Unexpected end");
        addLine("");
    }
    addCentered("", '-', " End of Header ");
    addCentered("", ' ', path);
    addLine("");
    addLine(std::string(kLineWidth, '-'));
    return m_lines;
}

std::int64_t RiffReportBuilder::ReportChunk(BinaryFile& file, int depth, bool topLevel) {
    if (m_pump) m_pump();
    if (m_cancel.load()) return 0;

    std::array<std::uint8_t, kChunkHeaderBytes> header{};
    if (!readField(file, header)) return 0;
    const FourCC id = FourCC::at(header, 0);
    const std::uint32_t declaredSize = u32le(header, 4);

    if (topLevel && id != kRiff) {
        // The count runs from the first byte of this would-be chunk to the end of the file.
        addLine(">>> There are " + hex(static_cast<std::uint64_t>(bytesLeft(file) + kChunkHeaderBytes), 8) +
                " bytes of garbage at the end of the file");
        return kChunkHeaderBytes;
    }

    const std::string pad = indent(depth);
    if (!isStreamDataChunk(id)) addLine(pad + id.text() + "  " + hex(declaredSize, 8));

    // Chunk data is padded to an even length. 64 bits: an odd size of FFFFFFFF becomes 100000000.
    std::int64_t size = declaredSize;
    if (size % 2 != 0) ++size;
    const std::int64_t left = bytesLeft(file);
    if (size > left) {
        addLine(pad + ">>> Bad chunk length:");
        addLine(pad + ">>> " + hex(static_cast<std::uint64_t>(size), 8) + " instead of " +
                hex(static_cast<std::uint64_t>(left), 8));
        size = left;
    }
    // From here on the chunk ends at or before the end of the file.
    const std::int64_t result = size + kChunkHeaderBytes;
    if (size == 0) return result;

    // `size` counts the chunk's bytes not yet consumed. The fixed-size reads below may take more than the
    // chunk holds (they then read the bytes that follow it); `size` goes negative and the final skip moves
    // back to the chunk's end, which lies after its header, so the walk still moves forward.
    if (id == kRiff || id == kList) {
        std::array<std::uint8_t, kListTypeBytes> type{};
        if (!readField(file, type)) return result;
        size -= kListTypeBytes;
        const FourCC listType = FourCC::at(type, 0);
        addLine(pad + listType.text());
        // "movi" holds the frames: skipped whole. Lists nested past the depth cap are skipped the same way,
        // which bounds the recursion whatever the file holds.
        if (listType != kMovi && depth < kMaxListDepth) {
            while (size > 7 && !m_cancel.load() && !m_shortRead) {
                const std::int64_t n = ReportChunk(file, depth + 1, false);
                // A child that runs past this list's end: the walk goes on after the child.
                if (n > size) return result;
                size -= n;
            }
        }
    } else if (id == FourCC::of("strh")) {
        std::array<std::uint8_t, kStreamHeaderBytes> h{};
        if (!readField(file, h)) return result;
        size -= static_cast<std::int64_t>(h.size());
        m_lastStream = streamKindOf(FourCC::at(h, 0));
        addLine("");
        addTitle(depth, streamTitle(m_lastStream));
        addTitle(depth, "Start of AVI Stream Header");
        addField(depth, "FourccType = ", code(h, 0));
        addField(depth, "FourccHandler = ", code(h, 4));
        addField(depth, "Flags = ", hex(u32le(h, 8), 8));
        addField(depth, "Priority = ", dec(u16le(h, 12)));
        addField(depth, "Language = ", hex(u16le(h, 14), 4));
        addField(depth, "InitialFrames = ", dec(u32le(h, 16)));
        addField(depth, "Scale = ", dec(u32le(h, 20)));
        addField(depth, "Rate = ", dec(u32le(h, 24)));
        addField(depth, "Start = ", dec(u32le(h, 28)));
        addField(depth, "Length = ", dec(u32le(h, 32)));
        addField(depth, "SuggestedBufferSize = ", dec(u32le(h, 36)));
        addField(depth, "Quality = ", hex(u32le(h, 40), 8));
        addField(depth, "SampleSize = ", dec(u32le(h, 44)));
        addField(depth, "rcFrame.Left = ", signedDec(s16le(h, 48)));
        addField(depth, "rcFrame.Top = ", signedDec(s16le(h, 50)));
        addField(depth, "rcFrame.Right = ", signedDec(s16le(h, 52)));
        addField(depth, "rcFrame.Bottom = ", signedDec(s16le(h, 54)));
        addTitle(depth, "End of AVI Stream Header");
        addLine("");
    } else if (id == FourCC::of("avih")) {
        addLine("");
        addTitle(depth, " Start of AVI Main Header ");
        std::array<std::uint8_t, kMainHeaderBytes> h{};
        if (!readField(file, h)) return result;
        size -= static_cast<std::int64_t>(h.size());
        addField(depth, "MicroSecPerFrame = ", dec(u32le(h, 0)));
        addField(depth, "MaxBytesPerSec = ", dec(u32le(h, 4)));
        addField(depth, "PaddingGranularity = ", dec(u32le(h, 8)));
        addField(depth, "Flags = ", hex(u32le(h, 12), 8));
        addField(depth, "TotalFrames = ", dec(u32le(h, 16)));
        addField(depth, "InitialFrames = ", dec(u32le(h, 20)));
        addField(depth, "Streams = ", dec(u32le(h, 24)));
        addField(depth, "SuggestedBufferSize = ", dec(u32le(h, 28)));
        addField(depth, "Width = ", dec(u32le(h, 32)));
        addField(depth, "Height = ", dec(u32le(h, 36)));
        addField(depth, "Reserved0 = ", hex(u32le(h, 40), 8));
        addField(depth, "Reserved1 = ", hex(u32le(h, 44), 8));
        addField(depth, "Reserved2 = ", hex(u32le(h, 48), 8));
        addField(depth, "Reserved3 = ", hex(u32le(h, 52), 8));
        addTitle(depth, " End of Main Header ");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Video) {
        addLine("");
        addTitle(depth, "Start of Stream Format Header");
        std::array<std::uint8_t, kBitmapInfoBytes> bi{};
        if (!readField(file, bi)) return result;
        size -= static_cast<std::int64_t>(bi.size());
        addField(depth, "biSize = ", dec(u32le(bi, 0)));
        addField(depth, "biWidth = ", signedDec(s32le(bi, 4)));
        addField(depth, "biHeight = ", signedDec(s32le(bi, 8)));
        addField(depth, "biPlanes = ", dec(u16le(bi, 12)));
        addField(depth, "biBitCount = ", dec(u16le(bi, 14)));
        addField(depth, "biCompression = ", code(bi, 16));
        addField(depth, "biSizeImage = ", dec(u32le(bi, 20)));
        addField(depth, "biXPelsPerMeter = ", signedDec(s32le(bi, 24)));
        addField(depth, "biYPelsPerMeter = ", signedDec(s32le(bi, 28)));
        addField(depth, "biClrUsed = ", dec(u32le(bi, 32)));
        addField(depth, "biClrImportant = ", dec(u32le(bi, 36)));
        // A DV video format carries the DV information block right after the bitmap header.
        if (size > 31 && isDvCompression(FourCC::at(bi, 16))) {
            addTitle(depth, "Start of DVInfo");
            std::array<std::uint8_t, kDvInfoBytes> dv{};
            if (!readField(file, dv)) return result;
            size -= static_cast<std::int64_t>(dv.size());
            addDvLines(depth, dv);
            addTitle(depth, "End of DVINfo");
        }
        addTitle(depth, "End of AVI Stream Format");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Audio) {
        addLine("");
        addTitle(depth, "Start of Stream Format Header");
        std::array<std::uint8_t, kWaveFormatBytes> wf{};
        if (!readField(file, wf)) return result;
        size -= static_cast<std::int64_t>(wf.size());
        addField(depth, "FormatTag = ", dec(u16le(wf, 0)));
        addField(depth, "Channels = ", dec(u16le(wf, 2)));
        addField(depth, "SamplesPerSec = ", dec(u32le(wf, 4)));
        addField(depth, "AvgBytesPerSec = ", dec(u32le(wf, 8)));
        addField(depth, "BlockAlign = ", dec(u16le(wf, 12)));
        addField(depth, "BitsPerSample = ", dec(u16le(wf, 14)));
        addField(depth, "cbSize = ", dec(u16le(wf, 16)));
        addTitle(depth, "End of AVI Stream Format");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Interleaved) {
        addLine("");
        addTitle(depth, "Start of DVInfo");
        std::array<std::uint8_t, kDvInfoBytes> dv{};
        if (!readField(file, dv)) return result;
        size -= static_cast<std::int64_t>(dv.size());
        addDvLines(depth, dv);
        addTitle(depth, "End of DVINfo");
        addLine("");
    } else if (isIndexChunk(id)) {
        // OpenDML index header (AVIMETAINDEX); the entries that follow are not listed.
        std::array<std::uint8_t, kIndexHeaderBytes> ix{};
        if (!readFieldPrefix(file, ix, kIndexReadBytes)) return result;
        size -= kIndexReadBytes;
        addLine("");
        addTitle(depth, "Start of an Index");
        addField(depth, "wLongsPerEntry = ", hex(u16le(ix, 0), 4));
        addField(depth, "bIndexSubType = ", dec(u8(ix, 2)));
        addField(depth, "bIndexType = ", dec(u8(ix, 3)));
        addField(depth, "nEntriesInUse = ", hex(u32le(ix, 4), 8));
        addField(depth, "dwChunkId = ", code(ix, 8));
        addField(depth, "qwBaseOffset = ", hex(u64le(ix, 12), 16));
        addField(depth, "dwReserved_3 = ", hex(u32le(ix, 20), 8));
        addTitle(depth, "End of Index");
        addLine("");
    }

    // Whatever the chunk still holds ("idx1", "JUNK", list padding), or back to its end after a read that
    // took more than the chunk held.
    file.skip(size);
    return result;
}

bool RiffReportBuilder::readField(BinaryFile& file, std::span<std::uint8_t> buffer) {
    if (file.readExact(buffer)) return true;
    m_shortRead = true;
    return false;
}

bool RiffReportBuilder::readFieldPrefix(BinaryFile& file, std::span<std::uint8_t> buffer,
                                        std::int64_t count) {
    // The read counts as complete only when all `count` bytes are in the file; the position then moves
    // past all of them. Nothing past the prefix is copied.
    const auto kept = static_cast<std::int64_t>(buffer.size());
    if (count < kept || bytesLeft(file) < count || !file.readExact(buffer)) {
        m_shortRead = true;
        return false;
    }
    file.skip(count - kept);
    return true;
}

void RiffReportBuilder::addLine(std::string line) {
    // A list box holds each line up to its first NUL byte, and that is what it shows and saves; codes such
    // as an audio stream's empty handler are made of NUL bytes.
    if (const auto nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    m_lines.push_back(std::move(line));
}

void RiffReportBuilder::addCentered(const std::string& prefix, char fill, const std::string& text) {
    // The fill on each side is half of what is left of the line width, rounded toward zero; none when the
    // prefix and the text take the whole width or more.
    const auto room = static_cast<std::int64_t>(kLineWidth) - static_cast<std::int64_t>(prefix.size()) -
                      static_cast<std::int64_t>(text.size());
    const auto pad = static_cast<std::size_t>(room > 0 ? room / 2 : 0);
    std::string line = prefix;
    line.append(pad, fill);
    line += text;
    line.append(pad, fill);
    addLine(std::move(line));
}

void RiffReportBuilder::addTitle(int depth, const std::string& text) {
    addCentered(indent(depth), '-', text);
}

void RiffReportBuilder::addField(int depth, const char* label, const std::string& value) {
    addLine(indent(depth) + label + value);
}

void RiffReportBuilder::addDvLines(int depth, std::span<const std::uint8_t> dvInfo) {
    static constexpr const char* kLabels[] = {
        "DVAAuxSrc = ", "DVAAuxCtl = ", "DVAAuxSrc1 = ",  "DVAAuxCtl1 = ",
        "DVVAuxSrc = ", "DVVAuxCtl = ", "DVReserved0 = ", "DVReserved1 = "};
    std::size_t offset = 0;
    for (const char* label : kLabels) {
        addField(depth, label, hex(u32le(dvInfo, offset), 8));
        offset += 4;
    }
}


void saveRiffReport(const std::vector<std::string>& lines, const std::string& path) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    writeFileAtomically(path, text);
}

}  // namespace moraven
