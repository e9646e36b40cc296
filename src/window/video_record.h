#pragma once

#include <array>
#include <string>

#include "formats/avi_fichier.h"
#include "window/list_record.h"

namespace moraven {

// The list's record of a real video file: a TAfficherFichier, read once when the row is made. Its sort keys
// are the file record's with the names in them lowered as a whole (lowerUtf8), not only their ASCII letters,
// so that "Étude" and "étude" sort together.
class VideoFileRecord final : public ListRecord {
public:
    // Reads the file; throws FileError for a file that exists but cannot be opened for reading.
    VideoFileRecord(const std::string& path, const FileRecordOptions& options);

    const TAfficherFichier& fichier() const { return m_fichier; }

    const std::string& fullPath() const override { return m_fichier.FullPath(); }
    const std::string& fileName() const override { return m_fichier.FileName(); }
    const std::string& sortKey(int order) const override;
    DateTime datecode() const override { return m_fichier.Datecode(); }
    const std::string& datecodeText() const override { return m_fichier.DatecodeText(); }
    const std::string& timecodeText() const override { return m_fichier.TimecodeText(); }
    DateTime created() const override { return m_fichier.Created(); }
    DateTime modified() const override { return m_fichier.Modified(); }
    std::uint32_t attributes() const override { return m_fichier.Attributes(); }
    double fps() const override { return m_fichier.Fps(); }
    const std::string& codec() const override { return m_fichier.Codec(); }
    bool isDv() const override { return m_fichier.IsDv(); }
    int dvType() const override { return m_fichier.DvType(); }
    bool type2Iavs() const override { return m_fichier.Type2Iavs(); }
    DvSystem tvSystem() const override { return static_cast<DvSystem>(m_fichier.TvSystem()); }
    const std::string& audioText() const override { return m_fichier.AudioText(); }

private:
    TAfficherFichier m_fichier;
    std::array<std::string, 4> m_keys;  // by order: datecode, alphabetical, file size, file date
};

// Makes VideoFileRecords with the datecode pattern and date names of `options`.
RecordFactory videoRecordFactory(FileRecordOptions options);

}  // namespace moraven
