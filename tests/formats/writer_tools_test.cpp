#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_writer.h"
#include "formats/wav_writer.h"
#include "support/dv_clip.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

// Files written by the AVI and WAV writers, read by independent programs: ffprobe and mediainfo must see the
// stream types, codecs, frame counts, durations and sound formats we meant, without warnings, and ffmpeg must
// copy every stream without an error. The DV frames are real ones, encoded by ffmpeg.
namespace moraven {
namespace {

using Fields = std::map<std::string, std::string>;

struct Probe {
    std::vector<Fields> streams;
    Fields format;
    std::string errors;  // ffprobe's messages at level warning and above
};

// ffprobe's compact output: one "stream|key=value|..." line per stream, then "format|...".
Probe probe(const std::string& path) {
    const auto result = test::runProgram(
        {"ffprobe", "-v", "warning", "-count_frames", "-show_entries",
         "stream=codec_type,codec_name,codec_tag_string,width,height,r_frame_rate,"
         "display_aspect_ratio,sample_rate,channels,nb_frames,nb_read_frames:format=duration",
         "-of", "compact", path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    Probe out;
    out.errors = result.errors;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream parts(line);
        std::string part;
        std::getline(parts, part, '|');
        Fields fields;
        const bool isStream = part == "stream";
        while (std::getline(parts, part, '|')) {
            const auto equals = part.find('=');
            if (equals != std::string::npos) fields[part.substr(0, equals)] = part.substr(equals + 1);
        }
        if (isStream) {
            out.streams.push_back(fields);
        } else {
            out.format = fields;
        }
    }
    return out;
}

// mediainfo's answer to a template such as "Video;%Format%/%FrameCount%\n", one line per stream.
std::vector<std::string> mediainfo(const std::string& path, const std::string& inform) {
    const auto result = test::runProgram({"mediainfo", "--Inform=" + inform, path});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    std::vector<std::string> lines;
    std::istringstream text(result.output);
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// ffmpeg copies every stream without complaint.
void expectCopiesCleanly(const std::string& path) {
    const auto result = test::runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f", "null", "-"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errors, "");
}

class WriterToolsTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!test::programAvailable("ffprobe") || !test::programAvailable("ffmpeg") ||
            test::runProgram({"mediainfo", "--Version"}).exitCode != 0) {
            return;
        }
        s_dir = std::make_unique<test::TempDir>();
        test::DvClipOptions wide;
        wide.frames = 50;
        wide.wide = true;
        s_pal = std::make_unique<test::DvClip>(test::makeDvClipWithFfmpeg(s_dir->path().string(), wide));
        test::DvClipOptions ntsc;
        ntsc.frames = 30;
        ntsc.ntsc = true;
        s_ntsc = std::make_unique<test::DvClip>(test::makeDvClipWithFfmpeg(s_dir->path().string(), ntsc));
    }
    static void TearDownTestSuite() {
        s_pal.reset();
        s_ntsc.reset();
        s_dir.reset();
    }
    void SetUp() override {
        if (!s_pal) GTEST_SKIP() << "ffmpeg, ffprobe or mediainfo missing";
        ASSERT_EQ(s_pal->frames.size(), 50u);
        ASSERT_EQ(s_pal->pcm.size(), 50u * kPalSoundBlock);
        ASSERT_EQ(s_ntsc->frames.size(), 30u);
    }

    // The PAL clip as DV type 2: each frame, then its sound, once per sound stream.
    static void writePalType2(const std::string& path, int soundStreams,
                              const AviWriter::Options& options = {}) {
        AviWriter writer(path, options);
        writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
        for (int a = 0; a < soundStreams; ++a) writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
        for (std::size_t k = 0; k < s_pal->frames.size(); ++k) {
            writer.writeSample(0, s_pal->frames[k]);
            const Bytes block(s_pal->pcm.data() + k * kPalSoundBlock, kPalSoundBlock);
            for (int a = 0; a < soundStreams; ++a) writer.writeSample(a + 1, block);
        }
        writer.close();
    }

