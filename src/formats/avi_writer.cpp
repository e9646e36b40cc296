#include "formats/avi_writer.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "formats/new_file.h"
#include "formats/riff_write.h"

namespace moraven {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t kMoviAlignment = 2048;

constexpr std::uint32_t clamp32(std::uint64_t value) {
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

FourCC twoDigitCode(const char prefix[2], int number, bool digitsFirst) {
    const char tens = static_cast<char>('0' + number / 10);
    const char units = static_cast<char>('0' + number % 10);
    const char text[5] = {digitsFirst ? tens : prefix[0], digitsFirst ? units : prefix[1],
                          digitsFirst ? prefix[0] : tens, digitsFirst ? prefix[1] : units, '\0'};
    return FourCC::of(text);
}

bool isPal(DvSystem system) { return system == DvSystem::Pal625; }

// The picture geometry of the two DV systems, as an AVI video-properties header states it: ITU-R BT.601
// sampling (864 or 858 samples a line, of which 720 are active from sample 132 or 122), 625 or 525 lines,
// and the first active line of each field.
struct DvGeometry {
    std::int32_t width;
    std::int32_t height;
    std::uint32_t rate;
    std::uint32_t scale;
    std::uint32_t formatToken;  // FORMAT_PAL_CCIR_601 = 2, FORMAT_NTSC_CCIR_601 = 4
    std::uint32_t standard;     // STANDARD_PAL = 1, STANDARD_NTSC = 2
    std::uint32_t refreshRate;
    std::uint32_t totalSamples;
    std::uint32_t totalLines;
    std::uint32_t activeStartSample;
    std::uint32_t firstLine[2];
};

DvGeometry dvGeometry(DvSystem system) {
    // The fields in the order they were taken: DV's lower field (the second field's lines) comes first, as
    // readers of the properties (mediainfo) take it for the field order.
    if (isPal(system)) return {720, 576, 25, 1, 2, 1, 50, 864, 625, 132, {336, 23}};
    return {720, 480, 30000, 1001, 4, 2, 60, 858, 525, 122, {286, 23}};
}

// The vprp chunk of a DV stream of `system`; `wide`: the first frame is 16:9.
AviVideoProperties dvVideoProperties(DvSystem system, bool wide) {
    const DvGeometry g = dvGeometry(system);
    AviVideoProperties p;
    p.videoFormatToken = g.formatToken;
    p.videoStandard = g.standard;
    p.verticalRefreshRate = g.refreshRate;
    p.horizontalTotal = g.totalSamples;
    p.verticalTotalLines = g.totalLines;
    p.aspectX = wide ? 16 : 4;
    p.aspectY = wide ? 9 : 3;
    p.frameWidth = static_cast<std::uint32_t>(g.width);
    p.frameHeight = static_cast<std::uint32_t>(g.height);
    p.fieldsPerFrame = 2;
    for (const std::uint32_t firstLine : g.firstLine) {
        const auto fieldHeight = static_cast<std::uint32_t>(g.height / 2);
        const auto width = static_cast<std::uint32_t>(g.width);
        p.fields.push_back({fieldHeight, width, fieldHeight, width, 0, 0, g.activeStartSample, firstLine});
    }
    return p;
}

}  // namespace

struct AviWriter::Time {
    Wide numerator = 0;
    std::uint32_t denominator = 1;
};

AviVideoFormat AviVideoFormat::dv(DvSystem system,
                                  const std::optional<std::array<std::uint8_t, 32>>& dvInfo) {
    AviVideoFormat format;
    format.type = MediaType::dvVideo(system, dvInfo);
    const DvGeometry geometry = dvGeometry(system);
    format.rate = {geometry.rate, geometry.scale};
    format.dvSystem = system;
    return format;
}

AviVideoFormat AviVideoFormat::compressed(FourCC compression, std::int32_t width, std::int32_t height,
                                          AviRate rate) {
    BitmapHeader bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitCount = 24;
    bitmap.compression = compression;
    AviVideoFormat format;
    format.type = MediaType::video(bitmap);
    format.rate = rate;
    return format;
}

AviWriter::AviWriter(const std::string& path) : AviWriter(path, Options{}) {}

AviWriter::AviWriter(const std::string& path, const Options& options) : m_path(path), m_options(options) {
    m_options.riffFormBytes = std::clamp<std::uint64_t>(m_options.riffFormBytes, 1, kMaxRiffFormBytes);
    m_options.superIndexEntries = std::clamp<std::uint32_t>(m_options.superIndexEntries, 2, 16384);
    m_file = std::make_unique<NewFile>(path, m_options.writeBufferBytes);
}

AviWriter::~AviWriter() { discard(); }

bool AviWriter::isOpen() const { return !m_closed && !m_error && m_file && m_file->isOpen(); }

std::uint64_t AviWriter::fileBytes() const { return m_file ? m_file->size() : 0; }

std::uint64_t AviWriter::sampleCount(int stream) const {
    if (stream < 0 || static_cast<std::size_t>(stream) >= m_streams.size()) return 0;
    return m_streams[static_cast<std::size_t>(stream)].acceptedSamples;
}

void AviWriter::checkUsable() const {
    if (m_error) throw *m_error;
    if (m_closed) throw std::logic_error("the AVI writer of " + m_path + " is closed");
}

void AviWriter::fail(const FileError& error) {
    m_error = error;
    m_file->discard();
    throw error;
}

int AviWriter::addStream(Stream stream) {
    checkUsable();
    if (m_started) throw std::logic_error("streams must be added before the first sample");
    if (m_streams.size() >= kMaxStreams) throw std::logic_error("an AVI file holds at most 100 streams");
    const int number = static_cast<int>(m_streams.size());
    stream.indexId = twoDigitCode("ix", number, false);
    m_streams.push_back(std::move(stream));
    return number;
}

int AviWriter::addVideoStream(const MediaType& type, AviRate rate, DvSystem dvSystem) {
    if (!rate.valid()) throw std::invalid_argument("a video stream needs a frame rate");
    if (type.format().size() > 0xFFFF) throw std::invalid_argument("video format too large");
    const auto bitmap = type.bitmap();
    if (!bitmap) throw std::invalid_argument("a video format starts with a 40-byte bitmap header");
    if (dvSystem != DvSystem::Unknown && dvSystem != DvSystem::Pal625 && dvSystem != DvSystem::Ntsc525) {
        throw std::invalid_argument("a DV stream needs the PAL or the NTSC system");
    }
    Stream stream;
    stream.kind = Kind::Video;
    stream.type = kMediaTypeVideo;
    stream.handler = type.subtype();
    stream.rate = rate.numerator;
    stream.scale = rate.denominator;
    stream.width = std::max<std::int32_t>(bitmap->width, 0);
    // A negative height marks a top-down bitmap; the picture is as tall either way.
    const std::int32_t height = bitmap->height;
    stream.height = height == INT32_MIN ? 0 : (height < 0 ? -height : height);
    stream.dvSystem = dvSystem;
    stream.mediaType = type;
    // "##db" marks uncompressed frames (compression 0), "##dc" compressed ones.
    const int number = static_cast<int>(m_streams.size());
    stream.chunkId = twoDigitCode(type.subtype().value() == 0 ? "db" : "dc", number, true);
    return addStream(std::move(stream));
}

int AviWriter::addAudioStream(const MediaType& type) {
    const auto format = type.wave();
    if (!format || !format->isValid() || type.format().size() > 0xFFFF) {
        throw std::invalid_argument("a sound stream needs a block size and a byte rate");
    }
    Stream stream;
    stream.kind = Kind::Audio;
    stream.type = kMediaTypeAudio;
    stream.rate = format->averageBytesPerSecond;
    stream.scale = format->blockAlign;
    stream.sampleSize = format->blockAlign;
    stream.timeRate = format->averageBytesPerSecond;
    stream.mediaType = type;
    stream.chunkId = twoDigitCode("wb", static_cast<int>(m_streams.size()), true);
    return addStream(std::move(stream));
}

int AviWriter::addInterleavedDvStream(DvSystem system, const std::array<std::uint8_t, 32>& dvInfo) {
    Stream stream;
    stream.mediaType = MediaType::interleavedDv(system, dvInfo);  // refuses an unknown system
    const DvGeometry geometry = dvGeometry(system);
    stream.kind = Kind::Interleaved;
    stream.type = kMediaTypeInterleaved;
    stream.handler = stream.mediaType.subtype();
    stream.rate = geometry.rate;
    stream.scale = geometry.scale;
    stream.width = geometry.width;
    stream.height = geometry.height;
    stream.dvSystem = system;
    stream.chunkId = twoDigitCode("dc", static_cast<int>(m_streams.size()), true);
    return addStream(std::move(stream));
}

AviWriter::Time AviWriter::startOfNext(const Stream& stream) const {
    if (stream.kind == Kind::Audio) return {Wide{stream.writtenBytes}, stream.timeRate};
    return {Wide{stream.writtenSamples} * stream.scale, stream.rate};
}

bool AviWriter::earlier(const Time& a, int streamA, const Time& b, int streamB) {
    const Wide left = a.numerator * b.denominator;
    const Wide right = b.numerator * a.denominator;
    return left < right || (left == right && streamA < streamB);
}

// A chunk starting at `start` may be written when no other stream can still deliver an earlier one. Every
// stream's next chunk (waiting or not yet pushed) starts where its written chunks end.
bool AviWriter::mayWriteNow(int stream, const Time& start) const {
    for (std::size_t other = 0; other < m_streams.size(); ++other) {
        if (static_cast<int>(other) == stream) continue;
        if (earlier(startOfNext(m_streams[other]), static_cast<int>(other), start, stream)) return false;
    }
    return true;
}

void AviWriter::writeSample(int stream, Bytes data, bool keyFrame) {
    checkUsable();
    if (stream < 0 || static_cast<std::size_t>(stream) >= m_streams.size()) {
        throw std::invalid_argument("no stream " + std::to_string(stream) + " in " + m_path);
    }
    if (data.size() > kMaxSampleBytes) throw std::invalid_argument("sample too large for an AVI chunk");
    m_started = true;
    Stream& s = m_streams[static_cast<std::size_t>(stream)];
    ++s.acceptedSamples;
    try {
        const bool nothingWaits =
            m_waitingBytes == 0 && std::all_of(m_streams.begin(), m_streams.end(),
                                               [](const Stream& each) { return each.waiting.empty(); });
        if (nothingWaits && (m_options.interleaveWindowBytes == 0 || mayWriteNow(stream, startOfNext(s)))) {
            emit(stream, data, keyFrame);
            return;
        }
        s.waiting.push_back({std::vector<std::uint8_t>(data.begin(), data.end()), keyFrame});
        m_waitingBytes += data.size();
        drain(false);
    } catch (const FileError& error) {
        fail(error);
    }
}

void AviWriter::drain(bool force) {
    for (;;) {
        int first = -1;
        Time firstStart;
        for (std::size_t i = 0; i < m_streams.size(); ++i) {
            if (m_streams[i].waiting.empty()) continue;
            const Time start = startOfNext(m_streams[i]);
            if (first < 0 || earlier(start, static_cast<int>(i), firstStart, first)) {
                first = static_cast<int>(i);
                firstStart = start;
            }
        }
        if (first < 0) return;
        if (!force && m_waitingBytes <= m_options.interleaveWindowBytes && !mayWriteNow(first, firstStart)) {
            return;
        }
        Stream& s = m_streams[static_cast<std::size_t>(first)];
        Pending pending = std::move(s.waiting.front());
        s.waiting.pop_front();
        m_waitingBytes -= pending.data.size();
        emit(first, pending.data, pending.keyFrame);
    }
}

std::uint64_t AviWriter::pendingIndexBytes() const {
    std::uint64_t bytes = 0;
    for (const Stream& s : m_streams) {
        if (!s.formEntries.empty()) {
            bytes += 8 + indx::kHeaderBytes + indx::kStandardEntryBytes * s.formEntries.size();
        }
    }
    if (m_formIndex == 0) bytes += 8 + idx1::kEntryBytes * m_idx1.size();
    return bytes;
}

void AviWriter::emit(int stream, Bytes data, bool keyFrame) {
    if (!m_headerWritten) beginFile();
    Stream& s = m_streams[static_cast<std::size_t>(stream)];
    const std::uint64_t chunkBytes = 8 + data.size() + (data.size() & 1);
    const std::uint64_t entryBytes = indx::kStandardEntryBytes + (m_formIndex == 0 ? idx1::kEntryBytes : 0) +
                                     (s.formEntries.empty() ? 8 + indx::kHeaderBytes : 0);
    const std::uint64_t formBytes = m_file->size() - m_formStart;
    if (m_formChunks > 0 &&
        formBytes + pendingIndexBytes() + chunkBytes + entryBytes > m_options.riffFormBytes) {
        rollOver();
    }
    const std::uint64_t position = m_file->size();
    const auto size = static_cast<std::uint32_t>(data.size());
    static constexpr std::uint8_t kPad[1] = {0};
    const auto head = encodeChunkHeader({s.chunkId, size});
    const Bytes parts[] = {head, data, Bytes(kPad, size & 1)};
    m_file->append(parts);

    s.formEntries.push_back({position + 8, size, keyFrame});
    s.formBytes += size;
    if (m_formIndex == 0) {
        m_idx1.push_back({s.chunkId, keyFrame ? kAviIdx1KeyFrame : 0u,
                          static_cast<std::uint32_t>(position - (m_moviStart + 8)), size});
        ++s.firstFormSamples;
    }
    if (s.writtenSamples == 0 && s.dvSystem != DvSystem::Unknown) s.wide = DvIs16x9(data);
    ++s.writtenSamples;
    s.writtenBytes += size;
    s.largestChunk = std::max(s.largestChunk, size);
    ++m_formChunks;
}

void AviWriter::beginFile() {
    const std::vector<std::uint8_t> header = headerBytes();
    m_headerSize = header.size();
    m_formStart = 0;
    m_moviStart = m_headerSize - 12;
    m_file->append(header);
    m_headerWritten = true;
}

void AviWriter::writeStandardIndexes() {
    for (Stream& s : m_streams) {
        if (s.formEntries.empty()) continue;
        if (s.superEntries.size() >= m_options.superIndexEntries) {
            throw FileError(FileErrorCode::WriteFailed, m_path, EFBIG);
        }
        // Offsets count from the form's "movi" list, which lies within 4 GiB of every chunk of the form.
        const std::uint64_t base = m_moviStart;
        const std::uint64_t position = m_file->size();
        const std::size_t count = s.formEntries.size();
        std::vector<std::uint8_t> index;
        index.reserve(8 + indx::kHeaderBytes + indx::kStandardEntryBytes * count);
        riff::appendChunkHeader(
            index, s.indexId,
            static_cast<std::uint32_t>(indx::kHeaderBytes + indx::kStandardEntryBytes * count));
        AviIndexHeader header;
        header.longsPerEntry = indx::kStandardEntryBytes / 4;
        header.indexType = kAviIndexOfChunks;
        header.entriesInUse = static_cast<std::uint32_t>(count);
        header.chunkId = s.chunkId;
        header.baseOffset = base;
        riff::appendBytes(index, encodeIndexHeader(header));
        for (const IndexEntry& entry : s.formEntries) {
            riff::appendBytes(index, encodeStandardIndexEntry(
                                   {static_cast<std::uint32_t>(entry.dataOffset - base), entry.size, entry.keyFrame}));
        }
        m_file->append(index);
        const std::uint64_t duration = s.kind == Kind::Audio ? s.formBytes / s.sampleSize : count;
        s.superEntries.push_back({position, static_cast<std::uint32_t>(index.size()), clamp32(duration)});
        s.formEntries.clear();
        s.formBytes = 0;
    }
}

void AviWriter::writeIdx1() {
    std::vector<std::uint8_t> index;
    index.reserve(8 + idx1::kEntryBytes * m_idx1.size());
    riff::appendChunkHeader(index, FourCC::of("idx1"),
                            static_cast<std::uint32_t>(idx1::kEntryBytes * m_idx1.size()));
    for (const AviIdx1Entry& entry : m_idx1) riff::appendBytes(index, encodeIdx1Entry(entry));
    m_file->append(index);
    m_idx1.clear();
    m_idx1.shrink_to_fit();
}

// Ends the current RIFF form: the standard indexes inside its "movi" list when the file is OpenDML, idx1
// after the first form's "movi" list, and the sizes of both lists.
void AviWriter::endForm(bool withStandardIndexes) {
    if (withStandardIndexes) writeStandardIndexes();
    const std::uint64_t moviEnd = m_file->size();
    if (m_formIndex == 0) writeIdx1();
    const std::uint64_t formEnd = m_file->size();
    if (m_formIndex == 0) {
        // The first form's sizes are part of the header, rewritten whole at close.
        m_firstMoviSize = static_cast<std::uint32_t>(moviEnd - m_moviStart - 8);
        m_firstRiffSize = static_cast<std::uint32_t>(formEnd - m_formStart - 8);
        return;
    }
    const auto riffSize = u32leBytes(static_cast<std::uint32_t>(formEnd - m_formStart - 8));
    const auto moviSize = u32leBytes(static_cast<std::uint32_t>(moviEnd - m_moviStart - 8));
    m_file->overwrite(m_formStart + 4, riffSize);
    m_file->overwrite(m_moviStart + 4, moviSize);
}

void AviWriter::rollOver() {
    // The form being closed and the next one each need a super index entry in every stream.
    for (const Stream& s : m_streams) {
        if (s.superEntries.size() + 2 > m_options.superIndexEntries) {
            throw FileError(FileErrorCode::WriteFailed, m_path, EFBIG);
        }
    }
    endForm(true);
    ++m_formIndex;
    m_formStart = m_file->size();
    m_moviStart = m_formStart + 12;
    m_formChunks = 0;
    std::vector<std::uint8_t> start;
    riff::appendChunkHeader(start, FourCC::of("RIFF"), 0);  // sizes written when the form ends
    riff::appendFourCC(start, FourCC::of("AVIX"));
    riff::appendChunkHeader(start, FourCC::of("LIST"), 0);
    riff::appendFourCC(start, FourCC::of("movi"));
    m_file->append(start);
}

void AviWriter::close() {
    if (m_committed) return;
    checkUsable();
    try {
        drain(true);
        if (!m_headerWritten) beginFile();
        endForm(m_formIndex > 0);
        const std::vector<std::uint8_t> header = headerBytes();
        if (header.size() != m_headerSize) throw std::logic_error("AVI header size changed");
        m_file->overwrite(0, header);
        m_file->commit();
        m_committed = true;
        m_closed = true;
    } catch (const FileError& error) {
        fail(error);
    }
}

void AviWriter::discard() noexcept {
    if (m_file) m_file->discard();
    m_closed = true;
}

std::vector<std::uint8_t> AviWriter::headerBytes() const {
    using namespace riff;
    const Stream* video = nullptr;
    for (const Stream& s : m_streams) {
        if (s.kind != Kind::Audio) {
            video = &s;
            break;
        }
    }
    const bool openDml = m_formIndex > 0;

    std::uint64_t bytesPerSecond = 0;
    std::uint32_t largestChunk = 0;
    for (const Stream& s : m_streams) {
        if (s.kind == Kind::Audio) {
            bytesPerSecond += s.timeRate;
        } else {
            bytesPerSecond += (std::uint64_t{s.largestChunk} * s.rate + s.scale - 1) / s.scale;
        }
        largestChunk = std::max(largestChunk, s.largestChunk);
    }

    AviMainHeader main;
    if (video) main.microSecPerFrame = static_cast<std::uint32_t>(
        (std::uint64_t{1000000} * video->scale + video->rate / 2) / video->rate);
    main.maxBytesPerSec = clamp32(bytesPerSecond);
    main.flags = kAvifHasIndex | kAvifIsInterleaved | kAvifTrustChunkType;
    main.totalFrames = video ? clamp32(video->firstFormSamples) : 0;  // frames of the first RIFF form
    main.streams = static_cast<std::uint32_t>(m_streams.size());
    main.suggestedBufferSize = largestChunk == 0 ? 0 : largestChunk + 8;
    main.width = video ? static_cast<std::uint32_t>(video->width) : 0;
    main.height = video ? static_cast<std::uint32_t>(video->height) : 0;

    std::vector<std::uint8_t> hdrl;
    appendFourCC(hdrl, FourCC::of("hdrl"));
    appendChunkHeader(hdrl, FourCC::of("avih"), static_cast<std::uint32_t>(avih::kBytes));
    appendBytes(hdrl, encodeMainHeader(main));

    for (const Stream& s : m_streams) {
        AviStreamHeader header;
        header.type = s.type;
        header.handler = s.handler;
        header.scale = s.scale;
        header.rate = s.rate;
        header.length = clamp32(s.kind == Kind::Audio ? s.writtenBytes / s.sampleSize : s.writtenSamples);
        header.suggestedBufferSize = s.largestChunk;
        header.quality = 0xFFFFFFFFu;  // the codec's default
        header.sampleSize = s.sampleSize;
        header.frameRight = static_cast<std::int16_t>(s.kind == Kind::Audio ? 0 : s.width);
        header.frameBottom = static_cast<std::int16_t>(s.kind == Kind::Audio ? 0 : s.height);

        std::vector<std::uint8_t> strl;
        appendFourCC(strl, FourCC::of("strl"));
        appendChunkHeader(strl, FourCC::of("strh"), static_cast<std::uint32_t>(strh::kBytes));
        appendBytes(strl, encodeStreamHeader(header));

        const std::vector<std::uint8_t>& format = s.mediaType.format();
        appendChunkHeader(strl, FourCC::of("strf"), static_cast<std::uint32_t>(format.size()));
        appendBytes(strl, format);
        if (format.size() & 1) strl.push_back(0);

        if (s.dvSystem != DvSystem::Unknown) {
            const std::vector<std::uint8_t> properties = encodeVideoProperties(dvVideoProperties(s.dvSystem, s.wide));
            appendChunkHeader(strl, FourCC::of("vprp"), static_cast<std::uint32_t>(properties.size()));
            appendBytes(strl, properties);
        }

        // The super index slot: JUNK of the same size until the file is OpenDML.
        const std::size_t slotBytes = indx::kHeaderBytes + indx::kSuperEntryBytes * m_options.superIndexEntries;
        appendChunkHeader(strl, FourCC::of(openDml ? "indx" : "JUNK"), static_cast<std::uint32_t>(slotBytes));
        if (openDml) {
            AviIndexHeader index;
            index.longsPerEntry = indx::kSuperEntryBytes / 4;
            index.indexType = kAviIndexOfIndexes;
            index.entriesInUse = static_cast<std::uint32_t>(s.superEntries.size());
            index.chunkId = s.chunkId;
            appendBytes(strl, encodeIndexHeader(index));
            for (const AviSuperIndexEntry& entry : s.superEntries) appendBytes(strl, encodeSuperIndexEntry(entry));
            appendZeros(strl, indx::kSuperEntryBytes * (m_options.superIndexEntries - s.superEntries.size()));
        } else {
            appendZeros(strl, slotBytes);
        }

        appendChunkHeader(hdrl, FourCC::of("LIST"), static_cast<std::uint32_t>(strl.size()));
        appendBytes(hdrl, strl);
    }

    appendChunkHeader(hdrl, FourCC::of("LIST"), static_cast<std::uint32_t>(4 + 8 + dmlh::kBytes));
    appendFourCC(hdrl, FourCC::of("odml"));
    appendChunkHeader(hdrl, FourCC::of("dmlh"), static_cast<std::uint32_t>(dmlh::kBytes));
    appendBytes(hdrl, encodeOdmlHeader({video ? clamp32(video->writtenSamples) : 0}));  // frames of the whole file

    std::vector<std::uint8_t> out;
    out.reserve(hdrl.size() + 2 * kMoviAlignment);
    appendChunkHeader(out, FourCC::of("RIFF"), m_firstRiffSize);
    appendFourCC(out, FourCC::of("AVI "));
    appendChunkHeader(out, FourCC::of("LIST"), static_cast<std::uint32_t>(hdrl.size()));
    appendBytes(out, hdrl);
    // JUNK up to the next multiple of kMoviAlignment that leaves room for the JUNK header.
    const std::uint64_t afterJunkHeader = out.size() + 8;
    const std::uint64_t moviStart = (afterJunkHeader + kMoviAlignment - 1) / kMoviAlignment * kMoviAlignment;
    appendChunkHeader(out, FourCC::of("JUNK"), static_cast<std::uint32_t>(moviStart - afterJunkHeader));
    appendZeros(out, static_cast<std::size_t>(moviStart - afterJunkHeader));
    appendChunkHeader(out, FourCC::of("LIST"), m_firstMoviSize);
    appendFourCC(out, FourCC::of("movi"));
    return out;
}

}  // namespace moraven
