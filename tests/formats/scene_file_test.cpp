#include "formats/scene_file.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/date_format.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/file_size_limit.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

Bytes8 text(const std::string& s) { return Bytes8(s.begin(), s.end()); }
Bytes8 zeros(std::size_t n) { return Bytes8(n, 0); }
Bytes8 join(std::initializer_list<Bytes8> parts) {
    Bytes8 out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TSceneInfo scene(std::int32_t start, std::int32_t end) {
    TSceneInfo s;
    s.StartFrame = start;
    s.EndFrame = end;
    return s;
}

SceneVideo videoAt(const std::string& path) { return SceneVideo{path, 25, DateTime(), "N/A"}; }

// Runs the test in `folder` as the working directory, so that a short relative path can stand for a video.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& folder)
        : m_saved(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingDirectory() { std::filesystem::current_path(m_saved); }

private:
    std::filesystem::path m_saved;
};

TEST(SceneFileTest, TwoScenesOfATenBytePathGiveExactlyTheseBytes) {
    test::TempDir dir;
    const WorkingDirectory inside(dir.path());
    SceneFileWriter writer;
    EXPECT_EQ(writer.name(), "CreerScenes");
    ASSERT_TRUE(writer.OpenScenes(videoAt("clip01.avi"))) << writer.lastError();
    EXPECT_EQ(writer.filePath(), "clip01.scn");
    writer.WriteScene(scene(0, 149));
    writer.WriteScene(scene(150, 399));
    writer.CloseScenes();
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(writer.lastError(), "");

    const Bytes8 expected = join({
        // header: 65 + 10 bytes, the count 2 at offset 43
        {0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00},
        {0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00},
        text("SourceTape"),
        {10},
        text("clip01.avi"),
        zeros(8),
        {0x02, 0x00},
        {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00},
        text("ClipP"),
        zeros(3),
        {0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00},
        text("Scene"),
        zeros(5),
        // first scene, 23 + 10 bytes: E = 150
        {0x96, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x00, 0x00, 0x01, 0x80},
        {10},
        text("clip01.avi"),
        zeros(8),
        {0x96, 0x00, 0x00, 0x00},
        // second scene, 35 bytes: S = 150, D = 250
        {0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00},
        {0x96, 0x00, 0x00, 0x00},
        {0xFA, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x00, 0x00, 0x07, 0x00},
        {0x96, 0x00, 0x00, 0x00},
        {0xFA, 0x00, 0x00, 0x00},
        {0x96, 0x00, 0x00, 0x00},
    });
    const Bytes8 written = test::readWholeFile(dir.file("clip01.scn"));
    ASSERT_EQ(written.size(), 143u);
    EXPECT_EQ(written, expected);

    const auto read = parseSceneFile(written);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, (SceneFileContents{"clip01.avi", 2, {150, 150}}));
}

TEST(SceneFileTest, RecordSizesFollowThePathLengthAndScenesEndingAtFrameZeroAreSkipped) {
    test::TempDir dir;
    const std::string video = dir.file(std::string(120, 'v') + ".avi");
    const std::size_t pathBytes = video.size();
    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(video)));
    EXPECT_EQ(std::filesystem::file_size(writer.filePath()), 65 + pathBytes);
    writer.WriteScene(scene(0, 0));  // neither written nor counted
    EXPECT_EQ(writer.sceneCounter(), 0);
    EXPECT_EQ(std::filesystem::file_size(writer.filePath()), 65 + pathBytes);
    writer.WriteScene(scene(0, 24));
    EXPECT_EQ(std::filesystem::file_size(writer.filePath()), 65 + pathBytes + 23 + pathBytes);
    writer.WriteScene(scene(25, 99));
    writer.WriteScene(scene(100, 0));  // skipped as well
    writer.WriteScene(scene(100, 199));
    EXPECT_EQ(std::filesystem::file_size(writer.filePath()), 65 + pathBytes + 23 + pathBytes + 2 * 35);
    EXPECT_EQ(writer.sceneCounter(), 3);
    writer.CloseScenes();

    const Bytes8 written = test::readWholeFile(sceneFilePath(video));
    EXPECT_EQ(u16le(written, 33 + pathBytes), 3);
    const auto read = readSceneFile(sceneFilePath(video));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->videoPath, video);
    EXPECT_EQ(read->boundaries, (std::vector<std::int32_t>{25, 25, 100}));
}

