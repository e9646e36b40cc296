#include "formats/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace moraven {

namespace {

// iovecs handed to one pwritev: far below any system's IOV_MAX (1024 on Linux).
constexpr std::size_t kMaxWriteParts = 64;

std::string messageFor(FileErrorCode code, const std::string& path, int systemError) {
    std::string reason;
    switch (code) {
        case FileErrorCode::NotFound:
            reason = "the file does not exist";
            break;
        case FileErrorCode::AccessDenied:
            reason = "permission denied";
            break;
        case FileErrorCode::NotAFile:
            reason = "it is not a regular file";
            break;
        case FileErrorCode::ReadFailed:
            reason = "reading failed";
            break;
        case FileErrorCode::WriteFailed:
            reason = "writing failed";
            break;
        case FileErrorCode::AlreadyExists:
            reason = "a file of that name already exists";
            break;
        case FileErrorCode::Other:
            reason = "it cannot be opened";
            break;
    }
    const bool reasonSaysItAll = code == FileErrorCode::NotFound || code == FileErrorCode::NotAFile ||
                                 code == FileErrorCode::AlreadyExists;
    if (systemError != 0 && !reasonSaysItAll) {
        reason += " (";
        reason += std::strerror(systemError);
        reason += ")";
    }
    return "Cannot use the file " + path + ": " + reason;
}

}  // namespace

FileErrorCode fileErrorCodeFor(int error, FileErrorCode fallback) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return FileErrorCode::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return FileErrorCode::AccessDenied;
        case EISDIR:
            return FileErrorCode::NotAFile;
        case EEXIST:
        case ENOTEMPTY:
            return FileErrorCode::AlreadyExists;
        default:
            return fallback;
    }
}

FileError::FileError(FileErrorCode code, const std::string& path, int systemError)
    : std::runtime_error(messageFor(code, path, systemError)),
      m_code(code),
      m_path(path),
      m_systemError(systemError) {}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

BinaryFile::BinaryFile(const std::string& path, Mode mode) : m_path(path) {
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::Write:
            flags |= O_WRONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
    }
    // O_NONBLOCK keeps a named pipe from blocking the open; such a file is refused just below.
    m_fd = ::open(path.c_str(), flags | O_NONBLOCK);
    if (m_fd < 0) {
        const int error = errno;
        throw FileError(fileErrorCodeFor(error), path, error);
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        throw FileError(FileErrorCode::NotAFile, path, 0);
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_size = static_cast<std::uint64_t>(info.st_size);
}

BinaryFile BinaryFile::createNew(const std::string& path) {
    // O_EXCL makes the creation atomic: if anything takes the name first, including a symbolic link,
    // the open fails instead of following it or truncating it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int error = errno;
        throw FileError(fileErrorCodeFor(error), path, error);
    }
    BinaryFile file;
    file.m_fd = fd;
    file.m_path = path;
    return file;
}

BinaryFile::~BinaryFile() {
    if (m_fd >= 0) ::close(m_fd);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_size(other.m_size),
      m_position(other.m_position) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_size = other.m_size;
        m_position = other.m_position;
    }
    return *this;
}

std::size_t BinaryFile::read(MutableBytes buffer) {
    if (m_position < 0) return 0;
    const std::size_t done = readAt(static_cast<std::uint64_t>(m_position), buffer);
    m_position += static_cast<std::int64_t>(done);
    return done;
}

