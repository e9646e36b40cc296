#include "pipeline/conversion/tcdm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/byte_order.h"
#include "formats/date_time.h"
#include "formats/dv_audio.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dv_video_segments.h"
#include "formats/dvcodes.h"
#include "pipeline/stages/superposer_stage.h"
#include "support/external_tools.h"
#include "support/riff_builder.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

// The conversions that decode and encode pictures, end to end over real DV made by ffmpeg, checked by
// ffprobe, mediainfo, ffmpeg's own decoding and our pack readers.
namespace moraven {
namespace {

using test::DvClipOptions;
using test::runProgram;
using test::TempDir;

bool tools() { return test::programAvailable("ffmpeg") && test::programAvailable("ffprobe"); }

std::vector<std::vector<std::uint8_t>> framesOf(const std::string& path, AviStreamKind kind) {
    return test::samplesOfFirstStream(path, kind);
}

std::string probe(const std::string& path, const std::string& entries) {
    return runProgram({"ffprobe", "-v", "error", "-show_entries", entries, "-of", "csv=p=0", path}).output;
}

std::string probeWarnings(const std::string& path) { return runProgram({"ffprobe", "-v", "warning", path}).errors; }

// Every picture of the first video stream as ffmpeg decodes it, in 4:2:0 (one string per frame).
std::vector<std::string> picturesOf(const std::string& path, int width, int height) {
    const auto result = runProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0", "-f", "rawvideo",
                                    "-pix_fmt", "yuv420p", "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2;
    std::vector<std::string> pictures;
    for (std::size_t at = 0; at + size <= result.output.size(); at += size) pictures.push_back(result.output.substr(at, size));
    return pictures;
}

// The first sound stream decoded by ffmpeg as 16-bit stereo PCM.
std::string pcmOf(const std::string& path) {
    const auto result = runProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "2", "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    return result.output;
}

ConversionResult run(TCdm& cdm) {
    return cdm.RunConversionGraph([](int) { return false; });
}

double secondsOf(const TDvRecDate& date) {
    const auto value = dvRecDateTime(date);
    return value ? value->days() * 86'400.0 : -1.0;
}

int framesOfTimecode(const TDvTimecode& timecode, int rate) {
    return ((timecode.hours * 60 + timecode.minutes) * 60 + timecode.seconds) * rate + timecode.frames;
}

class ReencodeGraphsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tools()) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    // A DV clip by ffmpeg whose frames are told apart by their timecode, of the type asked for.
    std::string source(const DvClipOptions& options, bool type1) {
        const std::string type2 = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);
        if (!type1) return type2;
        const std::string path = dir.file("clip_type1.avi");
        EXPECT_TRUE(cdm.BuildType1Graph(type2, path)) << cdm.lastBuildError();
        EXPECT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
        return path;
    }
    TempDir dir;
    TCdm cdm;
};

struct SystemCase {
    const char* name;
    bool fromNtsc;
    bool type1;
    bool wide;
};