    static constexpr std::size_t kPalSoundBlock = 7680;
    static inline std::unique_ptr<test::TempDir> s_dir;
    static inline std::unique_ptr<test::DvClip> s_pal;
    static inline std::unique_ptr<test::DvClip> s_ntsc;
    test::TempDir m_dir;
};

void expectPalDvVideo(const Fields& stream) {
    EXPECT_EQ(stream.at("codec_type"), "video");
    EXPECT_EQ(stream.at("codec_name"), "dvvideo");
    EXPECT_EQ(stream.at("width"), "720");
    EXPECT_EQ(stream.at("height"), "576");
    EXPECT_EQ(stream.at("r_frame_rate"), "25/1");
    EXPECT_EQ(stream.at("display_aspect_ratio"), "16:9");
    EXPECT_EQ(stream.at("nb_read_frames"), "50");
}

void expectPcm48k(const Fields& stream) {
    EXPECT_EQ(stream.at("codec_type"), "audio");
    EXPECT_EQ(stream.at("codec_name"), "pcm_s16le");
    EXPECT_EQ(stream.at("sample_rate"), "48000");
    EXPECT_EQ(stream.at("channels"), "2");
}

TEST_F(WriterToolsTest, Type2WithOneOrTwoSoundStreams) {
    for (int soundStreams : {1, 2}) {
        SCOPED_TRACE(soundStreams);
        const std::string path = m_dir.file("type2-" + std::to_string(soundStreams) + ".avi");
        writePalType2(path, soundStreams);

        const Probe p = probe(path);
        EXPECT_EQ(p.errors, "");
        ASSERT_EQ(p.streams.size(), static_cast<std::size_t>(1 + soundStreams));
        expectPalDvVideo(p.streams[0]);
        EXPECT_EQ(p.streams[0].at("codec_tag_string"), "dvsd");
        EXPECT_EQ(p.streams[0].at("nb_frames"), "50");
        for (int a = 1; a <= soundStreams; ++a) {
            expectPcm48k(p.streams[static_cast<std::size_t>(a)]);
            EXPECT_EQ(p.streams[static_cast<std::size_t>(a)].at("nb_frames"), "96000") << "samples";
        }
        EXPECT_EQ(p.format.at("duration"), "2.000000");
        expectCopiesCleanly(path);

        EXPECT_EQ(mediainfo(path,
                            "Video;%Format%/%CodecID%/%FrameCount%/%Duration%/%DisplayAspectRatio%/"
                            "%Width%x%Height%/%FrameRate%\\n"),
                  std::vector<std::string>{"DV/dvsd/50/2000/1.778/720x576/25.000"});
        EXPECT_EQ(
            mediainfo(path,
                      "Audio;%Format%/%SamplingRate%/%Channels%/%BitDepth%/%SamplingCount%/%Duration%\\n"),
            std::vector<std::string>(static_cast<std::size_t>(soundStreams), "PCM/48000/2/16/96000/2000"));
    }
}

// Type 1: readers find the picture and the sound inside the DV frames of the one "iavs" stream.
TEST_F(WriterToolsTest, Type1) {
    const std::string path = m_dir.file("type1.avi");
    {
        AviWriter writer(path);
        std::array<std::uint8_t, 32> dvInfo{};
        writer.addInterleavedDvStream(DvSystem::Ntsc525, dvInfo);
        for (const auto& frame : s_ntsc->frames) writer.writeSample(0, frame);
        writer.close();
    }
    const Probe p = probe(path);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 2u);
    EXPECT_EQ(p.streams[0].at("codec_name"), "dvvideo");
    EXPECT_EQ(p.streams[0].at("height"), "480");
    EXPECT_EQ(p.streams[0].at("r_frame_rate"), "30000/1001");
    EXPECT_EQ(p.streams[0].at("display_aspect_ratio"), "4:3");
    EXPECT_EQ(p.streams[0].at("nb_read_frames"), "30");
    expectPcm48k(p.streams[1]);
    EXPECT_EQ(p.format.at("duration"), "1.001000");
    expectCopiesCleanly(path);

