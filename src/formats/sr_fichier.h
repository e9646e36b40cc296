#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/date_time.h"

// The first two levels of the record of one listed file: its names (TBaseFichier) and what the file system
// says about it (TSRFichier). The video facts follow in avi_fichier.h.
//
// Names are bytes: a path is taken as given, usually UTF-8 but any bytes other than NUL. Sort keys are byte
// strings compared byte by byte; their lower case is that of the ASCII letters only, so the bytes of a
// multi-byte UTF-8 character (all 0x80 or above) are never changed, and keys sort names without regard to
// the case of Latin letters.
//
// A record is built once by its constructor and is read-only afterwards: every field is read through the
// accessor of its name. Records are plain values without threads of their own; build each on one thread.
namespace moraven {

// `text` with the ASCII letters A to Z in lower case and every other byte as it stands.
std::string lowerCaseKey(std::string_view text);

class TBaseFichier {
public:
    // `path` names the file; a relative path is made absolute against the current folder (lexically: ".."
    // and symbolic links stay as they are).
    explicit TBaseFichier(const std::string& path);

    // The file name with its extension, without the folder: the bytes after the last '/'.
    const std::string& FileName() const { return m_fileName; }
    // The absolute path of the file.
    const std::string& FullPath() const { return m_fullPath; }
    // FileName followed by FullPath, in lower case: the key of the list's order by name.
    const std::string& NameKey() const { return m_nameKey; }

private:
    std::string m_fileName;
    std::string m_fullPath;
    std::string m_nameKey;
};

// The file-system facts of the file: one query of its directory entry (statx, following symbolic links).
class TSRFichier : public TBaseFichier {
public:
    // Attribute bits.
    static constexpr std::uint32_t kReadOnlyAttribute = 0x01;  // the owner has no write permission
    static constexpr std::uint32_t kDirectoryAttribute = 0x10;

    explicit TSRFichier(const std::string& path);

    // The query found the file. When it did not, every field below is zero or empty.
    bool Exists() const { return m_exists; }
    // The size in bytes as two 32-bit halves: size = SizeHigh × 2^32 + SizeLow.
    std::uint32_t SizeHigh() const { return m_sizeHigh; }
    std::uint32_t SizeLow() const { return m_sizeLow; }
    std::uint64_t size() const { return (std::uint64_t{m_sizeHigh} << 32) | m_sizeLow; }
    // The file times in local time, to the millisecond (0 for a time outside years 1 to 9999). Created is
    // the birth time where the file system keeps it, else the time of the last change of the inode (Linux
    // files have no other creation time).
    DateTime Created() const { return m_created; }
    DateTime Modified() const { return m_modified; }
    DateTime Accessed() const { return m_accessed; }
    // kReadOnlyAttribute, kDirectoryAttribute.
    std::uint32_t Attributes() const { return m_attributes; }
    // SizeHigh and SizeLow each as 16 upper-case hexadecimal digits, then FullPath in lower case: the key of
    // the list's order by size.
    const std::string& SizeKey() const { return m_sizeKey; }
    // Modified as "yyyymmddhhnnss", then FullPath in lower case: the key of the list's order by file date.
    const std::string& DateKey() const { return m_dateKey; }

private:
    bool m_exists = false;
    std::uint32_t m_sizeHigh = 0;
    std::uint32_t m_sizeLow = 0;
    DateTime m_created;
    DateTime m_modified;
    DateTime m_accessed;
    std::uint32_t m_attributes = 0;
    std::string m_sizeKey;
    std::string m_dateKey;
};

}  // namespace moraven