class NtscPalGraphTest : public ReencodeGraphsTest, public ::testing::WithParamInterface<SystemCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, NtscPalGraphTest,
                         ::testing::Values(SystemCase{"PalToNtsc", false, false, false},
                                           SystemCase{"PalToNtscType1Wide", false, true, true},
                                           SystemCase{"NtscToPal", true, false, true},
                                           SystemCase{"NtscToPalType1", true, true, false}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_P(NtscPalGraphTest, KeepsDurationSoundShapeAndEachFramesDatecodeAndTimecode) {
    const SystemCase c = GetParam();
    DvClipOptions options;
    options.ntsc = c.fromNtsc;
    options.wide = c.wide;
    options.frames = c.fromNtsc ? 60 : 50;  // two seconds
    const std::string input = source(options, c.type1);
    const DvSystem target = c.fromNtsc ? DvSystem::Pal625 : DvSystem::Ntsc525;
    const std::string output = dir.file("converted.avi");
    cdm.setRestoreHeader(true);
    cdm.setHourShift(2);
    ASSERT_TRUE(cdm.BuildNtscPalGraph(input, output, target, c.type1)) << cdm.lastBuildError();
    const ConversionResult result = run(cdm);
    ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
    EXPECT_EQ(probeWarnings(output), "");

    const auto kind = c.type1 ? AviStreamKind::Interleaved : AviStreamKind::Video;
    const auto sourceFrames = framesOf(input, kind);
    const auto frames = framesOf(output, kind);
    // Two seconds either way: 50 PAL frames, 60 NTSC frames (59.94 rounded).
    ASSERT_EQ(frames.size(), c.fromNtsc ? 50u : 60u);
    const std::string size = c.fromNtsc ? "720,576" : "720,480";
    const std::string rate = c.fromNtsc ? "25/1" : "30000/1001";
    EXPECT_NE(probe(output, "stream=codec_name,width,height,r_frame_rate").find("dvvideo," + size + "," + rate),
              std::string::npos);
    if (test::programAvailable("mediainfo")) {
        // DV's lower field first, as the frames are and as the AVI's video properties say.
        const std::string info =
            runProgram({"mediainfo", "--Inform=Video;%Standard% %FrameCount% %ScanOrder%", output}).output;
        EXPECT_EQ(info, std::string(c.fromNtsc ? "PAL 50" : "NTSC 60") + " BFF\n");
    }

    const int sourceRate = c.fromNtsc ? 30 : 25;
    const double sourceFrameSeconds = c.fromNtsc ? 1001.0 / 30000 : 1.0 / 25;
    const double frameSeconds = c.fromNtsc ? 1.0 / 25 : 1001.0 / 30000;
    const int firstSourceTimecode = framesOfTimecode(DvFindTimecode(sourceFrames.front()), sourceRate);
    int previousSource = -1;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        const auto& frame = frames[k];
        ASSERT_EQ(frame.size(), c.fromNtsc ? kDvPalFrameBytes : kDvNtscFrameBytes);
        EXPECT_EQ(DvSystemOf(frame), target);
        EXPECT_EQ(DvIs16x9(frame), c.wide);
        // The source frame it shows: its timecode tells which; it lies within a frame of the output's time.
        const int shown = framesOfTimecode(DvFindTimecode(frame), sourceRate) - firstSourceTimecode;
        ASSERT_GE(shown, 0);
        ASSERT_LT(static_cast<std::size_t>(shown), sourceFrames.size());
        EXPECT_GE(shown, previousSource);
        previousSource = shown;
        EXPECT_LE(std::abs(shown * sourceFrameSeconds - static_cast<double>(k) * frameSeconds), sourceFrameSeconds);
        // Its recording time moved by the two hours asked.
        const DvFoundRecDate date = DvFindRecDate(frame);
        ASSERT_TRUE(date.date.isPresent());
        EXPECT_DOUBLE_EQ(secondsOf(date.date), secondsOf(DvFindRecDate(sourceFrames[shown]).date) + 7200.0);
    }

    // The sound: the same samples, as long as the picture (the last frame padded with silence).
    const std::string before = pcmOf(input);
    const std::string after = pcmOf(output);
    ASSERT_GE(after.size(), before.size() * 99 / 100);
    const std::size_t common = std::min(before.size(), after.size());
    EXPECT_TRUE(before.compare(0, common, after, 0, common) == 0) << "the sound differs";
}

struct InlayCase {
    const char* name;
    bool ntsc;
    bool type1;
    bool wide;
};

class InlayGraphTest : public ReencodeGraphsTest, public ::testing::WithParamInterface<InlayCase> {
protected:
    // The conversion's inlay on: the date and time, automatic size, white Arial at the bottom right, always.
    Tdv_Superposer& datecodeAtBottomRight() {
        Tdv_Superposer& inlay = cdm.Superposer();
        inlay.SetContent(0);
        inlay.SetFormats("dd/mm/yyyy", "hh:nn:ss");
        inlay.SetAutoFontSize(true);
        inlay.SetFontName("Arial");
        inlay.SetFontColor(0xFFFFFF);
        inlay.SetPosition(950, 950, 2);
        inlay.SetAutoShow(false);
        inlay.SetEnabled(true);
        return inlay;
    }
};

