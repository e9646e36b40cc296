// The stream-copy conversions end to end: real DV made by ffmpeg, converted by the conversion module, read
// back by ffprobe and ffmpeg and by our own pack readers.
#include "pipeline/conversion/tcdm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/avi_writer.h"
#include "formats/dv_audio.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::DvClipOptions;
using test::runProgram;
using test::TempDir;

bool tools() { return test::programAvailable("ffmpeg") && test::programAvailable("ffprobe"); }

std::vector<std::vector<std::uint8_t>> framesOf(const std::string& path, AviStreamKind kind) {
    return test::samplesOfFirstStream(path, kind);
}

// The first sound stream decoded by ffmpeg as 16-bit stereo PCM.
std::string ffmpegPcm(const std::string& path) {
    const test::ProgramResult result =
        runProgram({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "2", "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    return result.output;
}

// PCM compared without printing megabytes of bytes when it differs.
::testing::AssertionResult samePcm(const std::string& a, const std::string& b) {
    if (a == b) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return ::testing::AssertionFailure() << "PCM of " << a.size() << " and " << b.size() << " bytes differs from byte " << at;
}

std::string mediainfo(const std::string& path, const std::string& inform) {
    return runProgram({"mediainfo", "--Inform=" + inform, path}).output;
}

std::string probeAspect(const std::string& path) {
    std::string text = runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                   "stream=display_aspect_ratio", "-of", "default=nw=1:nk=1", path})
                           .output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string probeWarnings(const std::string& path) {
    return runProgram({"ffprobe", "-v", "warning", path}).errors;
}

std::string probeStreams(const std::string& path) {
    return runProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name,nb_frames,sample_rate",
                       "-of", "compact", path})
        .output;
}

// The datecode and timecode of every frame, as our pack readers see them.
std::vector<std::pair<DvFoundRecDate, TDvTimecode>> packsOf(const std::vector<std::vector<std::uint8_t>>& frames) {
    std::vector<std::pair<DvFoundRecDate, TDvTimecode>> packs;
    for (const auto& frame : frames) packs.emplace_back(DvFindRecDate(frame), DvFindTimecode(frame));
    return packs;
}

ConversionResult run(TCdm& cdm) {
    return cdm.RunConversionGraph([](int) { return false; });
}

class ConversionGraphsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tools()) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    TempDir dir;
    TCdm cdm;
};

struct RoundTripCase {
    const char* name;
    bool ntsc;
    int sampleRate;
    bool wide = false;
};

class ConversionRoundTripTest : public ConversionGraphsTest, public ::testing::WithParamInterface<RoundTripCase> {};

