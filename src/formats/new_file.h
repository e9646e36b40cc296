#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/binary_file.h"
#include "formats/byte_order.h"

// Writing a new file so that it never replaces another one and never poses as complete before it is.
//
// The bytes go to a temporary file beside the target (same folder, so the final rename stays on one file
// system): ".<target name>.<random>.part", created with O_EXCL. commit() gives it the target's name with a
// rename that never replaces a file; until then the target name is untouched. A file that is not committed
// (an error, an abandoned write, an exception that unwinds past the owner) is removed by discard() or by the
// destructor, so no half-written file is ever left under the target's name. A crash leaves only the hidden
// ".part" file.
namespace moraven {

// Renames `from` to `to` without ever replacing an existing `to`: renameat2 with RENAME_NOREPLACE; where
// the file system lacks that flag, a hard link then an unlink of `from`; where it also lacks hard links
// (FAT, exFAT), a check that `to` is free right before a plain rename (the one case with a small window in
// which another program could take the name). Throws FileError: AlreadyExists when `to` exists.
void renameWithoutReplacing(const std::string& from, const std::string& to);

// Appends bytes through a large buffer, so that the file system sees few big writes (large blocks go to the
// file from the caller's memory, without that copy), and lets the owner patch bytes it already appended
// (headers whose totals are known only at the end).
//
// Not thread-safe: one owner writes. Every I/O failure throws FileError; the file then stays under its
// temporary name until discard() or the destructor removes it.
class NewFile {
  public:
    static constexpr std::size_t kDefaultBufferBytes = std::size_t{4} << 20;

    // Refuses (FileError AlreadyExists) when `targetPath` names anything already; creates the temporary
    // file beside it (FileError when the folder is missing or not writable).
    explicit NewFile(std::string targetPath, std::size_t bufferBytes = kDefaultBufferBytes);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const std::string& targetPath() const { return m_targetPath; }
    const std::string& temporaryPath() const { return m_temporaryPath; }

    // True until commit() or discard(). Appending to a file that is no longer open throws FileError.
    bool isOpen() const { return m_open; }

    // Bytes appended so far: the position at which the next append lands.
    std::uint64_t size() const { return m_flushed + m_buffer.size(); }

    void append(Bytes bytes);
    void appendZeros(std::size_t count);

    // Appends `parts` one after the other (a chunk header, its data, a pad byte). Parts of less than
    // kGatherBytes in all are copied into the buffer as append() does; larger ones (a DV frame) go to the
    // file together with what the buffer holds in one gathered write, straight from the caller's memory.
    void append(std::span<const Bytes> parts);
    static constexpr std::size_t kGatherBytes = std::size_t{64} << 10;

    // Rewrites bytes already appended, from `position` on; `position + bytes.size()` must not pass size().
    // Flushes the buffer first; meant for the few header patches of a file, not for every sample.
    void overwrite(std::uint64_t position, Bytes bytes);

    // Writes what is buffered to the file.
    void flush();

    // Flushes, closes and renames the file to the target name without replacing anything. On failure
    // (FileError, AlreadyExists when the target appeared meanwhile) the temporary file is removed.
    void commit();

    // Removes the temporary file; nothing is left on disk. Safe to call at any time, also twice.
    void discard() noexcept;

  private:
    std::string m_targetPath;
    std::string m_temporaryPath;
    std::optional<BinaryFile> m_file;  // empty once committed or discarded
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_bufferCapacity;
    std::uint64_t m_flushed = 0;
    bool m_open = true;
};

}  // namespace moraven
