#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_fichier.h"
#include "formats/ds_functions.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

// The record of DV files that ffmpeg made, against what ffmpeg was asked to write and what ffprobe reads.
namespace moraven {
namespace {

struct Clip {
    const char* name;
    bool ntsc;
    bool wide;
    int sampleRate;  // ffmpeg's DV muxer takes 32 kHz with 625/50 only
    int frames;
    const char* creationTime;
    const char* timecode;
    // Expected.
    const char* datecodeText;
    const char* timecodeText;
    const char* imageText;
    const char* audioText;
};

const Clip kClips[] = {
    {"PalNarrow48k", false, false, 48000, 30, "2004-07-15T13:05:09Z", "01:02:03:04", "15/07/2004 13:05:09",
     "01.02.03.04", "720 x 576 (Pal 4x3)", "48000Hz 16 bits  stereo"},
    {"PalWide32k", false, true, 32000, 60, "2011-12-31T23:59:58Z", "10:20:30:24", "31/12/2011 23:59:58",
     "10.20.30.24", "720 x 576 (Pal 16x9)", "32000Hz 12(16) bits  stereo"},
    {"NtscNarrow48k", true, false, 48000, 40, "1999-02-28T08:00:00Z", "00:00:59:29", "28/02/1999 08:00:00",
     "00.00.59.29", "720 x 480 (NTSC 4x3)", "48000Hz 16 bits  stereo"},
    {"NtscWide48k", true, true, 48000, 36, "2020-06-01T00:00:01Z", "23:59:59:00", "01/06/2020 00:00:01",
     "23.59.59.00", "720 x 480 (NTSC 16x9)", "48000Hz 16 bits  stereo"},
};

class VideoFileRecordFfmpegTest : public testing::TestWithParam<Clip> {
protected:
    void SetUp() override {
        if (!test::programAvailable("ffmpeg") || !test::programAvailable("ffprobe")) {
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        }
    }
};

// ffprobe's duration of the file's first stream of `type` ("v" video, "a" audio) in units of 100 ns: the end
// of its last packet (the AVI demuxer of ffprobe gives no duration for a PCM stream).
std::int64_t probedDuration(const std::string& path, const std::string& type) {
    const auto probe =
        test::runProgram({"ffprobe", "-v", "error", "-select_streams", type + ":0", "-show_entries",
                          "packet=pts_time,duration_time", "-of", "csv=p=0", path});
    EXPECT_EQ(probe.exitCode, 0) << probe.errors;
    std::istringstream lines(probe.output);
    std::string line;
    double end = -1;
    while (std::getline(lines, line)) {
        const auto comma = line.find(',');
        if (comma == std::string::npos) continue;
        end = std::max(end, std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1)));
    }
    EXPECT_GT(end, 0) << "ffprobe found no packets of stream " << type << ":0 in " << probe.output;
    return std::llround(end * 1e7);
}

TEST_P(VideoFileRecordFfmpegTest, ShowsWhatFfmpegWroteWithDurationsThatAgreeWithFfprobe) {
    const Clip& clip = GetParam();
    test::TempDir dir;
    test::DvClipOptions options;
    options.ntsc = clip.ntsc;
    options.wide = clip.wide;
    options.sampleRate = clip.sampleRate;
    options.frames = clip.frames;
    options.creationTime = clip.creationTime;
    options.timecode = clip.timecode;
    const std::string path = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);

    FileRecordOptions recordOptions;
    recordOptions.datecodePattern = "dd/mm/yyyy hh:nn:ss";
    const TAfficherFichier r(path, recordOptions);
    EXPECT_EQ(r.DatecodeText(), clip.datecodeText);
    EXPECT_EQ(r.TimecodeText(), clip.timecodeText);
    EXPECT_EQ(r.ImageText(), clip.imageText);
    EXPECT_EQ(r.AudioText(), clip.audioText);
    EXPECT_EQ(r.AudioFormatText(), "PCM " + std::to_string(clip.sampleRate * 4) + " bytes/s");
    EXPECT_EQ(r.Codec(), "dvsd");
    EXPECT_EQ(r.DvType(), 2);
    EXPECT_FALSE(r.Type2Iavs());
    EXPECT_EQ(r.TvSystem(), clip.ntsc ? 2 : 1);
    EXPECT_EQ(r.Is16x9(), clip.wide);
    EXPECT_EQ(r.Height(), clip.wide ? 405 : 540);
    EXPECT_DOUBLE_EQ(r.Fps(), clip.ntsc ? 29.97 : 25.0);

    const std::int64_t frame = clip.ntsc ? 333'667 : 400'000;
    EXPECT_EQ(r.VideoDurationText(), FramesDurationText(frame, probedDuration(path, "v")));
    EXPECT_EQ(r.AudioDurationText(), FramesDurationText(frame, probedDuration(path, "a")));
    const std::int64_t frames = clip.frames;
    EXPECT_EQ(r.VideoDurationText(), FramesDurationText(frame, frames * frame));
}

INSTANTIATE_TEST_SUITE_P(Clips, VideoFileRecordFfmpegTest, testing::ValuesIn(kClips),
                         [](const testing::TestParamInfo<Clip>& clip) {
                             return std::string(clip.param.name);
                         });

}  // namespace
}  // namespace moraven