TEST(SceneFileTest, OnlyThe32767FirstScenesAreWrittenAndTheCountSaysSo) {
    test::TempDir dir;
    const std::string video = dir.file("long.avi");
    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(video)));
    for (std::int32_t k = 0; k < 32770; ++k) writer.WriteScene(scene(10 * k, 10 * k + 9));
    EXPECT_EQ(writer.sceneCounter(), 32770);
    writer.CloseScenes();

    const std::size_t pathBytes = video.size();
    EXPECT_EQ(std::filesystem::file_size(sceneFilePath(video)), 65 + pathBytes + 23 + pathBytes + 32766 * 35);
    const auto read = readSceneFile(sceneFilePath(video));
    ASSERT_TRUE(read.has_value()) << "the count must not announce records that are not there";
    EXPECT_EQ(read->sceneCount, 32767);
    ASSERT_EQ(read->boundaries.size(), 32767u);
    EXPECT_EQ(read->boundaries.front(), 10);
    EXPECT_EQ(read->boundaries.back(), 10 * 32766);
}

TEST(SceneFileTest, APathLongerThan255BytesIsRefusedAndTouchesNothing) {
    test::TempDir dir;
    const std::string folder = dir.path().string() + "/";
    ASSERT_LT(folder.size(), 200u);
    const std::string fits = folder + std::string(255 - folder.size() - 4, 'a') + ".avi";
    const std::string tooLong = folder + std::string(256 - folder.size() - 4, 'b') + ".avi";
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);

    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(fits))) << writer.lastError();
    writer.WriteScene(scene(0, 9));
    writer.CloseScenes();
    const auto read = readSceneFile(sceneFilePath(fits));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->videoPath, fits);

    // An older scene file of the long path stays as it was.
    const std::string old =
        dir.write(std::filesystem::path(sceneFilePath(tooLong)).filename().string(), {1, 2, 3});
    EXPECT_FALSE(writer.OpenScenes(videoAt(tooLong)));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_NE(writer.lastError().find("255"), std::string::npos) << writer.lastError();
    EXPECT_NE(writer.lastError().find("256"), std::string::npos) << writer.lastError();
    writer.WriteScene(scene(0, 9));
    writer.CloseScenes();
    EXPECT_EQ(test::readWholeFile(old), (Bytes8{1, 2, 3}));
}

TEST(SceneFileTest, OpeningReplacesAnOldSceneFileAndAFailedOpenLeavesNothingToClose) {
    test::TempDir dir;
    const std::string video = dir.file("clip.avi");
    dir.write("clip.scn", Bytes8(5000, 0xEE));
    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(video)));
    writer.CloseScenes();
    // Only the header is left, with count 0: a reader finds no first scene and takes the file as absent.
    const Bytes8 written = test::readWholeFile(dir.file("clip.scn"));
    EXPECT_EQ(written.size(), 65 + video.size());
    EXPECT_EQ(u16le(written, 33 + video.size()), 0);
    EXPECT_FALSE(readSceneFile(dir.file("clip.scn")).has_value());

    EXPECT_FALSE(writer.OpenScenes(videoAt(dir.file("missing/clip.avi"))));
    EXPECT_NE(writer.lastError().find("missing/clip.scn"), std::string::npos) << writer.lastError();
    writer.WriteScene(scene(0, 9));
    writer.CloseScenes();
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));

    // A folder in the scene file's place is not deleted.
    std::filesystem::create_directory(dir.file("folder.scn"));
    EXPECT_FALSE(writer.OpenScenes(videoAt(dir.file("folder.avi"))));
    EXPECT_NE(writer.lastError().find("folder.scn"), std::string::npos) << writer.lastError();
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.scn")));
    EXPECT_EQ(test::readWholeFile(dir.file("clip.scn")), written) << "a failed open touches no other file";
}

TEST(SceneFileTest, AFailedWriteKeepsTheWholeRecordsAndCountsOnlyThem) {
    test::TempDir dir;
    const std::string video = dir.file("clip.avi");
    const std::size_t pathBytes = video.size();
    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(video)));
    {
        // Room for the first record, two later ones and 10 bytes of a third.
        const test::FileSizeLimit limit(65 + pathBytes + 23 + pathBytes + 2 * 35 + 10);
        ASSERT_TRUE(limit.ok());
        for (std::int32_t k = 0; k < 6; ++k) writer.WriteScene(scene(100 * k, 100 * k + 99));
        writer.CloseScenes();
    }
    EXPECT_NE(writer.lastError(), "");
    const auto read = readSceneFile(sceneFilePath(video));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->sceneCount, 3);
    EXPECT_EQ(read->boundaries, (std::vector<std::int32_t>{100, 100, 200}));
}