INSTANTIATE_TEST_SUITE_P(Systems, ConversionRoundTripTest,
                         ::testing::Values(RoundTripCase{"Pal48k", false, 48000}, RoundTripCase{"Pal44k", false, 44100},
                                           RoundTripCase{"Pal32k", false, 32000}, RoundTripCase{"Ntsc48k", true, 48000},
                                           RoundTripCase{"Pal48kWide", false, 48000, true}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_P(ConversionRoundTripTest, Type2ToType1AndBackKeepsFramesPacksAndSound) {
    DvClipOptions options;
    options.frames = 12;
    options.ntsc = GetParam().ntsc;
    options.sampleRate = GetParam().sampleRate;
    options.wide = GetParam().wide;
    const std::string type2 = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);
    const std::string type1 = dir.file("clip_type1.avi");
    const std::string back = dir.file("clip_type2.avi");

    ASSERT_TRUE(cdm.BuildType1Graph(type2, type1)) << cdm.lastBuildError();
    EXPECT_FALSE(cdm.ConversionDone());
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_TRUE(cdm.ConversionDone());
    // Twelve frames: 0.48 s, or exactly 12 × 1001 / 30000 s.
    EXPECT_EQ(cdm.ConversionDuration(), MediaTime::fromTicks(GetParam().ntsc ? 4'004'000 : 4'800'000));
    EXPECT_EQ(probeWarnings(type1), "");
    EXPECT_NE(probeStreams(type1).find("codec_type=video"), std::string::npos);

    const auto sourceFrames = framesOf(type2, AviStreamKind::Video);
    const auto interleaved = framesOf(type1, AviStreamKind::Interleaved);
    ASSERT_EQ(interleaved.size(), sourceFrames.size());
    EXPECT_EQ(packsOf(interleaved), packsOf(sourceFrames));
    EXPECT_TRUE(samePcm(ffmpegPcm(type1), ffmpegPcm(type2)));

    ASSERT_TRUE(cdm.BuildType2Graph(type1, back)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(probeWarnings(back), "");
    EXPECT_EQ(framesOf(back, AviStreamKind::Video), interleaved);
    // mediainfo reads the same picture, shape, frame count and sound from both outputs as from the source.
    const std::string picture = "Video;%Format%|%FrameCount%|%DisplayAspectRatio%";
    const std::string sound = "Audio;%Format%|%SamplingRate%|%Channels%";
    if (test::programAvailable("mediainfo")) {
        for (const std::string& output : {type1, back}) {
            SCOPED_TRACE(output);
            EXPECT_EQ(mediainfo(output, picture), mediainfo(type2, picture));
            EXPECT_EQ(mediainfo(output, sound), mediainfo(type2, sound));
        }
    }
    EXPECT_EQ(probeAspect(back), GetParam().wide ? "16:9" : "4:3");
    EXPECT_TRUE(samePcm(ffmpegPcm(back), ffmpegPcm(type2)));
}

TEST_F(ConversionGraphsTest, SoundGoesToWavFromEitherType) {
    DvClipOptions options;
    options.frames = 8;
    options.sampleRate = 32000;
    const std::string type2 = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);
    const std::string wav2 = dir.file("clip.wav");
    ASSERT_TRUE(cdm.BuildAudioGraph(type2, wav2)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(probeWarnings(wav2), "");
    EXPECT_TRUE(samePcm(ffmpegPcm(wav2), ffmpegPcm(type2)));

    const std::string type1 = dir.file("clip_type1.avi");
    ASSERT_TRUE(cdm.BuildType1Graph(type2, type1));
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    const std::string wav1 = dir.file("clip_type1.wav");
    ASSERT_TRUE(cdm.BuildAudioGraph(type1, wav1)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_TRUE(samePcm(ffmpegPcm(wav1), ffmpegPcm(type2)));
}

TEST_F(ConversionGraphsTest, AudioGraphIsNotBuiltWithoutSound) {
    DvClipOptions options;
    options.frames = 3;
    options.withAudio = false;
    const std::string silent = test::makeDvAviWithFfmpeg(dir.path().string(), "silent.avi", options);
    EXPECT_FALSE(cdm.BuildAudioGraph(silent, dir.file("silent.wav")));
    EXPECT_FALSE(cdm.lastBuildError().empty());
    EXPECT_FALSE(fileExists(dir.file("silent.wav")));
}

// Frames dated just before midnight at a year's end, one just after midnight, and one without a date.
std::vector<std::uint8_t> datedFrame(int year, int month, int day, int hour, int minute, int second, int sequence = 0) {
    test::DvFrameBuilder builder(DvSystem::Pal625);
    if (year > 0) builder.recDate(sequence, year, month, day, hour, minute, second);
    builder.timecode(0, 1, 2, 3, 4);
    return builder.bytes();
}

TEST_F(ConversionGraphsTest, TimeShiftMovesEveryDatedFrameAcrossDayMonthAndYear) {
    const std::vector<std::vector<std::uint8_t>> frames{
        datedFrame(1999, 12, 31, 23, 0, 0),  datedFrame(2004, 1, 31, 22, 30, 0), datedFrame(-1, 0, 0, 0, 0, 0),
        datedFrame(2004, 2, 30, 12, 0, 0),   datedFrame(2005, 6, 1, 10, 0, 0, 3)};
    for (bool type1 : {false, true}) {
        SCOPED_TRACE(type1 ? "type 1" : "type 2");
        const std::string input = dir.file(type1 ? "t1.avi" : "t2.avi");
        test::DvAviOptions options;
        options.type1 = type1;
        test::writeDvAvi(input, frames.size(), [&](std::size_t i) -> const std::vector<std::uint8_t>& { return frames[i]; },
                         options);
        const std::string output = dir.file(type1 ? "t1_hor+2.avi" : "t2_hor+2.avi");
        ASSERT_TRUE(cdm.BuildTimeShiftGraph(input, output)) << cdm.lastBuildError();
        cdm.setRestoreHeader(false);
        cdm.setHourShift(2);
        ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
        EXPECT_EQ(probeWarnings(output), "");
        const auto shifted = framesOf(output, type1 ? AviStreamKind::Interleaved : AviStreamKind::Video);
        ASSERT_EQ(shifted.size(), frames.size());
        EXPECT_EQ(DvFindRecDate(shifted[0]).date, (TDvRecDate{2000, 1, 1, 1, 0, 0}));
        EXPECT_EQ(DvFindRecDate(shifted[1]).date, (TDvRecDate{2004, 2, 1, 0, 30, 0}));
        EXPECT_EQ(shifted[2], frames[2]);  // no date: untouched
        EXPECT_EQ(shifted[3], frames[3]);  // 30 February: no calendar date, untouched
        const DvFoundRecDate moved = DvFindRecDate(shifted[4]);
        EXPECT_EQ(moved.sequence, 3);
        EXPECT_EQ(moved.date, (TDvRecDate{2005, 6, 1, 12, 0, 0}));
        EXPECT_EQ(DvFindTimecode(shifted[4]), DvFindTimecode(frames[4]));
    }
    cdm.setHourShift(-1);
    const std::vector<std::vector<std::uint8_t>> early{datedFrame(2004, 1, 1, 0, 30, 0)};
    const std::string input = dir.file("early.avi");
    test::writeDvAvi(input, 1, [&](std::size_t) -> const std::vector<std::uint8_t>& { return early[0]; });
    const std::string output = dir.file("early_hor-1.avi");
    ASSERT_TRUE(cdm.BuildTimeShiftGraph(input, output));
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(DvFindRecDate(framesOf(output, AviStreamKind::Video).at(0)).date, (TDvRecDate{2003, 12, 31, 23, 30, 0}));
}

TEST_F(ConversionGraphsTest, AbortLeavesACompleteShorterFile) {
    const std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::string input = dir.file("long.avi");
    test::writeRepeatedDvFrame(input, frame, 400);
    const std::string output = dir.file("long_type1.avi");
    ASSERT_TRUE(cdm.BuildType1Graph(input, output));
    // Esc once the first frames are written (the whole run takes a fraction of a second).
    const ConversionResult result = cdm.RunConversionGraph([&](int) {
        while (cdm.ConversionSeeking()->position().ticks() == 0) ::usleep(200);
        return true;
    });
    ASSERT_EQ(result.outcome, ConversionOutcome::Aborted);
    ASSERT_TRUE(fileExists(output));
    EXPECT_EQ(probeWarnings(output), "");
    EXPECT_LT(framesOf(output, AviStreamKind::Interleaved).size(), 400u);
}

TEST_F(ConversionGraphsTest, FailedRunLeavesNothingUnderTheOutputName) {
    const std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::string input = dir.file("clip.avi");
    test::writeRepeatedDvFrame(input, frame, 50);
    const std::string folder = dir.file("out");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string output = folder + "/clip_type1.avi";
    ASSERT_TRUE(cdm.BuildType1Graph(input, output));
    ASSERT_EQ(::rmdir(folder.c_str()), 0);  // the folder goes away before the run
    const ConversionResult result = run(cdm);
    EXPECT_EQ(result.outcome, ConversionOutcome::Failed);
    EXPECT_FALSE(result.message.empty());
    EXPECT_FALSE(fileExists(output));
}

TEST_F(ConversionGraphsTest, NotAnAviIsNotBuilt) {
    const std::string text = dir.file("notes.avi");
    test::writeWholeFile(text, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(cdm.BuildType1Graph(text, dir.file("x.avi")));
    EXPECT_FALSE(cdm.BuildType2Graph(dir.file("missing.avi"), dir.file("y.avi")));
    EXPECT_FALSE(cdm.lastBuildError().empty());
    EXPECT_FALSE(fileExists(dir.file("x.avi")));
}

// A type 2 file written by hand: DV frames of one system with chosen sound streams beside them.
struct SoundTrack {
    std::uint16_t channels = 2;
    std::uint32_t rate = 48000;
    std::size_t frames = 0;  // frames' worth of sound; fewer than the picture makes a short track
    std::int16_t value = 1000;
};

std::string writeType2(const std::string& path, const std::vector<std::uint8_t>& frame, std::size_t count,
                       const std::vector<SoundTrack>& tracks, bool interleaved = false) {
    AviWriter writer(path);
    const int video = interleaved ? writer.addInterleavedDvStream(DvSystem::Pal625, test::defaultDvInfoBlock(DvSystem::Pal625))
                                  : writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
    std::vector<int> audio;
    for (const SoundTrack& track : tracks) audio.push_back(writer.addAudioStream(WaveFormat::pcm(track.channels, track.rate, 16)));
    for (std::size_t i = 0; i < count; ++i) {
        writer.writeSample(video, frame);
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (i >= tracks[t].frames) continue;
            const std::size_t values = std::size_t{tracks[t].rate / 25} * tracks[t].channels;
            std::vector<std::uint8_t> pcm(values * 2);
            for (std::size_t v = 0; v < values; ++v) putU16le(pcm, 2 * v, static_cast<std::uint16_t>(tracks[t].value));
            writer.writeSample(audio[t], pcm);
        }
    }
    writer.close();
    return path;
}

TEST_F(ConversionGraphsTest, DvMuxerTakesMonoAndKeepsTheFramesOwnSoundPastTheTrack) {
    // The frames carry sound of their own (value 7); the file's mono track (value 1000) lasts 3 of 6 frames.
    std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::vector<std::int16_t> own(1920 * 2, 7);
    ASSERT_TRUE(DvWriteAudio(frame, DvSystem::Pal625, 48000, own, 1920));
    const std::string input = writeType2(dir.file("mono.avi"), frame, 6, {SoundTrack{1, 48000, 3, 1000}});
    const std::string output = dir.file("mono_type1.avi");
    ASSERT_TRUE(cdm.BuildType1Graph(input, output)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    const auto frames = framesOf(output, AviStreamKind::Interleaved);
    ASSERT_EQ(frames.size(), 6u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto sound = DvReadAudio(frames[i]);
        ASSERT_TRUE(sound);
        const std::int16_t expected = i < 3 ? 1000 : 7;
        EXPECT_EQ(sound->firstPair.front(), expected) << "frame " << i;
        EXPECT_EQ(sound->firstPair.back(), expected) << "frame " << i;
    }
}

// Two sound streams of a type 2 file both reach the type 1 file: converted to 32 kHz, the one rate at which
// a DV frame carries two stereo pairs (12-bit).
TEST_F(ConversionGraphsTest, TwoSoundStreamsBecomeTheFramesTwoStereoPairs) {
    const std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::string input =
        writeType2(dir.file("two.avi"), frame, 4, {SoundTrack{2, 48000, 4, 1000}, SoundTrack{1, 44100, 4, -1000}});
    const std::string output = dir.file("two_type1.avi");
    ASSERT_TRUE(cdm.BuildType1Graph(input, output)) << cdm.lastBuildError();
    const ConversionResult result = run(cdm);
    ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
    EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
    EXPECT_EQ(probeWarnings(output), "");
    const auto frames = framesOf(output, AviStreamKind::Interleaved);
    ASSERT_EQ(frames.size(), 4u);
    const auto sound = DvReadAudio(frames.at(1));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->format.sampleRate, 32000u);
    EXPECT_EQ(sound->format.quantization, DvSampleQuantization::NonLinear12);
    ASSERT_EQ(sound->format.stereoPairs, 2);
    // Steady levels survive the resampling (12-bit companding keeps them within a step).
    const std::size_t middle = sound->firstPair.size() / 2;
    EXPECT_NEAR(sound->firstPair[middle], 1000, 16);
    EXPECT_NEAR(sound->secondPair[middle], -1000, 16);
    EXPECT_NEAR(sound->secondPair[middle + 1], -1000, 16);  // the mono stream on both channels
}

// A type 1 file whose frames carry two stereo pairs (32 kHz 12-bit) becomes a type 2 file with two sound
// streams, one per pair, as ffmpeg also reads them.
TEST_F(ConversionGraphsTest, FourChannelSoundBecomesTwoStreamsOfType2) {
    std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::uint32_t count = DvAudioSamplesPerFrame(DvSystem::Pal625, 32000, 0);
    std::vector<std::int16_t> first(2 * std::size_t{count});
    std::vector<std::int16_t> second(2 * std::size_t{count});
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::int16_t>(i % 2 == 0 ? 1000 : 300);
        second[i] = static_cast<std::int16_t>(i % 2 == 0 ? -1000 : -300);
    }
    ASSERT_TRUE(DvWriteAudio12(frame, DvSystem::Pal625, first, second, count));
    const std::string input = dir.file("four.avi");
    {
        AviWriter writer(input);
        const int stream = writer.addInterleavedDvStream(DvSystem::Pal625, dvInfoOfFrame(frame, DvSystem::Pal625));
        for (int i = 0; i < 3; ++i) writer.writeSample(stream, frame);
        writer.close();
    }
    const std::string output = dir.file("four_type2.avi");
    ASSERT_TRUE(cdm.BuildType2Graph(input, output)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(probeWarnings(output), "");
    AviDemuxer converted(output);
    ASSERT_EQ(converted.streamCount(), 3u);
    for (const std::size_t stream : {std::size_t{1}, std::size_t{2}}) {
        ASSERT_EQ(converted.streams()[stream].kind(), AviStreamKind::Audio);
        std::vector<std::uint8_t> pcm;
        ASSERT_TRUE(converted.readSample(stream, 0, pcm));
        ASSERT_EQ(pcm.size(), 4u * count);
        // The values as the 12-bit curve keeps them.
        const auto kept = [](int v) { return DvExpand12(DvCompress12(static_cast<std::int16_t>(v))); };
        EXPECT_EQ(s16le(pcm, 0), kept(stream == 1 ? 1000 : -1000));
        EXPECT_EQ(s16le(pcm, 2), kept(stream == 1 ? 300 : -300));
    }
}

TEST_F(ConversionGraphsTest, RemuxTurnsAnInterleavedStreamBesideSoundIntoDvVideo) {
    std::vector<std::uint8_t> frame = datedFrame(2006, 3, 12, 15, 46, 37);
    const std::string input = writeType2(dir.file("mixed.avi"), frame, 5, {SoundTrack{2, 48000, 5, 1000}}, true);
    const std::string output = dir.file("mixed_fixed.avi");
    ASSERT_TRUE(cdm.BuildRemuxGraph(input, output)) << cdm.lastBuildError();
    ASSERT_EQ(run(cdm).outcome, ConversionOutcome::Completed);
    EXPECT_EQ(probeWarnings(output), "");
    AviDemuxer fixed(output);
    ASSERT_EQ(fixed.streamCount(), 2u);
    EXPECT_EQ(fixed.streams()[0].kind(), AviStreamKind::Video);
    EXPECT_EQ(fixed.streams()[1].kind(), AviStreamKind::Audio);
    EXPECT_EQ(framesOf(output, AviStreamKind::Video), framesOf(input, AviStreamKind::Interleaved));
}

}  // namespace
}  // namespace moraven
