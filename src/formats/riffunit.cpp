#include "formats/riffunit.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "formats/avi_headers.h"
#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/date_format.h"
#include "formats/fourcc.h"
#include "formats/media_type.h"
#include "formats/program_info.h"
#include "formats/replace_file.h"

namespace moraven {

namespace {

constexpr auto kChunkHeaderBytes = static_cast<std::int64_t>(chunkhead::kBytes);  // id and 32-bit size
constexpr std::int64_t kListTypeBytes = 4;
// An index chunk is read as a block of this many bytes, of which only the OpenDML index header is decoded.
constexpr std::int64_t kIndexReadBytes = 16384;

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


std::string indent(int depth) { return std::string(4 * static_cast<std::size_t>(depth), ' '); }

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The trailer names the file by its full path whatever form it was given in: a relative path is taken from
// the working folder, without its leading "./" steps. Symbolic links are not resolved.
std::string absolutePathText(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::string_view relative = path;
    while (relative.substr(0, 2) == "./") relative.remove_prefix(2);
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error) return path;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + std::string(relative);
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
    if (type == kMediaTypeVideo) return RiffReportBuilder::StreamKind::Video;
    if (type == kMediaTypeAudio) return RiffReportBuilder::StreamKind::Audio;
    if (type == kMediaTypeInterleaved) return RiffReportBuilder::StreamKind::Interleaved;
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
    addCentered("", ' ', absolutePathText(path));
    addLine("");
    addLine(std::string(kLineWidth, '-'));
    return m_lines;
}

std::int64_t RiffReportBuilder::ReportChunk(BinaryFile& file, int depth, bool topLevel) {
    if (m_pump) m_pump();
    if (m_cancel.load()) return 0;

    std::array<std::uint8_t, chunkhead::kBytes> header{};
    if (!readField(file, header)) return 0;
    const RiffChunkHeader decoded = decodeChunkHeader(header);
    const FourCC id = decoded.id;
    const std::uint32_t declaredSize = decoded.size;

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
        std::array<std::uint8_t, strh::kBytes> bytes{};
        if (!readField(file, bytes)) return result;
        size -= static_cast<std::int64_t>(bytes.size());
        const AviStreamHeader h = decodeStreamHeader(bytes);
        m_lastStream = streamKindOf(h.type);
        addLine("");
        addTitle(depth, streamTitle(m_lastStream));
        addTitle(depth, "Start of AVI Stream Header");
        addField(depth, "FourccType = ", h.type.text());
        addField(depth, "FourccHandler = ", h.handler.text());
        addField(depth, "Flags = ", hex(h.flags, 8));
        addField(depth, "Priority = ", dec(h.priority));
        addField(depth, "Language = ", hex(h.language, 4));
        addField(depth, "InitialFrames = ", dec(h.initialFrames));
        addField(depth, "Scale = ", dec(h.scale));
        addField(depth, "Rate = ", dec(h.rate));
        addField(depth, "Start = ", dec(h.start));
        addField(depth, "Length = ", dec(h.length));
        addField(depth, "SuggestedBufferSize = ", dec(h.suggestedBufferSize));
        addField(depth, "Quality = ", hex(h.quality, 8));
        addField(depth, "SampleSize = ", dec(h.sampleSize));
        addField(depth, "rcFrame.Left = ", signedDec(h.frameLeft));
        addField(depth, "rcFrame.Top = ", signedDec(h.frameTop));
        addField(depth, "rcFrame.Right = ", signedDec(h.frameRight));
        addField(depth, "rcFrame.Bottom = ", signedDec(h.frameBottom));
        addTitle(depth, "End of AVI Stream Header");
        addLine("");
    } else if (id == FourCC::of("avih")) {
        addLine("");
        addTitle(depth, " Start of AVI Main Header ");
        std::array<std::uint8_t, avih::kBytes> bytes{};
        if (!readField(file, bytes)) return result;
        size -= static_cast<std::int64_t>(bytes.size());
        const AviMainHeader h = decodeMainHeader(bytes);
        addField(depth, "MicroSecPerFrame = ", dec(h.microSecPerFrame));
        addField(depth, "MaxBytesPerSec = ", dec(h.maxBytesPerSec));
        addField(depth, "PaddingGranularity = ", dec(h.paddingGranularity));
        addField(depth, "Flags = ", hex(h.flags, 8));
        addField(depth, "TotalFrames = ", dec(h.totalFrames));
        addField(depth, "InitialFrames = ", dec(h.initialFrames));
        addField(depth, "Streams = ", dec(h.streams));
        addField(depth, "SuggestedBufferSize = ", dec(h.suggestedBufferSize));
        addField(depth, "Width = ", dec(h.width));
        addField(depth, "Height = ", dec(h.height));
        static constexpr const char* kReservedLabels[] = {"Reserved0 = ", "Reserved1 = ", "Reserved2 = ",
                                                          "Reserved3 = "};
        for (std::size_t i = 0; i < h.reserved.size(); ++i) addField(depth, kReservedLabels[i], hex(h.reserved[i], 8));
        addTitle(depth, " End of Main Header ");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Video) {
        addLine("");
        addTitle(depth, "Start of Stream Format Header");
        std::array<std::uint8_t, bmih::kBytes> bytes{};
        if (!readField(file, bytes)) return result;
        size -= static_cast<std::int64_t>(bytes.size());
        const BitmapHeader bi = decodeBitmapHeader(bytes);
        addField(depth, "biSize = ", dec(bi.size));
        addField(depth, "biWidth = ", signedDec(bi.width));
        addField(depth, "biHeight = ", signedDec(bi.height));
        addField(depth, "biPlanes = ", dec(bi.planes));
        addField(depth, "biBitCount = ", dec(bi.bitCount));
        addField(depth, "biCompression = ", bi.compression.text());
        addField(depth, "biSizeImage = ", dec(bi.sizeImage));
        addField(depth, "biXPelsPerMeter = ", signedDec(bi.xPelsPerMeter));
        addField(depth, "biYPelsPerMeter = ", signedDec(bi.yPelsPerMeter));
        addField(depth, "biClrUsed = ", dec(bi.clrUsed));
        addField(depth, "biClrImportant = ", dec(bi.clrImportant));
        // A DV video format carries the DV information block right after the bitmap header.
        if (size > 31 && isDvCompression(bi.compression)) {
            addTitle(depth, "Start of DVInfo");
            std::array<std::uint8_t, kDvInfoBytes> dv{};
            if (!readField(file, dv)) return result;
            size -= static_cast<std::int64_t>(dv.size());
            addDvLines(depth, decodeDvInfo(dv));
            addTitle(depth, "End of DVINfo");
        }
        addTitle(depth, "End of AVI Stream Format");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Audio) {
        addLine("");
        addTitle(depth, "Start of Stream Format Header");
        std::array<std::uint8_t, wavefmt::kExBytes> bytes{};
        if (!readField(file, bytes)) return result;
        size -= static_cast<std::int64_t>(bytes.size());
        const WaveFormat wf = *WaveFormat::decode(bytes);  // 18 bytes: always a wave format
        addField(depth, "FormatTag = ", dec(wf.formatTag));
        addField(depth, "Channels = ", dec(wf.channels));
        addField(depth, "SamplesPerSec = ", dec(wf.samplesPerSecond));
        addField(depth, "AvgBytesPerSec = ", dec(wf.averageBytesPerSecond));
        addField(depth, "BlockAlign = ", dec(wf.blockAlign));
        addField(depth, "BitsPerSample = ", dec(wf.bitsPerSample));
        addField(depth, "cbSize = ", dec(wf.extraSize));
        addTitle(depth, "End of AVI Stream Format");
        addLine("");
    } else if (id == FourCC::of("strf") && m_lastStream == StreamKind::Interleaved) {
        addLine("");
        addTitle(depth, "Start of DVInfo");
        std::array<std::uint8_t, kDvInfoBytes> dv{};
        if (!readField(file, dv)) return result;
        size -= static_cast<std::int64_t>(dv.size());
        addDvLines(depth, decodeDvInfo(dv));
        addTitle(depth, "End of DVINfo");
        addLine("");
    } else if (isIndexChunk(id)) {
        // OpenDML index header; the entries that follow are not listed.
        std::array<std::uint8_t, indx::kHeaderBytes> bytes{};
        if (!readFieldPrefix(file, bytes, kIndexReadBytes)) return result;
        size -= kIndexReadBytes;
        const AviIndexHeader ix = decodeIndexHeader(bytes);
        addLine("");
        addTitle(depth, "Start of an Index");
        addField(depth, "wLongsPerEntry = ", hex(ix.longsPerEntry, 4));
        addField(depth, "bIndexSubType = ", dec(ix.indexSubType));
        addField(depth, "bIndexType = ", dec(ix.indexType));
        addField(depth, "nEntriesInUse = ", hex(ix.entriesInUse, 8));
        addField(depth, "dwChunkId = ", ix.chunkId.text());
        addField(depth, "qwBaseOffset = ", hex(ix.baseOffset, 16));
        addField(depth, "dwReserved_3 = ", hex(ix.reserved, 8));
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

void RiffReportBuilder::addDvLines(int depth, const DvInfo& dvInfo) {
    static constexpr const char* kLabels[] = {
        "DVAAuxSrc = ", "DVAAuxCtl = ", "DVAAuxSrc1 = ",  "DVAAuxCtl1 = ",
        "DVVAuxSrc = ", "DVVAuxCtl = ", "DVReserved0 = ", "DVReserved1 = "};
    const auto words = dvInfo.words();
    for (std::size_t i = 0; i < words.size(); ++i) addField(depth, kLabels[i], hex(words[i], 8));
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