    EXPECT_EQ(
        mediainfo(path, "Video;%Format%/%FrameCount%/%Duration%/%DisplayAspectRatio%/%Width%x%Height%\\n"),
        std::vector<std::string>{"DV/30/1001/1.333/720x480"});
    EXPECT_EQ(mediainfo(path, "Audio;%Format%/%SamplingRate%/%Channels%\\n"),
              std::vector<std::string>{"PCM/48000/2"});
}

TEST_F(WriterToolsTest, SoundOnly) {
    const std::string path = m_dir.file("sound.avi");
    {
        AviWriter writer(path);
        writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
        for (std::size_t at = 0; at < s_pal->pcm.size(); at += kPalSoundBlock) {
            writer.writeSample(0, Bytes(s_pal->pcm.data() + at, kPalSoundBlock));
        }
        writer.close();
    }
    const Probe p = probe(path);
    // ffmpeg's AVI reader takes stream durations only from streams of one sample per chunk, never from
    // PCM sound, so a file with nothing else always gets this notice; its own sound-only AVI files get it
    // too. The sample count below is what tells the length.
    EXPECT_NE(p.errors.find("Estimating duration from bitrate"), std::string::npos) << p.errors;
    EXPECT_EQ(p.errors.find('\n'), p.errors.size() - 1) << "no other message: " << p.errors;
    ASSERT_EQ(p.streams.size(), 1u);
    expectPcm48k(p.streams[0]);
    EXPECT_EQ(p.streams[0].at("nb_frames"), "96000");
    expectCopiesCleanly(path);
    EXPECT_EQ(mediainfo(path, "Audio;%Format%/%SamplingRate%/%Channels%/%SamplingCount%/%Duration%\\n"),
              std::vector<std::string>{"PCM/48000/2/96000/2000"});
}

TEST_F(WriterToolsTest, OpenDml) {
    const std::string path = m_dir.file("odml.avi");
    AviWriter::Options options;
    options.riffFormBytes = 1 << 20;
    writePalType2(path, 1, options);

    const Probe p = probe(path);
    EXPECT_EQ(p.errors, "");
    ASSERT_EQ(p.streams.size(), 2u);
    expectPalDvVideo(p.streams[0]);
    EXPECT_EQ(p.streams[0].at("nb_frames"), "50");
    expectPcm48k(p.streams[1]);
    EXPECT_EQ(p.format.at("duration"), "2.000000");
    expectCopiesCleanly(path);
    EXPECT_EQ(mediainfo(path, "General;%Format%/%Format_Profile%/%Duration%"),
              std::vector<std::string>{"AVI/OpenDML/2000"});
    EXPECT_EQ(mediainfo(path, "Video;%Format%/%FrameCount%/%DisplayAspectRatio%\\n"),
              std::vector<std::string>{"DV/50/1.778"});
}

// A WAV file's duration as ffprobe and mediainfo see it, plain and as RF64.
TEST_F(WriterToolsTest, WavFilesPlainAndRf64) {
    for (bool rf64 : {false, true}) {
        SCOPED_TRACE(rf64);
        const std::string path = m_dir.file(rf64 ? "rf64.wav" : "plain.wav");
        {
            WavWriter::Options options;
            if (rf64) options.rf64Threshold = 4096;
            WavWriter writer(path, WaveFormat::pcm(2, 48000, 16), options);
            writer.write(s_pal->pcm);
            writer.close();
        }
        const Probe p = probe(path);
        EXPECT_EQ(p.errors, "");
        ASSERT_EQ(p.streams.size(), 1u);
        expectPcm48k(p.streams[0]);
        EXPECT_EQ(p.format.at("duration"), "2.000000");
        expectCopiesCleanly(path);
        EXPECT_EQ(mediainfo(path, "General;%Format%/%Format_Profile%/%Duration%"),
                  std::vector<std::string>{rf64 ? "Wave/RF64/2000" : "Wave//2000"});
        EXPECT_EQ(mediainfo(path, "Audio;%Format%/%SamplingRate%/%Channels%/%BitDepth%/%SamplingCount%"),
                  std::vector<std::string>{"PCM/48000/2/16/96000"});
    }
}

}  // namespace
}  // namespace moraven
