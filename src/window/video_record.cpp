#include "window/video_record.h"

namespace moraven {

const std::string& VideoFileRecord::sortKey(int order) const {
    switch (normalizedSortOrder(order)) {
        case kOrderAlphabetical:
            return m_fichier.NameKey();
        case kOrderFileSize:
            return m_fichier.SizeKey();
        case kOrderFileDate:
            return m_fichier.DateKey();
        default:
            return m_fichier.ListKey();
    }
}

RecordFactory videoRecordFactory(FileRecordOptions options) {
    return [options = std::move(options)](const std::string& path) -> std::unique_ptr<ListRecord> {
        return std::make_unique<VideoFileRecord>(path, options);
    };
}

}  // namespace moraven
