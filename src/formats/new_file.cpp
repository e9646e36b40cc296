#include "formats/new_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>
#include <utility>

namespace moraven {

namespace {

// The buffer and the parts of one gathered append.
constexpr std::size_t kMaxGatheredParts = 8;

FileErrorCode renameErrorCode(int error) { return fileErrorCodeFor(error, FileErrorCode::WriteFailed); }


// lstat: a dangling symbolic link still takes the name. A name that cannot be looked up (no permission to
// search the folder) is an error of its own, not a taken name.
bool nameIsTaken(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) return true;
    const int error = errno;
    if (error == ENOENT) return false;
    throw FileError(renameErrorCode(error), path, error);
}

// ".<name>.<6 hex digits>.part" in the target's folder; O_EXCL retries on the rare name clash.
// Refuses a taken target name first, so that the caller learns it before writing anything.
BinaryFile createTemporaryBeside(const std::string& target, std::string& temporaryPath) {
    if (nameIsTaken(target)) throw FileError(FileErrorCode::AlreadyExists, target, EEXIST);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr char kHex[] = "0123456789abcdef";
    for (int attempt = 0;; ++attempt) {
        std::string tag(6, '0');
        for (char& c : tag) c = kHex[random() & 15u];
        temporaryPath = folder + "." + name + "." + tag + ".part";
        try {
            return BinaryFile::createNew(temporaryPath);
        } catch (const FileError& error) {
            if (error.code() != FileErrorCode::AlreadyExists || attempt >= 100) throw;
        }
    }
}

}  // namespace

void renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) {
        throw FileError(renameErrorCode(error), to, error);
    }
    // The file system does not know RENAME_NOREPLACE. A hard link fails when the name is taken, atomically.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return;
    }
    error = errno;
    if (error != EPERM && error != ENOTSUP && error != EMLINK) {
        throw FileError(renameErrorCode(error), to, error);
    }
    // Neither the flag nor hard links (FAT, exFAT): check the name right before a plain rename. Another
    // program could take the name between the two calls; nothing narrower exists on these file systems.
    if (nameIsTaken(to)) throw FileError(FileErrorCode::AlreadyExists, to, EEXIST);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
        throw FileError(renameErrorCode(error), to, error);
    }
}

NewFile::NewFile(std::string targetPath, std::size_t bufferBytes)
    : m_targetPath(std::move(targetPath)),
      m_file(createTemporaryBeside(m_targetPath, m_temporaryPath)),
      m_bufferCapacity(std::max<std::size_t>(bufferBytes, 4096)) {
    m_buffer.reserve(m_bufferCapacity);
}

NewFile::~NewFile() { discard(); }

void NewFile::flush() {
    if (m_buffer.empty()) return;
    if (!m_open) throw FileError(FileErrorCode::WriteFailed, m_targetPath, 0);
    m_file->seek(static_cast<std::int64_t>(m_flushed));
    m_file->write(m_buffer);
    m_flushed += m_buffer.size();
    m_buffer.clear();
}

void NewFile::append(Bytes bytes) {
    if (!m_open) throw FileError(FileErrorCode::WriteFailed, m_targetPath, 0);
    while (!bytes.empty()) {
        if (m_buffer.empty() && bytes.size() >= m_bufferCapacity) {
            // A block at least as big as the buffer goes straight to the file: copying it gains nothing.
            m_file->seek(static_cast<std::int64_t>(m_flushed));
            m_file->write(bytes);
            m_flushed += bytes.size();
            return;
        }
        const std::size_t room = m_bufferCapacity - m_buffer.size();
        const std::size_t count = std::min(room, bytes.size());
        m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
        bytes = bytes.subspan(count);
        if (m_buffer.size() == m_bufferCapacity) flush();
    }
}

void NewFile::append(std::span<const Bytes> parts) {
    if (!m_open) throw FileError(FileErrorCode::WriteFailed, m_targetPath, 0);
    std::size_t total = 0;
    for (const Bytes& part : parts) total += part.size();
    if (total < kGatherBytes || parts.size() >= kMaxGatheredParts) {
        for (const Bytes& part : parts) append(part);
        return;
    }
    std::array<Bytes, kMaxGatheredParts> all{};
    all[0] = m_buffer;
    std::copy(parts.begin(), parts.end(), all.begin() + 1);
    m_file->seek(static_cast<std::int64_t>(m_flushed));
    m_file->write(std::span<const Bytes>(all.data(), parts.size() + 1));
    m_flushed += m_buffer.size() + total;
    m_buffer.clear();
}

void NewFile::appendZeros(std::size_t count) {
    static constexpr std::uint8_t kZeros[4096] = {};
    while (count > 0) {
        const std::size_t n = std::min(count, sizeof kZeros);
        append(Bytes(kZeros, n));
        count -= n;
    }
}

void NewFile::overwrite(std::uint64_t position, Bytes bytes) {
    if (!m_open) throw FileError(FileErrorCode::WriteFailed, m_targetPath, 0);
    flush();
    m_file->seek(static_cast<std::int64_t>(position));
    m_file->write(bytes);
}

void NewFile::commit() {
    if (!m_open) throw FileError(FileErrorCode::WriteFailed, m_targetPath, 0);
    try {
        flush();
        m_file.reset();
        renameWithoutReplacing(m_temporaryPath, m_targetPath);
    } catch (...) {
        discard();
        throw;
    }
    m_open = false;
}

void NewFile::discard() noexcept {
    if (!m_open) return;
    m_open = false;
    m_buffer.clear();
    m_file.reset();
    ::unlink(m_temporaryPath.c_str());
}

}  // namespace moraven