INSTANTIATE_TEST_SUITE_P(Cases, InlayGraphTest,
                         ::testing::Values(InlayCase{"Pal", false, false, false}, InlayCase{"NtscType1", true, true, false},
                                           InlayCase{"PalType1Wide", false, true, true}),
                         [](const auto& test) { return std::string(test.param.name); });

// The datecode at the bottom right: the picture changes there and nowhere else (beyond the codec's loss), and
// the frames keep their packs and their sound.
TEST_P(InlayGraphTest, DrawsTheDatecodeWhereItGoesAndKeepsTheRest) {
    const InlayCase c = GetParam();
    DvClipOptions options;
    options.ntsc = c.ntsc;
    options.wide = c.wide;
    options.frames = 8;
    const std::string input = source(options, c.type1);
    Tdv_Superposer& inlay = datecodeAtBottomRight();
    inlay.SetHourShift(0);
    cdm.setRestoreHeader(true);
    cdm.setHourShift(0);
    const DvSystem system = c.ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625;
    const std::string output = dir.file("inlaid.avi");
    ASSERT_TRUE(cdm.BuildInlayGraph(input, output, system, c.type1)) << cdm.lastBuildError();
    const ConversionResult result = run(cdm);
    ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
    EXPECT_EQ(probeWarnings(output), "");

    const auto kind = c.type1 ? AviStreamKind::Interleaved : AviStreamKind::Video;
    const auto sourceFrames = framesOf(input, kind);
    const auto frames = framesOf(output, kind);
    ASSERT_EQ(frames.size(), sourceFrames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(DvFindRecDate(frames[k]), DvFindRecDate(sourceFrames[k])) << k;
        EXPECT_EQ(DvFindTimecode(frames[k]), DvFindTimecode(sourceFrames[k])) << k;
        EXPECT_EQ(DvIs16x9(frames[k]), c.wide) << k;
    }
    EXPECT_EQ(pcmOf(output), pcmOf(input));

    const int width = 720;
    const int height = c.ntsc ? 480 : 576;
    const auto before = picturesOf(input, width, height);
    const auto after = picturesOf(output, width, height);
    ASSERT_EQ(after.size(), before.size());
    // Two lines of text of cell height 28 whose bottom right corner is at 95 % of the picture.
    const int boxRight = width * 950 / 1000;
    const int boxBottom = height * 950 / 1000;
    const int boxTop = boxBottom - 2 * 28;
    const int boxLeft = boxRight - 260;
    for (std::size_t k = 0; k < after.size(); ++k) {
        long outsideDifference = 0;
        long outsidePixels = 0;
        int brightened = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x);
                const int was = static_cast<unsigned char>(before[k][at]);
                const int is = static_cast<unsigned char>(after[k][at]);
                const bool inBox = x >= boxLeft - 8 && x < boxRight + 8 && y >= boxTop - 8 && y < boxBottom + 8;
                if (inBox) {
                    if (is > 200 && is - was > 60) ++brightened;
                } else {
                    outsideDifference += std::abs(is - was);
                    ++outsidePixels;
                }
            }
        }
        // Re-encoding loses a little everywhere; the text adds white strokes inside its box only.
        EXPECT_LT(static_cast<double>(outsideDifference) / static_cast<double>(outsidePixels), 2.0) << "frame " << k;
        EXPECT_GT(brightened, 300) << "frame " << k;
    }
}

