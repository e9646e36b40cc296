#include "formats/sr_fichier.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "formats/date_format.h"

namespace moraven {

namespace {

std::string absolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// A file time as a local date-time value with its milliseconds (truncated); 0 when it lies outside the
// years that date-time values hold.
DateTime localDateTime(const statx_timestamp& time) {
    const std::time_t seconds = static_cast<std::time_t>(time.tv_sec);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) return DateTime();
    const CalendarDateTime fields{local.tm_year + 1900,
                                  local.tm_mon + 1,
                                  local.tm_mday,
                                  local.tm_hour,
                                  local.tm_min,
                                  local.tm_sec > 59 ? 59 : local.tm_sec,  // a leap second
                                  static_cast<int>(time.tv_nsec / 1'000'000)};
    return encodeDateTime(fields).value_or(DateTime());
}

std::string hex16(std::uint32_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%.16X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string lowerCaseKey(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

TBaseFichier::TBaseFichier(const std::string& path) : m_fullPath(absolutePath(path)) {
    const std::size_t slash = m_fullPath.rfind('/');
    m_fileName = slash == std::string::npos ? m_fullPath : m_fullPath.substr(slash + 1);
    m_nameKey = lowerCaseKey(m_fileName + m_fullPath);
}

TSRFichier::TSRFichier(const std::string& path) : TBaseFichier(path) {
    struct statx entry {};
    if (::statx(AT_FDCWD, FullPath().c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &entry) != 0) return;
    m_exists = true;
    m_sizeHigh = static_cast<std::uint32_t>(entry.stx_size >> 32);
    m_sizeLow = static_cast<std::uint32_t>(entry.stx_size);
    // Linux keeps no creation time of its own; the birth time is the closest, where the file system has it.
    const bool hasBirthTime = (entry.stx_mask & STATX_BTIME) != 0 && entry.stx_btime.tv_sec != 0;
    m_created = localDateTime(hasBirthTime ? entry.stx_btime : entry.stx_ctime);
    m_modified = localDateTime(entry.stx_mtime);
    m_accessed = localDateTime(entry.stx_atime);
    if ((entry.stx_mode & S_IWUSR) == 0) m_attributes |= kReadOnlyAttribute;
    if (S_ISDIR(entry.stx_mode)) m_attributes |= kDirectoryAttribute;

    const std::string lowerPath = lowerCaseKey(FullPath());
    m_sizeKey = hex16(m_sizeHigh) + hex16(m_sizeLow) + lowerPath;
    m_dateKey = formatDateTime("yyyymmddhhnnss", m_modified).value_or(std::string()) + lowerPath;
}

}  // namespace moraven
