#include "formats/scene_file.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstring>

namespace moraven {

namespace {

constexpr std::array<std::uint8_t, 8> kHeaderStart{0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 6> kTapeTag{0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00};
constexpr std::array<std::uint8_t, 6> kClipTag{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00};
constexpr std::array<std::uint8_t, 6> kSceneTag{0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00};
constexpr std::array<std::uint8_t, 6> kFirstRecordMark{0x00, 0x00, 0x00, 0x00, 0x01, 0x80};
constexpr std::array<std::uint8_t, 9> kRecordStart{0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00};
constexpr std::array<std::uint8_t, 6> kRecordMiddle{0x00, 0x00, 0x00, 0x00, 0x07, 0x00};

constexpr std::size_t kPathLengthOffset = 24;
constexpr std::size_t kCountOffsetAfterPath = 33;  // + L

// The most bytes a reader looks at: the header and first record with the longest path, and every further
// record that a 16-bit count can announce.
constexpr std::size_t kMaxSceneFileBytes = kSceneFileHeaderBytes + kSceneFileFirstRecordBytes +
                                           2 * kSceneFileMaxPathBytes + 65534 * kSceneFileRecordBytes;

// Fills a record of known size from the front; what is not written stays zero.
class ByteWriter {
public:
    explicit ByteWriter(std::size_t size) : m_bytes(size, 0) {}
    void put(Bytes bytes) {
        std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos += bytes.size();
    }
    void put(const std::string& text) {
        put(Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    void zeros(std::size_t count) { m_pos += count; }
    void u8(std::uint8_t value) { m_bytes[m_pos++] = value; }
    void u32(std::uint32_t value) { put(u32leBytes(value)); }
    // The one-byte length and the bytes of a path that fits in it.
    void path(const std::string& text) {
        u8(static_cast<std::uint8_t>(text.size()));
        put(text);
    }
    // The record, once every byte of it has been placed.
    const std::vector<std::uint8_t>& bytes() const {
        assert(m_pos == m_bytes.size());
        return m_bytes;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// Reads forward like a file stream: skipping past the end is allowed, reading past it is not.
class ByteReader {
public:
    explicit ByteReader(Bytes bytes) : m_bytes(bytes) {}
    // Past the end the position only has to stay past it: it is clamped there, so it cannot wrap.
    void skip(std::size_t count) {
        m_pos =
            count <= m_bytes.size() - std::min(m_pos, m_bytes.size()) ? m_pos + count : m_bytes.size() + 1;
    }
    bool can(std::size_t count) const { return m_pos <= m_bytes.size() && count <= m_bytes.size() - m_pos; }
    std::size_t position() const { return m_pos; }
    std::uint8_t u8() { return take(1) ? moraven::u8(m_bytes, m_pos - 1) : 0; }
    std::uint16_t u16() { return take(2) ? u16le(m_bytes, m_pos - 2) : 0; }
    std::uint32_t u32() { return take(4) ? u32le(m_bytes, m_pos - 4) : 0; }
    bool ok() const { return m_ok; }

private:
    bool take(std::size_t count) {
        if (!can(count)) {
            m_ok = false;
            return false;
        }
        m_pos += count;
        return true;
    }

    Bytes m_bytes;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace

std::string sceneFilePath(const std::string& videoPath) {
    const std::size_t nameStart = videoPath.rfind('/') == std::string::npos ? 0 : videoPath.rfind('/') + 1;
    const std::size_t dot = videoPath.rfind('.');
    const std::size_t stem = dot != std::string::npos && dot >= nameStart ? dot : videoPath.size();
    return videoPath.substr(0, stem) + ".scn";
}

SceneFileWriter::SceneFileWriter() : m_name("CreerScenes") {}

void SceneFileWriter::fail(const std::string& message) {
    m_writeFailed = true;
    if (m_error.empty()) m_error = message;
}

bool SceneFileWriter::OpenScenes(const SceneVideo& video) {
    CloseScenes();
    m_error.clear();
    m_writeFailed = false;
    m_counter = 0;
    m_recordsWritten = 0;
    m_path = sceneFilePath(video.fullPath);
    m_videoPath = video.fullPath;
    // The path is stored after a one-byte length: a longer one cannot be written truthfully.
    if (m_videoPath.size() > kSceneFileMaxPathBytes) {
        m_error = "cannot write the scene file " + m_path + ": the path of the video is " +
                  std::to_string(m_videoPath.size()) + " bytes long, a scene file holds at most " +
                  std::to_string(kSceneFileMaxPathBytes);
        return false;
    }

    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        const int error = errno;
        m_error = FileError(fileErrorCodeFor(error), m_path, error).what();
        return false;
    }

    ByteWriter header(kSceneFileHeaderBytes + m_videoPath.size());
    header.put(kHeaderStart);
    header.put(kTapeTag);
    header.put(std::string("SourceTape"));
    header.path(m_videoPath);
    header.zeros(8);
    header.zeros(2);  // the scene count, written by CloseScenes
    header.put(kClipTag);
    header.put(std::string("ClipP"));
    header.zeros(3);
    header.put(kSceneTag);
    header.put(std::string("Scene"));
    header.zeros(5);
    try {
        m_file.emplace(BinaryFile::createNew(m_path));
        m_file->write(header.bytes());
    } catch (const FileError& error) {
        m_error = error.what();
        if (m_file) {
            // A scene file without its whole header would only be unreadable: remove it.
            m_file.reset();
            ::unlink(m_path.c_str());
        }
        return false;
    }
    return true;
}

void SceneFileWriter::WriteScene(const TSceneInfo& scene) {
    if (!m_file || scene.EndFrame == 0) return;
    ++m_counter;
    if (m_counter > kSceneFileMaxScenes || m_writeFailed) return;

    const auto start = static_cast<std::uint32_t>(scene.StartFrame);
    const std::uint32_t end = static_cast<std::uint32_t>(scene.EndFrame) + 1u;  // the frame after the scene
    const std::uint32_t length = end - start;
    const bool first = m_counter == 1;
    ByteWriter record(first ? kSceneFileFirstRecordBytes + m_videoPath.size() : kSceneFileRecordBytes);
    if (first) {
        record.u32(end);
        record.put(kFirstRecordMark);
        record.path(m_videoPath);
        record.zeros(8);
        record.u32(end);
    } else {
        record.put(kRecordStart);
        record.u32(start);
        record.u32(length);
        record.put(kRecordMiddle);
        record.u32(start);
        record.u32(length);
        record.u32(start);
    }
    try {
        m_file->write(record.bytes());
        ++m_recordsWritten;
    } catch (const FileError& error) {
        fail(error.what());
    }
}

void SceneFileWriter::CloseScenes() {
    if (!m_file) return;
    try {
        std::array<std::uint8_t, 2> count{};
        putU16le(count, 0, m_recordsWritten);
        m_file->seek(static_cast<std::int64_t>(kCountOffsetAfterPath + m_videoPath.size()));
        m_file->write(count);
    } catch (const FileError& error) {
        fail(error.what());
    }
    m_file.reset();
}

std::optional<SceneFileContents> parseSceneFile(Bytes bytes) {
    SceneFileContents contents;
    ByteReader in(bytes);
    in.skip(kPathLengthOffset);
    const std::uint8_t pathBytes = in.u8();
    if (!in.ok()) return std::nullopt;
    if (in.can(pathBytes)) {
        contents.videoPath.assign(bytes.begin() + static_cast<std::ptrdiff_t>(in.position()),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(in.position() + pathBytes));
    }
    in.skip(std::size_t{pathBytes} + 8);
    contents.sceneCount = in.u16();
    in.skip(30);
    const std::uint32_t firstEnd = in.u32();
    in.skip(6);
    const std::uint8_t firstPathBytes = in.u8();
    in.skip(std::size_t{firstPathBytes} + 8 + 4);
    if (!in.ok()) return std::nullopt;
    contents.boundaries.push_back(static_cast<std::int32_t>(firstEnd));
    for (int record = 1; record < contents.sceneCount; ++record) {
        in.skip(9);
        const std::uint32_t start = in.u32();
        in.skip(22);
        if (!in.ok()) return std::nullopt;
        contents.boundaries.push_back(static_cast<std::int32_t>(start));
    }
    return contents;
}

std::optional<SceneFileContents> readSceneFile(const std::string& path) {
    try {
        BinaryFile file(path, BinaryFile::Mode::Read);
        std::vector<std::uint8_t> bytes(
            static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kMaxSceneFileBytes)));
        bytes.resize(file.read(bytes));
        return parseSceneFile(bytes);
    } catch (const FileError&) {
        return std::nullopt;
    }
}

}  // namespace moraven
