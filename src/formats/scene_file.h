#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/scene_scan.h"

// The scene file: binary records beside a video ("clip.avi" -> "clip.scn") that name where its scenes
// begin, for the player to step from scene to scene. All numbers little-endian; L is the byte length of the
// video's full path, which the file holds twice after a one-byte length.
//
//   header (65 + L bytes)
//     0   63 26 01 00 04 00 00 00    8   FF FF 03 00 0A 00    14  "SourceTape"
//     24  L    25  the path    25+L  8 zero bytes    33+L  scene count N (16-bit)
//     35+L  FF FF 01 00 04 00  "ClipP"  3 zero bytes      49+L  FF FF 01 00 05 00  "Scene"  5 zero bytes
//   first scene (23 + L bytes; it starts at frame 0), E = its last frame + 1
//     E (32-bit)  00 00 00 00 01 80  L  the path  8 zero bytes  E (32-bit)
//   every later scene (35 bytes), S = its first frame, D = its last frame + 1 - S
//     03 80 F0 00 00 00 05 80 00  S  D  00 00 00 00 07 00  S  D  S
namespace moraven {

inline constexpr std::size_t kSceneFileHeaderBytes = 65;       // plus L
inline constexpr std::size_t kSceneFileFirstRecordBytes = 23;  // plus L
inline constexpr std::size_t kSceneFileRecordBytes = 35;
inline constexpr std::size_t kSceneFileMaxPathBytes = 255;  // the path's length is one byte
inline constexpr std::int32_t kSceneFileMaxScenes = 32767;

// The scene file of a video: its path with the extension (from the last "." of the file name on) replaced
// by ".scn", or ".scn" appended when the name has none.
std::string sceneFilePath(const std::string& videoPath);

// The writer of the command "CreerScenes": one ".scn" file per scan.
//
// Limits, where the one-byte path length and the 16-bit count cannot hold the truth:
//   - a video path longer than 255 bytes is refused by OpenScenes (nothing is deleted or created), with
//     lastError() saying why: a shorter length byte would make the file unreadable;
//   - only the first 32767 scenes are written, and the count field says how many records the file holds
//     (never more than 32767), so a reader finds every record it is told about.
// A failed write ends the writing: the scenes written whole before it stay, CloseScenes writes their count,
// and lastError() tells what failed. Nothing throws.
//
// Threads: WriteScene runs on the scan's thread; one scan at a time.
class SceneFileWriter final : public TSceneWriter {
public:
    SceneFileWriter();

    const std::string& name() const override { return m_name; }

    // Deletes any file at sceneFilePath(video.fullPath), creates it and writes the header (count 0). True
    // only when the whole header was written.
    bool OpenScenes(const SceneVideo& video) override;

    // Appends the scene's record. A scene whose EndFrame is 0 is neither written nor counted.
    void WriteScene(const TSceneInfo& scene) override;

    // Writes the count of the records written and closes the file; nothing when no file is open.
    void CloseScenes() override;

    bool isOpen() const { return m_file.has_value(); }
    const std::string& filePath() const { return m_path; }
    // Scenes counted since OpenScenes (past 32767 the counter goes on, the records stop).
    std::int64_t sceneCounter() const { return m_counter; }
    // Why OpenScenes, a write or the closing failed; empty when nothing failed.
    const std::string& lastError() const { return m_error; }

private:
    void fail(const std::string& message);

    std::string m_name;
    std::optional<BinaryFile> m_file;
    std::string m_path;
    std::string m_videoPath;
    std::int64_t m_counter = 0;
    std::uint16_t m_recordsWritten = 0;
    bool m_writeFailed = false;
    std::string m_error;
};

// What a scene file holds, as the player reads it.
struct SceneFileContents {
    std::string videoPath;
    std::uint16_t sceneCount = 0;
    // The first frame of each scene after the first: the first record's end, then the start of each further
    // record, in file order, as many as the count allows.
    std::vector<std::int32_t> boundaries;

    friend bool operator==(const SceneFileContents&, const SceneFileContents&) = default;
};

// Reads a scene file's bytes: the header, the first record's end and the start of each of the N - 1 further
// records. Nothing when the bytes end before any of these (the file then counts as absent).
std::optional<SceneFileContents> parseSceneFile(Bytes bytes);

// The same from a file; nothing when it cannot be opened or read. Reads at most what a scene file can hold.
std::optional<SceneFileContents> readSceneFile(const std::string& path);

}  // namespace moraven
