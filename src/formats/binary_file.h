#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "formats/byte_order.h"

namespace moraven {

enum class FileErrorCode {
    NotFound,      // no such file
    AccessDenied,  // no permission to open it as asked
    NotAFile,      // a folder, a device or a pipe: not a regular file
    ReadFailed,
    WriteFailed,
    AlreadyExists,  // a new file was asked for and the name is taken
    Other,
};

// The one exception the format layer throws: a file that could not be opened, read or written as asked.
// `what()` is a message for the user that names the file and the reason.
class FileError : public std::runtime_error {
public:
    FileError(FileErrorCode code, const std::string& path, int systemError);

    FileErrorCode code() const { return m_code; }
    const std::string& path() const { return m_path; }
    int systemError() const { return m_systemError; }

private:
    FileErrorCode m_code;
    std::string m_path;
    int m_systemError;
};

// The code for a system error number (errno) of an open, rename or write; `fallback` for the others.
FileErrorCode fileErrorCodeFor(int error, FileErrorCode fallback = FileErrorCode::Other);

// True when `path` names an existing regular file (a folder is not a file).
bool fileExists(const std::string& path);

// A regular file opened for positioned reads and writes. Other programs may keep reading and writing the
// file meanwhile (POSIX takes no locks). The descriptor is closed by the destructor on every path.
// The position may be moved past the end of the file or before its start: the next read then comes up
// short, as a seek past the end does with a stream.
class BinaryFile {
public:
    enum class Mode { Read, Write, ReadWrite };

    // Throws FileError when the file cannot be opened as asked or is not a regular file. Never creates.
    BinaryFile(const std::string& path, Mode mode);

    // Creates `path` as a new, empty file opened for reading and writing (permissions 0666 less the umask).
    // Never opens or replaces an existing file: a taken name throws FileError with AlreadyExists, whatever
    // the name is (file, folder, link); any other failure throws FileError too.
    static BinaryFile createNew(const std::string& path);
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;

    const std::string& path() const { return m_path; }

    // The size when the file was opened, or after the last write that grew it.
    std::uint64_t size() const { return m_size; }
    std::int64_t position() const { return m_position; }
    void seek(std::int64_t position) { m_position = position; }
    void skip(std::int64_t count) { m_position += count; }

    // Reads up to buffer.size() bytes at the position and moves past them. Returns the count read:
    // fewer at the end of the file, 0 at or past it. Throws FileError on an I/O error.
    std::size_t read(MutableBytes buffer);

    // Reads exactly buffer.size() bytes, or returns false (the position is then unspecified).
    bool readExact(MutableBytes buffer) { return read(buffer) == buffer.size(); }

    // Reads up to buffer.size() bytes at `offset` without using or moving the position (pread), so several
    // threads may call it at once. Returns the count read: fewer at the end of the file, 0 at or past it.
    // Throws FileError on an I/O error.
    std::size_t readAt(std::uint64_t offset, MutableBytes buffer) const;

    // Reads `head` and then `body` from the bytes that follow it, at `offset`, with one positioned read
    // (preadv): a chunk header and the data after it in one system call. Returns the count read into both,
    // head first: fewer at the end of the file. Thread-safe as readAt; throws FileError on an I/O error.
    std::size_t readAt(std::uint64_t offset, MutableBytes head, MutableBytes body) const;

    // Where the file's data resumes at or after `offset` (lseek SEEK_DATA): `offset` itself unless it lies in
    // a hole of a sparse file, the file size when only a hole follows. Where the data at `offset` ends
    // (SEEK_HOLE): the start of the next hole, or the file size. Both read nothing; where the file system
    // cannot tell, the whole file counts as data.
    std::uint64_t dataFrom(std::uint64_t offset) const;
    std::uint64_t holeFrom(std::uint64_t offset) const;

    // Tells the kernel that `length` bytes at `offset` will be read soon (posix_fadvise WILLNEED): it starts
    // reading them in the background, so that many scattered small reads overlap instead of waiting one by
    // one. Only a hint: it never fails and reads nothing into the caller's memory.
    void willRead(std::uint64_t offset, std::uint64_t length) const;

    // Tells the kernel that the file will be read from start to end (posix_fadvise SEQUENTIAL): it reads
    // further ahead. One hint for the whole file; never fails.
    void willReadInOrder() const;

    // Writes all of `bytes` at the position and moves past them. Throws FileError on failure.
    void write(Bytes bytes);

    // Writes all of `parts`, one after the other, at the position and moves past them, straight from the
    // caller's memory in as few system calls as the system allows (pwritev). Throws FileError on failure.
    void write(std::span<const Bytes> parts);

private:
    BinaryFile() = default;

    int m_fd = -1;
    std::string m_path;
    std::uint64_t m_size = 0;
    std::int64_t m_position = 0;
};

}  // namespace moraven
