// Clips that ffmpeg's DV encoder and muxer write, with their own recording dates and timecodes, joined into
// one file: the scene scan cuts it where the recording time jumps.
#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/date_format.h"
#include "formats/list_scan.h"
#include "formats/scene_file.h"
#include "formats/scene_scan.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

class RecordingWriter : public TSceneWriter {
public:
    const std::string& name() const override { return m_name; }
    bool OpenScenes(const SceneVideo&) override { return true; }
    void WriteScene(const TSceneInfo& scene) override { scenes.push_back(scene); }
    void CloseScenes() override {}
    std::vector<TSceneInfo> scenes;

private:
    std::string m_name = "Recording";
};

struct Clip {
    int frames;
    std::string creationTime;
    std::string timecode;
};

// The clips encoded one by one as raw DV, joined byte for byte, and copied into an AVI file by ffmpeg.
// `firstFrames` receives the number of the first frame of each clip (ffmpeg cuts a clip at a time, which
// may fall one frame short of the count asked for).
std::string joinedClips(const test::TempDir& dir, bool ntsc, const std::vector<Clip>& clips,
                        std::vector<std::int32_t>& firstFrames) {
    const std::size_t frameBytes = ntsc ? 120000 : 144000;
    std::size_t total = 0;
    const std::string joined = dir.file("joined.dv");
    {
        std::ofstream out(joined, std::ios::binary);
        for (std::size_t k = 0; k < clips.size(); ++k) {
            test::DvClipOptions options;
            options.ntsc = ntsc;
            options.frames = clips[k].frames;
            options.creationTime = clips[k].creationTime;
            options.timecode = clips[k].timecode;
            const auto bytes = test::readWholeFile(
                test::makeRawDvWithFfmpeg(dir.path().string(), "clip" + std::to_string(k) + ".dv", options));
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            firstFrames.push_back(static_cast<std::int32_t>(total / frameBytes));
            total += bytes.size();
        }
        firstFrames.push_back(static_cast<std::int32_t>(total / frameBytes));
    }
    const std::string avi = dir.file("joined.avi");
    const auto wrapped =
        test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", joined, "-c", "copy", avi});
    if (wrapped.exitCode != 0) throw std::runtime_error("ffmpeg could not write the AVI: " + wrapped.errors);
    return avi;
}

class SceneScanFfmpegTest : public ::testing::TestWithParam<bool> {};

TEST_P(SceneScanFfmpegTest, JoinedClipsAreCutWhereTheRecordingTimeJumps) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const bool ntsc = GetParam();
    test::TempDir dir;
    std::vector<std::int32_t> first;  // the first frame of each clip, then the frame count
    const std::string avi = joinedClips(dir, ntsc,
                                        {{30, "2004-07-15T13:05:09Z", "01:02:03:04"},
                                         {40, "2006-03-12T15:46:37Z", "05:06:07:08"},
                                         {20, "2006-03-12T15:50:00Z", "05:06:09:00"}},
                                        first);
    ASSERT_EQ(first.size(), 4u);
    ASSERT_GE(first[1], 29);
    ASSERT_GE(first[2] - first[1], 39);

    // What the file's record holds: the first frame's facts.
    TListScanResult scan;
    ASSERT_TRUE(ScanFile(avi, scan));
    ASSERT_TRUE(scan.Dv.HasDate);
    ASSERT_TRUE(scan.Dv.HasTimecode);
    EXPECT_EQ(scan.Dv.Timecode, (TDvTimecode{1, 2, 3, 4}));
    const double fps = ntsc ? 29.97 : 25;
    const SceneVideo video{avi, fps, scan.Dv.RecordedAt, "01.02.03.04"};

    TdmScenes scenes("yyyy-mm-dd hh:nn:ss", englishDateFormatLocale());
    RecordingWriter writer;
    const std::atomic<bool> abort{false};
    const SceneScanResult result = scenes.ScanScenes(video, writer, abort);
    ASSERT_EQ(result.outcome, SceneScanOutcome::Completed) << result.message;
    EXPECT_EQ(result.framesScanned, first[3]);

    ASSERT_EQ(writer.scenes.size(), 3u);
    const TSceneInfo& one = writer.scenes[0];
    EXPECT_EQ(one.StartFrame, 0);
    EXPECT_EQ(one.EndFrame, first[1] - 1);
    EXPECT_EQ(one.DatecodeText, "2004-07-15 13:05:09");
    EXPECT_EQ(one.TimecodeText, "01.02.03.04");
    EXPECT_EQ(one.StartText, "00.00.00.00");
    const TSceneInfo& second = writer.scenes[1];
    EXPECT_EQ(second.StartFrame, first[1]);
    EXPECT_EQ(second.EndFrame, first[2] - 1);
    EXPECT_EQ(second.DatecodeText, "2006-03-12 15:46:37");
    EXPECT_EQ(second.TimecodeText, "05.06.07.08");
    EXPECT_EQ(second.StartText, FrameToText(first[1], fps));
    const TSceneInfo& third = writer.scenes[2];
    EXPECT_EQ(third.StartFrame, first[2]);
    EXPECT_EQ(third.EndFrame, first[3] - 1);
    EXPECT_EQ(third.DatecodeText, "2006-03-12 15:50:00");
    EXPECT_EQ(third.TimecodeText, "05.06.09.00");

    // The same scan into a scene file.
    SceneFileWriter file;
    ASSERT_EQ(scenes.ScanScenes(video, file, abort).outcome, SceneScanOutcome::Completed);
    const auto read = readSceneFile(sceneFilePath(avi));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->boundaries, (std::vector<std::int32_t>{first[1], first[1], first[2]}));
}

std::string systemName(const ::testing::TestParamInfo<bool>& param) { return param.param ? "Ntsc" : "Pal"; }

INSTANTIATE_TEST_SUITE_P(Systems, SceneScanFfmpegTest, ::testing::Values(false, true), systemName);

}  // namespace
}  // namespace moraven