std::size_t BinaryFile::readAt(std::uint64_t offset, MutableBytes buffer) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > kMaxOffset) return 0;
    std::size_t done = 0;
    while (done < buffer.size() && done < kMaxOffset - offset) {
        const std::size_t wanted = std::min<std::uint64_t>(buffer.size() - done, kMaxOffset - offset - done);
        const ssize_t n = ::pread(m_fd, buffer.data() + done, wanted, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(FileErrorCode::ReadFailed, m_path, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t BinaryFile::readAt(std::uint64_t offset, MutableBytes head, MutableBytes body) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > kMaxOffset || head.size() > kMaxOffset - offset ||
        body.size() > kMaxOffset - offset - head.size()) {
        return 0;
    }
    const std::size_t total = head.size() + body.size();
    std::size_t done = 0;
    while (done < total) {
        // After a partial read, the rest of the head (if any) and of the body.
        const std::size_t headDone = std::min(done, head.size());
        const std::size_t bodyDone = done - headDone;
        std::array<iovec, 2> parts{};
        int count = 0;
        if (headDone < head.size()) {
            parts[static_cast<std::size_t>(count++)] = {head.data() + headDone, head.size() - headDone};
        }
        if (bodyDone < body.size()) {
            parts[static_cast<std::size_t>(count++)] = {body.data() + bodyDone, body.size() - bodyDone};
        }
        const ssize_t n = ::preadv(m_fd, parts.data(), count, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(FileErrorCode::ReadFailed, m_path, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::uint64_t BinaryFile::dataFrom(std::uint64_t offset) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (m_fd < 0 || offset >= m_size || offset > kMaxOffset) return offset;
    const off_t found = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
    if (found < 0) return errno == ENXIO ? std::max(offset, m_size) : offset;
    return static_cast<std::uint64_t>(found);
}

std::uint64_t BinaryFile::holeFrom(std::uint64_t offset) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (m_fd < 0 || offset >= m_size || offset > kMaxOffset) return std::max(offset, m_size);
    const off_t found = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_HOLE);
    if (found < 0) return m_size;
    return std::max(offset, static_cast<std::uint64_t>(found));
}

void BinaryFile::willReadInOrder() const {
    if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void BinaryFile::willRead(std::uint64_t offset, std::uint64_t length) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (m_fd < 0 || offset > kMaxOffset || length == 0) return;
    ::posix_fadvise(m_fd, static_cast<off_t>(offset),
                    static_cast<off_t>(std::min(length, kMaxOffset - offset)), POSIX_FADV_WILLNEED);
}

void BinaryFile::write(std::span<const Bytes> parts) {
    if (m_position < 0) throw FileError(FileErrorCode::WriteFailed, m_path, EINVAL);
    std::size_t part = 0;
    std::size_t partDone = 0;  // bytes of parts[part] already written
    std::uint64_t done = 0;
    std::array<iovec, kMaxWriteParts> vectors{};
    for (;;) {
        while (part < parts.size() && partDone == parts[part].size()) {
            ++part;
            partDone = 0;
        }
        if (part == parts.size()) break;
        std::size_t count = 0;
        for (std::size_t k = part; k < parts.size() && count < vectors.size(); ++k) {
            const std::size_t skip = k == part ? partDone : 0;
            if (parts[k].size() == skip) continue;
            // pwritev takes non-const bases; it only reads them.
            vectors[count++] = {const_cast<std::uint8_t*>(parts[k].data()) + skip, parts[k].size() - skip};
        }
        const ssize_t n = ::pwritev(m_fd, vectors.data(), static_cast<int>(count),
                                    static_cast<off_t>(m_position) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(FileErrorCode::WriteFailed, m_path, errno);
        }
        if (n == 0) throw FileError(FileErrorCode::WriteFailed, m_path, EIO);
        done += static_cast<std::uint64_t>(n);
        // Move past what was written, which may end within a part.
        auto left = static_cast<std::size_t>(n);
        while (left > 0) {
            const std::size_t inPart = std::min(left, parts[part].size() - partDone);
            partDone += inPart;
            left -= inPart;
            if (partDone == parts[part].size()) {
                ++part;
                partDone = 0;
            }
        }
    }
    m_position += static_cast<std::int64_t>(done);
    if (static_cast<std::uint64_t>(m_position) > m_size) m_size = static_cast<std::uint64_t>(m_position);
}

void BinaryFile::write(Bytes bytes) {
    if (m_position < 0) throw FileError(FileErrorCode::WriteFailed, m_path, EINVAL);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(m_position) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(FileErrorCode::WriteFailed, m_path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    m_position += static_cast<std::int64_t>(done);
    if (static_cast<std::uint64_t>(m_position) > m_size) m_size = static_cast<std::uint64_t>(m_position);
}

}  // namespace moraven