// Splicing: the burnt-in file keeps every byte of each source frame but those of the video segments the text
// touches, which are what coding the whole picture again gives there; its pictures differ from the source's
// only in those segments, and show the text.
TEST_P(InlayGraphTest, CodesOnlyTheSegmentsTheTextTouchesAsAWholeCodingWould) {
    const InlayCase c = GetParam();
    DvClipOptions options;
    options.ntsc = c.ntsc;
    options.wide = c.wide;
    options.frames = 6;
    const std::string input = source(options, c.type1);
    datecodeAtBottomRight();
    cdm.setHourShift(0);
    const DvSystem system = c.ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625;
    const std::string spliced = dir.file("spliced.avi");
    const std::string whole = dir.file("whole.avi");
    for (const bool splice : {true, false}) {
        cdm.SetSegmentSplice(splice);
        ASSERT_TRUE(cdm.BuildInlayGraph(input, splice ? spliced : whole, system, c.type1)) << cdm.lastBuildError();
        const ConversionResult result = run(cdm);
        ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
    }
    cdm.SetSegmentSplice(true);
    EXPECT_EQ(probeWarnings(spliced), "");

    const auto kind = c.type1 ? AviStreamKind::Interleaved : AviStreamKind::Video;
    const auto sourceFrames = framesOf(input, kind);
    const auto splicedFrames = framesOf(spliced, kind);
    const auto wholeFrames = framesOf(whole, kind);
    ASSERT_EQ(splicedFrames.size(), sourceFrames.size());
    ASSERT_EQ(wholeFrames.size(), sourceFrames.size());
    const int width = 720;
    const int height = c.ntsc ? 480 : 576;
    // Generously where the text goes: two lines of 28 pixels ending at 95 % of the picture.
    const PictureRect textBox{width * 950 / 1000 - 300, height * 950 / 1000 - 2 * 28 - 12, 320, 2 * 28 + 24};
    const auto before = picturesOf(input, width, height);
    const auto after = picturesOf(spliced, width, height);
    const auto recoded = picturesOf(whole, width, height);
    ASSERT_EQ(after.size(), before.size());
    ASSERT_EQ(recoded.size(), before.size());
    for (std::size_t k = 0; k < sourceFrames.size(); ++k) {
        SCOPED_TRACE(k);
        const auto map = DvSegmentMap::ofFrame(sourceFrames[k]);
        ASSERT_TRUE(map);
        ASSERT_EQ(splicedFrames[k].size(), sourceFrames[k].size());
        const DvSegmentSet mayChange = map->segmentsTouching(textBox);
        DvSegmentSet changed;
        std::vector<bool> inSegment(sourceFrames[k].size(), false);
        for (std::size_t segment = 0; segment < map->segmentCount(); ++segment) {
            for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
                const std::size_t block = map->blockOffset(segment, m);
                for (std::size_t b = block; b < block + kDvBlockBytes; ++b) {
                    inSegment[b] = true;
                    if (splicedFrames[k][b] == sourceFrames[k][b]) continue;
                    changed.set(segment);
                    ASSERT_EQ(splicedFrames[k][b], wholeFrames[k][b]) << "segment " << segment << " byte " << b;
                }
            }
        }
        EXPECT_GT(changed.count(), 0u);
        EXPECT_EQ((changed & ~mayChange).count(), 0u);
        EXPECT_LT(changed.count(), map->segmentCount() / 3);
        // A type 2 frame is the source's outside the segments, its sound included; a type 1 frame's sound is
        // written again by the DV muxer.
        if (!c.type1) {
            for (std::size_t b = 0; b < sourceFrames[k].size(); ++b) {
                if (!inSegment[b]) {
                    ASSERT_EQ(splicedFrames[k][b], sourceFrames[k][b]) << b;
                }
            }
        }

        // The pictures: the source's exactly outside the changed segments, the whole coding's exactly inside,
        // and the text there.
        std::vector<bool> changedPixel(static_cast<std::size_t>(width * height), false);
        for (std::size_t segment = 0; segment < map->segmentCount(); ++segment) {
            if (!changed.test(segment)) continue;
            for (int m = 0; m < kDvMacroblocksPerSegment; ++m) {
                const PictureRect mb = map->macroblockRect(segment, m);
                for (int y = mb.top; y < mb.top + mb.height; ++y) {
                    for (int x = mb.left; x < mb.left + mb.width; ++x) changedPixel[static_cast<std::size_t>(y * width + x)] = true;
                }
            }
        }
        int brightened = 0;
        for (std::size_t at = 0; at < changedPixel.size(); ++at) {
            const int was = static_cast<unsigned char>(before[k][at]);
            const int is = static_cast<unsigned char>(after[k][at]);
            if (changedPixel[at]) {
                ASSERT_EQ(is, static_cast<unsigned char>(recoded[k][at])) << at;
                if (is > 200 && is - was > 60) ++brightened;
            } else {
                ASSERT_EQ(is, was) << at;
            }
        }
        EXPECT_GT(brightened, 300);
    }
}

