#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "formats/sr_fichier.h"

// The record of one listed video file: the name and file-system facts (sr_fichier.h), the AVI and DV facts
// and every display text that the list, the information panel and the commands read, and the four sort keys.
// Built once by TAfficherFichier's constructor, read-only afterwards.
//
// Texts stand for absence as values, never as errors: "-" (a readable file that is not DV), "N/A" (no such
// fact), or an empty text (a file that the container reader or the list scan could not read).
namespace moraven {

class AviDemuxer;

// The start of the datecode sort key of a readable file that is not DV (character 254) and of a file that
// could not be read (character 255): both sort after every datecode and after "N/A".
inline constexpr std::string_view kNotDvDatecodeKey = "\xFE";
inline constexpr std::string_view kUnreadableDatecodeKey = "\xFF";

// What a record takes from the settings and the system: the pattern of the datecode text (the setting
// "Format pour Afficher Datecode") and the user's date names and forms. Used during construction only.
struct FileRecordOptions {
    std::string datecodePattern = "ddddd hh:nn:ss";  // the setting's default
    DateFormatLocale locale = englishDateFormatLocale();
};

// The AVI and DV facts of the file, from the AVI container reader (aviinfo.h), the list scan (list_scan.h)
// and, for a file whose handler the scan refuses, the header patcher (fpsunit.h).
class TaviFichier : public TSRFichier {
public:
    // Builds the whole record (see the steps in the source). Reads the headers, the index and the first DV
    // frame; never writes to the file. A file that the scan refuses only because of its video handler is
    // scanned once more as if its video stream header said "dvsd" (the handler is replaced in memory, the
    // file stays as it is).
    //
    // Foreign, damaged and missing files give a record whose texts say so. Throws FileError only for a file
    // that exists but cannot be opened for reading (no permission): no record can be made of it.
    TaviFichier(const std::string& path, const FileRecordOptions& options);
    // The same, with the streams and samples of `demuxer`, which the caller opened on `path` and keeps
    // (a command that reads the file further indexes it once). Used during construction only.
    TaviFichier(const std::string& path, const FileRecordOptions& options, const AviDemuxer& demuxer);

    // The datecode part of ListKey: the first frame's recording date-time as "yyyymmddhhnnss" for DV files
    // with a datecode, "N/A" for DV files without one, kNotDvDatecodeKey for readable files that are not
    // DV, kUnreadableDatecodeKey for files that could not be read or scanned.
    const std::string& DatecodeKey() const { return m_datecodeKey; }
    // The recording date-time of the first frame formatted with the options' pattern; "N/A" for a DV file
    // without one (or when the pattern cannot format it), "-" for a file that is not DV, empty for a file
    // that could not be read.
    const std::string& DatecodeText() const { return m_datecodeText; }
    // The recording date-time of the first frame; 0 when the file has none.
    DateTime Datecode() const { return m_datecode; }
    // The first frame's tape timecode as "hh.mm.ss.ff"; absence values as DatecodeText.
    const std::string& TimecodeText() const { return m_timecodeText; }
    // The video stream's handler, its four bytes as they stand (unprintable ones included); empty when the
    // file could not be read or the scan found no video.
    const std::string& Codec() const { return m_codec; }
    // 1 or 2 for DV files, 0 otherwise.
    std::int32_t DvType() const { return m_dvType; }
    // A DV file whose interleaved DV stream ("iavs") sits among two or more streams.
    bool Type2Iavs() const { return m_type2Iavs; }
    // "720 x 576", for DV files followed by the system and the shape ("720 x 576 (Pal 16x9)"); "N/A"
    // without video.
    const std::string& ImageText() const { return m_imageText; }
    // The picture size in pixels; for DV files the height is that of the picture shape (Width × 9 / 16 or
    // Width × 3 / 4).
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    // The video duration, counted in frames; in milliseconds when the frame duration is 0.
    const std::string& VideoDurationText() const { return m_videoDurationText; }
    // Frames per second (25, 29.97, or for DV files with a DV information block 30000/1001); 0 when unknown.
    double Fps() const { return m_fps; }
    // "48000Hz 16 bits  stereo", "32000Hz 12(16) bits  stereo" for 32 kHz DV sound; "N/A" without audio.
    const std::string& AudioText() const { return m_audioText; }
    // The audio duration, counted in frames of the video (in milliseconds without a frame rate); empty
    // without audio.
    const std::string& AudioDurationText() const { return m_audioDurationText; }
    // "PCM 192000 bytes/s": the format tag's name and the average byte rate; empty without audio.
    const std::string& AudioFormatText() const { return m_audioFormatText; }
    // 0 unknown, 1 PAL (625/50), 2 NTSC (525/60); the values of DvSystem.
    std::uint8_t TvSystem() const { return m_tvSystem; }
    // A file with the same path and the extension ".scn" (the scene file) exists.
    bool HasScenes() const { return m_hasScenes; }
    // The codec, in lower case, is "dvsd", "dsvd" or "cdvc".
    bool IsDv() const { return m_isDv; }
    // A DV file whose first frame announces a 16:9 picture.
    bool Is16x9() const { return m_is16x9; }
    // DatecodeKey, then FileName and FullPath in lower case: the key of the list's order by datecode.
    const std::string& ListKey() const { return m_listKey; }

private:
    // The AVI and DV facts, through `shared` or, when it is null, a demuxer of our own.
    void readAviFacts(const FileRecordOptions& options, const AviDemuxer* shared);

    std::string m_datecodeKey;
    std::string m_datecodeText;
    DateTime m_datecode;
    std::string m_timecodeText;
    std::string m_codec;
    std::int32_t m_dvType = 0;
    bool m_type2Iavs = false;
    std::string m_imageText;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::string m_videoDurationText;
    double m_fps = 0.0;
    std::string m_audioText;
    std::string m_audioDurationText;
    std::string m_audioFormatText;
    std::uint8_t m_tvSystem = 0;
    bool m_hasScenes = false;
    bool m_isDv = false;
    bool m_is16x9 = false;
    std::string m_listKey;
};

// The record that the file list creates for each row; it adds nothing to TaviFichier.
class TAfficherFichier : public TaviFichier {
public:
    explicit TAfficherFichier(const std::string& path, const FileRecordOptions& options = {})
        : TaviFichier(path, options) {}
    TAfficherFichier(const std::string& path, const FileRecordOptions& options, const AviDemuxer& demuxer)
        : TaviFichier(path, options, demuxer) {}
};

}  // namespace moraven
