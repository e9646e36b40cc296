#pragma once

#include "formats/avi_fichier.h"
#include "window/list_record.h"

namespace moraven {

// The list's record of a real video file: a TAfficherFichier, read once when the row is made.
class VideoFileRecord final : public ListRecord {
public:
    // Reads the file; throws FileError for a file that exists but cannot be opened for reading.
    VideoFileRecord(const std::string& path, const FileRecordOptions& options) : m_fichier(path, options) {}

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

private:
    TAfficherFichier m_fichier;
};

// Makes VideoFileRecords with the datecode pattern and date names of `options`.
RecordFactory videoRecordFactory(FileRecordOptions options);

}  // namespace moraven
