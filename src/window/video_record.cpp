#include "window/video_record.h"

#include "window/utf8_case.h"

namespace moraven {

namespace {

// `key` with its last `nameBytes` bytes (the names that the file record lowered in ASCII only) lowered
// whole; what comes before (digits, "N/A", the marks of unreadable files) stays as the record made it.
std::string withLoweredNames(const std::string& key, std::size_t nameBytes) {
    if (nameBytes > key.size()) return lowerUtf8(key);
    const std::size_t start = key.size() - nameBytes;
    return key.substr(0, start) + lowerUtf8(std::string_view(key).substr(start));
}

}  // namespace

VideoFileRecord::VideoFileRecord(const std::string& path, const FileRecordOptions& options)
    : m_fichier(path, options) {
    // The name key and the datecode key end with the file name and the full path, the others with the path.
    const std::size_t pathBytes = m_fichier.FullPath().size();
    const std::size_t nameAndPathBytes = m_fichier.FileName().size() + pathBytes;
    m_keys[kOrderDatecode] = withLoweredNames(m_fichier.ListKey(), nameAndPathBytes);
    m_keys[kOrderAlphabetical] = withLoweredNames(m_fichier.NameKey(), nameAndPathBytes);
    m_keys[kOrderFileSize] = withLoweredNames(m_fichier.SizeKey(), pathBytes);
    m_keys[kOrderFileDate] = withLoweredNames(m_fichier.DateKey(), pathBytes);
}

const std::string& VideoFileRecord::sortKey(int order) const {
    return m_keys[static_cast<std::size_t>(normalizedSortOrder(order))];
}

RecordFactory videoRecordFactory(FileRecordOptions options) {
    return [options = std::move(options)](const std::string& path) -> std::unique_ptr<ListRecord> {
        return std::make_unique<VideoFileRecord>(path, options);
    };
}

}  // namespace moraven