class RecompressGraphTest : public ReencodeGraphsTest {
protected:
    std::string make(const std::string& name, const std::vector<std::string>& args) {
        std::vector<std::string> command{"ffmpeg", "-v", "error", "-y"};
        command.insert(command.end(), args.begin(), args.end());
        command.push_back(dir.file(name));
        const auto result = runProgram(command);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return dir.file(name);
    }
};

struct RecompressCase {
    const char* name;
    std::vector<std::string> ffmpegArgs;
    DvSystem system;
    int rate;
    bool wide;
};

TEST_F(RecompressGraphTest, AnyDecodableAviBecomesDvType2OfTheSystemAndRateAsked) {
    const std::vector<RecompressCase> cases{
        {"mjpeg", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=22050", "-t", "2", "-c:v", "mjpeg", "-c:a", "pcm_s16le", "-ac", "1"},
         DvSystem::Pal625, 44100, false},
        {"mpeg4", {"-f", "lavfi", "-i", "testsrc=size=640x360:rate=24", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100", "-t", "2", "-c:v", "mpeg4", "-c:a", "adpcm_ms"},
         DvSystem::Ntsc525, 32000, true},
        {"odd", {"-f", "lavfi", "-i", "testsrc=size=351x263:rate=10", "-f", "lavfi", "-i",
                 "sine=frequency=440:sample_rate=44100", "-t", "2", "-c:v", "mjpeg", "-c:a", "libmp3lame", "-ac", "1"},
         DvSystem::Pal625, 32000, false},
    };
    for (const RecompressCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = make(std::string(c.name) + ".avi", c.ffmpegArgs);
        const std::string output = dir.file(std::string(c.name) + "_dvtype2.avi");
        ASSERT_TRUE(cdm.BuildRecompressGraph(input, output, c.system, c.rate)) << cdm.lastBuildError();
        const ConversionResult result = run(cdm);
        ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
        // Empty chunks (a picture held) and sound that ends before the picture are nothing to warn about.
        EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
        EXPECT_EQ(probeWarnings(output), "");
        const bool pal = c.system == DvSystem::Pal625;
        const std::string video = probe(output, "stream=codec_name,width,height,r_frame_rate,display_aspect_ratio");
        // ffprobe prints the entries in its own order: size, shape, then rate.
        EXPECT_NE(video.find(std::string("dvvideo,720,") + (pal ? "576," : "480,") + (c.wide ? "16:9," : "4:3,") +
                             (pal ? "25/1" : "30000/1001")),
                  std::string::npos)
            << video;
        // The duration the input's index gives its pictures (an empty chunk holds the previous picture for its
        // time), in frames of the target system; the sound as long as the pictures.
        const double seconds = std::stod(runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0",
                                                     "-show_entries", "stream=duration", "-of", "csv=p=0", input})
                                             .output);
        const double rate = pal ? 25.0 : 30000.0 / 1001.0;
        const auto frames = framesOf(output, AviStreamKind::Video);
        EXPECT_NEAR(static_cast<double>(frames.size()), seconds * rate, 1.0);
        const std::string sound = probe(output, "stream=codec_name,sample_rate,channels");
        EXPECT_NE(sound.find("pcm_s16le," + std::to_string(c.rate) + ",2"), std::string::npos) << sound;
        EXPECT_NEAR(static_cast<double>(pcmOf(output).size()) / 4.0 / c.rate, static_cast<double>(frames.size()) / rate,
                    0.05);
    }
}

