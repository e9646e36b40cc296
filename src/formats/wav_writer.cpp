#include "formats/wav_writer.h"

#include <stdexcept>

#include "formats/new_file.h"
#include "formats/riff_write.h"

namespace moraven {

namespace {

constexpr std::uint32_t kDs64Bytes = 28;  // RIFF size, data size, sample count (64 bits each), table length
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;

}  // namespace

WavWriter::WavWriter(const std::string& path, const WaveFormat& format)
    : WavWriter(path, format, Options{}) {}

WavWriter::WavWriter(const std::string& path, const WaveFormat& format, const Options& options)
    : m_path(path), m_format(format), m_options(options) {
    if (!m_format.isValid()) throw std::invalid_argument("a WAV file needs a block size and a byte rate");
    m_file = std::make_unique<NewFile>(path, m_options.writeBufferBytes);
    const std::vector<std::uint8_t> fmt = m_format.bytes(false);
    std::vector<std::uint8_t> header;
    riff::appendChunkHeader(header, FourCC::of("RIFF"), 0);
    riff::appendFourCC(header, FourCC::of("WAVE"));
    riff::appendChunkHeader(header, FourCC::of("JUNK"), kDs64Bytes);
    riff::appendZeros(header, kDs64Bytes);
    riff::appendChunkHeader(header, FourCC::of("fmt "), static_cast<std::uint32_t>(fmt.size()));
    riff::appendBytes(header, fmt);
    if (fmt.size() & 1) header.push_back(0);
    riff::appendChunkHeader(header, FourCC::of("data"), 0);
    try {
        m_file->append(header);
    } catch (const FileError& error) {
        fail(error);
    }
    m_dataStart = header.size();
}

WavWriter::~WavWriter() { discard(); }

bool WavWriter::isOpen() const { return !m_closed && !m_error && m_file && m_file->isOpen(); }

void WavWriter::checkUsable() const {
    if (m_error) throw *m_error;
    if (m_closed) throw std::logic_error("the WAV writer of " + m_path + " is closed");
}

void WavWriter::fail(const FileError& error) {
    m_error = error;
    m_file->discard();
    throw error;
}

void WavWriter::write(Bytes samples) {
    checkUsable();
    try {
        m_file->append(samples);
        m_dataBytes += samples.size();
    } catch (const FileError& error) {
        fail(error);
    }
}

void WavWriter::close() {
    if (m_committed) return;
    checkUsable();
    try {
        if (m_dataBytes & 1) m_file->appendZeros(1);
        const std::uint64_t riffSize = m_file->size() - 8;
        const bool rf64 = riffSize > m_options.rf64Threshold || m_dataBytes > m_options.rf64Threshold;
        std::vector<std::uint8_t> start;
        riff::appendChunkHeader(start, FourCC::of(rf64 ? "RF64" : "RIFF"),
                                rf64 ? kSizeInDs64 : static_cast<std::uint32_t>(riffSize));
        riff::appendFourCC(start, FourCC::of("WAVE"));
        if (rf64) {
            riff::appendChunkHeader(start, FourCC::of("ds64"), kDs64Bytes);
            riff::appendU64(start, riffSize);
            riff::appendU64(start, m_dataBytes);
            riff::appendU64(start, m_dataBytes / m_format.blockAlign);
            riff::appendU32(start, 0);  // no table of other chunk sizes
        }
        m_file->overwrite(0, start);
        const auto dataSize = u32leBytes(rf64 ? kSizeInDs64 : static_cast<std::uint32_t>(m_dataBytes));
        m_file->overwrite(m_dataStart - 4, dataSize);
        m_file->commit();
        m_committed = true;
        m_closed = true;
    } catch (const FileError& error) {
        fail(error);
    }
}

void WavWriter::discard() noexcept {
    if (m_file) m_file->discard();
    m_closed = true;
}

}  // namespace moraven