TEST(SceneFileTest, TheReaderNeedsEveryRecordTheCountAnnounces) {
    test::TempDir dir;
    const std::string video = dir.file("clip.avi");
    SceneFileWriter writer;
    ASSERT_TRUE(writer.OpenScenes(videoAt(video)));
    writer.WriteScene(scene(0, 49));
    writer.WriteScene(scene(50, 79));
    writer.WriteScene(scene(80, 99));
    writer.CloseScenes();
    const Bytes8 whole = test::readWholeFile(sceneFilePath(video));
    const std::size_t pathBytes = video.size();
    // The last value read is the third record's start, 13 bytes into it; the skips after it need no bytes.
    const std::size_t needed = 65 + pathBytes + 23 + pathBytes + 35 + 13;
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const auto read = parseSceneFile(Bytes(whole).first(size));
        ASSERT_EQ(read.has_value(), size >= needed) << size;
        if (read) {
            ASSERT_EQ(read->boundaries, (std::vector<std::int32_t>{50, 50, 80}));
        }
    }

    // A count that announces more records than the file holds makes it unreadable; a count of 0 still
    // gives the first record's end.
    Bytes8 changed = whole;
    putU16le(changed, 33 + pathBytes, 4);
    EXPECT_FALSE(parseSceneFile(changed).has_value());
    putU16le(changed, 33 + pathBytes, 0);
    const auto none = parseSceneFile(changed);
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->boundaries, (std::vector<std::int32_t>{50}));
    EXPECT_FALSE(readSceneFile(dir.file("missing.scn")).has_value());
    EXPECT_FALSE(readSceneFile(dir.path().string()).has_value());
}

TEST(SceneFileTest, SceneFilePathReplacesTheExtensionOfTheFileName) {
    const std::pair<std::string, std::string> cases[] = {
        {"/videos/clip.avi", "/videos/clip.scn"},
        {"/videos/clip.2004.AVI", "/videos/clip.2004.scn"},
        {"/videos.old/clip", "/videos.old/clip.scn"},
        {"clip.avi", "clip.scn"},
        {"clip", "clip.scn"},
    };
    for (const auto& [video, scn] : cases) EXPECT_EQ(sceneFilePath(video), scn) << video;
}

// A PAL DV type 2 file whose frames are dated 10:00:00 (frames 0..39) and 12:30:00 (40..99).
std::string twoRecordings(const test::TempDir& dir) {
    test::DvFrameBuilder early;
    early.recDate(0, 2004, 7, 15, 10, 0, 0);
    test::DvFrameBuilder late;
    late.recDate(0, 2004, 7, 15, 12, 30, 0);
    const std::string path = dir.file("clip.avi");
    test::DvAviOptions options;
    options.withSound = false;
    test::writeDvAvi(
        path, 100,
        [&](std::size_t i) -> const std::vector<std::uint8_t>& {
            return i < 40 ? early.bytes() : late.bytes();
        },
        options);
    return path;
}

TEST(SceneFileTest, ASceneScanWritesTheSceneFile) {
    test::TempDir dir;
    const std::string video = twoRecordings(dir);
    TdmScenes scenes("ddddd hh:nn:ss", englishDateFormatLocale());
    SceneFileWriter writer;
    const std::atomic<bool> abort{false};
    ASSERT_EQ(scenes.ScanScenes(videoAt(video), writer, abort).outcome, SceneScanOutcome::Completed);
    EXPECT_FALSE(writer.isOpen()) << "closed by the scan";
    const auto read = readSceneFile(dir.file("clip.scn"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->sceneCount, 2);
    EXPECT_EQ(read->boundaries, (std::vector<std::int32_t>{40, 40}));

    // A video that does not load leaves a scene file with its header only.
    const std::string broken = dir.write("broken.avi", {'n', 'o'});
    EXPECT_EQ(scenes.ScanScenes(videoAt(broken), writer, abort).outcome, SceneScanOutcome::NotLoaded);
    EXPECT_EQ(std::filesystem::file_size(dir.file("broken.scn")), 65 + broken.size());
}

}  // namespace
}  // namespace moraven