// A picture the codec refuses (its chunk zeroed) holds the one before it in its place: the run goes on, the
// duration stays, and one warning names it.
TEST_F(RecompressGraphTest, AnUndecodablePictureIsReplacedWithOneWarning) {
    const std::string input = make("damaged.avi", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "1",
                                                   "-c:v", "mjpeg"});
    auto bytes = test::readWholeFile(input);
    const std::size_t chunk = test::chunkPositions(bytes, "00dc").at(10);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(chunk + 8), u32le(Bytes(bytes), chunk + 4), 0);
    test::writeWholeFile(input, bytes);
    const std::string output = dir.file("damaged_dvtype2.avi");
    ASSERT_TRUE(cdm.BuildRecompressGraph(input, output, DvSystem::Pal625, 48000)) << cdm.lastBuildError();
    const ConversionResult result = run(cdm);
    ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
    EXPECT_EQ(result.warnings, std::vector<std::string>{"1 frame could not be decoded and was replaced"});
    EXPECT_EQ(probeWarnings(output), "");
    EXPECT_EQ(framesOf(output, AviStreamKind::Video).size(), 25u);
}

TEST_F(RecompressGraphTest, WithoutPictureNothingCanBeWrittenAndTheReasonSaysSo) {
    const std::string input = make("sound.avi", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t",
                                                 "1", "-c:a", "pcm_s16le"});
    EXPECT_FALSE(cdm.BuildRecompressGraph(input, dir.file("sound_dvtype2.avi"), DvSystem::Pal625, 48000));
    EXPECT_NE(cdm.lastBuildError().find("picture"), std::string::npos) << cdm.lastBuildError();
}

TEST_F(RecompressGraphTest, WithoutSoundTheDvFileHasPictureOnly) {
    const std::string input =
        make("silent.avi", {"-f", "lavfi", "-i", "testsrc=size=352x288:rate=25", "-t", "1", "-c:v", "mjpeg"});
    const std::string output = dir.file("silent_dvtype2.avi");
    ASSERT_TRUE(cdm.BuildRecompressGraph(input, output, DvSystem::Pal625, 48000)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(probeWarnings(output), "");
    EXPECT_EQ(probe(output, "stream=codec_type"), "video\n");
    EXPECT_EQ(framesOf(output, AviStreamKind::Video).size(), 25u);
}

// An inlay run after a time shift keeps the shift's hours, but never leaves the new frames without the
// source's header: their datecode (moved) and timecode are there.
TEST_F(ReencodeGraphsTest, InlayAfterATimeShiftMovesTheTimeAndStillRestoresTheHeader) {
    DvClipOptions options;
    options.frames = 4;
    const std::string input = source(options, false);
    cdm.setRestoreHeader(false);
    cdm.setHourShift(-3);
    cdm.Superposer().SetEnabled(true);
    const std::string output = dir.file("inlaid.avi");
    ASSERT_TRUE(cdm.BuildInlayGraph(input, output, DvSystem::Pal625, false)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    const auto frames = framesOf(output, AviStreamKind::Video);
    const auto sourceFrames = framesOf(input, AviStreamKind::Video);
    ASSERT_EQ(frames.size(), sourceFrames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(DvFindTimecode(frames[k]), DvFindTimecode(sourceFrames[k])) << k;
        EXPECT_DOUBLE_EQ(secondsOf(DvFindRecDate(frames[k]).date),
                         secondsOf(DvFindRecDate(sourceFrames[k]).date) - 3 * 3600.0)
            << k;
    }
}

}  // namespace
}  // namespace moraven
