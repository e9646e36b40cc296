#include "formats/list_scan.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "formats/avi_writer.h"
#include "formats/date_time.h"
#include "formats/wave_format.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

MediaTime ticks(std::int64_t value) { return MediaTime::fromTicks(value); }

// The views of the result's media types, zero when a type or its view is absent.
VideoInfo video(const TListScanResult& r) {
    return r.VideoFormat ? r.VideoFormat->videoInfo().value_or(VideoInfo{}) : VideoInfo{};
}
WaveFormat wave(const TListScanResult& r) {
    const WaveFormat none{0, 0, 0, 0, 0, 0, 0, {}};
    return r.AudioFormat ? r.AudioFormat->wave().value_or(none) : none;
}
DvInfo dvInfo(const TListScanResult& r) {
    return r.InterleavedFormat ? r.InterleavedFormat->dvInfo().value_or(DvInfo{}) : DvInfo{};
}

DateTime dateTime(int year, int month, int day, int hour, int minute, int second) {
    return encodeDateTime({year, month, day, hour, minute, second, 0}).value();
}

TEST(ListScanTest, Type2GivesTheVideoInfoAndWaveFormatBlocksAndTheFirstFramesFacts) {
    test::TempDir dir;
    const auto frame = DvFrameBuilder()
                           .recDate(0, 2004, 7, 15, 13, 5, 9)
                           .timecode(0, 0, 12, 5, 17)
                           .sourceControl(0, 2)
                           .bytes();
    const std::string path = test::writeRepeatedDvFrame(dir.file("type2.avi"), frame, 10);

    TListScanResult result;
    ASSERT_TRUE(ScanFile(path, result));
    EXPECT_EQ(result.StreamCount, 2);

    ASSERT_TRUE(result.VideoFormat.has_value());
    EXPECT_EQ(video(result).bitmap.width, 720);
    EXPECT_EQ(video(result).bitmap.height, 576);
    EXPECT_EQ(video(result).frameDuration, ticks(400000));
    EXPECT_EQ(video(result).bitmap.compression, FourCC::of("dvsd"));
    // The video-info view: the bit rate, the frame duration, and the stream format (with its bitmap header)
    // as it stands.
    const AviDemuxer demuxer(path);
    const auto& strf = demuxer.streams()[0].mediaType.format();
    ASSERT_GE(strf.size(), 40u);
    EXPECT_EQ(video(result).bitRate, 144000u * 8 * 25);
    EXPECT_EQ(video(result).frameDuration.ticks(), 400000);
    EXPECT_EQ(result.VideoFormat->format(), strf);
    EXPECT_EQ(result.VideoFormat->majorType(), FourCC::of("vids"));
    EXPECT_EQ(result.VideoFormat->subtype(), FourCC::of("dvsd"));
    EXPECT_EQ(result.VideoDuration, ticks(4'000'000));

    ASSERT_TRUE(result.AudioFormat.has_value());
    EXPECT_EQ(wave(result).formatTag, 1);
    EXPECT_EQ(wave(result).channels, 2);
    EXPECT_EQ(wave(result).samplesPerSecond, 48000u);
    EXPECT_EQ(wave(result).averageBytesPerSecond, 192000u);
    EXPECT_EQ(wave(result).blockAlign, 4) << "block alignment";
    EXPECT_EQ(wave(result).bitsPerSample, 16);
    EXPECT_EQ(wave(result).extraSize, 0) << "extra size";
    EXPECT_EQ(result.AudioDuration, ticks(4'000'000));

    EXPECT_FALSE(result.InterleavedFormat.has_value()) << "a type 2 file has no interleaved stream";
    EXPECT_EQ(result.Dv, (TDvFrameInfo{true, true, dateTime(2004, 7, 15, 13, 5, 9), {0, 12, 5, 17}, true}));
}

TEST(ListScanTest, TheFirstFramesFactsAreThoseOfTheWholeFrame) {
    // The scan reads sequence 0 first and the rest of the frame only when sequence 0 lacks a pack: the facts
    // must be those that the frame analysis finds in the whole frame.
    struct Case {
        std::string name;
        DvFrameBuilder frame;
        bool hasDate = true;
        bool wide = false;
    };
    std::vector<Case> cases;
    cases.push_back({"every pack in sequence 0", DvFrameBuilder(), true, true});
    cases.back().frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(0, 2);
    cases.push_back({"16:9 only in sequence 2", DvFrameBuilder(), true, true});
    cases.back().frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).sourceControl(2, 2);
    cases.push_back({"the date only in sequence 5", DvFrameBuilder(DvSystem::Ntsc525)});
    cases.back().frame.recDate(5, 1998, 1, 2, 3, 4, 5).timecode(0, 1, 2, 3, 4).sourceControl(0, 0);
    cases.push_back({"the timecode only in sequence 9", DvFrameBuilder(), true, true});
    cases.back().frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(9, 7, 6, 5, 4).sourceControl(0, 7);
    cases.push_back({"an impossible date in sequence 0", DvFrameBuilder(), false, true});
    cases.back()
        .frame.recDate(0, 2004, 2, 30, 13, 5, 9)
        .recDate(1, 2004, 2, 28, 13, 5, 9)
        .timecode(0, 1, 2, 3, 4)
        .sourceControl(0, 2);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::DvAviOptions options;
        options.system = c.frame.sequenceCount() == 10 ? DvSystem::Ntsc525 : DvSystem::Pal625;
        const std::string path = test::writeRepeatedDvFrame(dir.file("one.avi"), c.frame.bytes(), 1, options);
        auto analysis = std::make_unique<DvFrameAnalysis>();
        analysis->analyseFrame(c.frame.bytes(), MediaTime(), MediaTime());
        TListScanResult result;
        ASSERT_TRUE(ScanFile(path, result));
        EXPECT_EQ(result.Dv, analysis->CurrentInfo());
        EXPECT_EQ(result.Dv.HasDate, c.hasDate);
        EXPECT_TRUE(result.Dv.HasTimecode);
        EXPECT_EQ(result.Dv.Is16x9, c.wide);
    }
}

TEST(ListScanTest, Type2NtscHasTheRoundedFrameDuration) {
    test::TempDir dir;
    test::DvAviOptions options;
    options.system = DvSystem::Ntsc525;
    const std::string path = test::writeRepeatedDvFrame(
        dir.file("ntsc.avi"), DvFrameBuilder(DvSystem::Ntsc525).bytes(), 10, options);

    TListScanResult result;
    ASSERT_TRUE(ScanFile(path, result));
    EXPECT_EQ(video(result).bitmap.height, 480);
    EXPECT_EQ(video(result).frameDuration, ticks(333667)) << "10^7 x 1001 / 30000, rounded";
    EXPECT_EQ(result.VideoDuration, ticks(3'336'667));
    EXPECT_EQ(result.AudioDuration, ticks(3'336'667));
    EXPECT_EQ(result.Dv, TDvFrameInfo{}) << "a frame without packs gives false flags";
}

struct Type1Case {
    std::string name;
    DvSystem system;
    std::uint8_t audioFormatByte;  // byte 4 of the AAUX source pack
    std::int32_t height;
    std::int64_t frameDuration;
    std::int64_t fiveFrames;  // 5 x scale / rate seconds, in 100 ns
    std::uint32_t sampleRate;
};

TEST(ListScanTest, Type1GivesTheDvInfoBlockAndWhatTheDvSplitterMakesOfTheFrames) {
    const std::vector<Type1Case> cases = {
        {"PAL 48 kHz", DvSystem::Pal625, 0x00, 576, 400000, 2000000, 48000},
        {"PAL 44.1 kHz", DvSystem::Pal625, 0x08, 576, 400000, 2000000, 44100},
        {"NTSC 32 kHz 12-bit, delivered as 16-bit", DvSystem::Ntsc525, 0x11, 480, 333667, 1668333, 32000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::DvAviOptions options;
        options.system = c.system;
        options.type1 = true;
        options.defaultDvInfo = false;
        for (std::size_t i = 0; i < options.dvInfo.size(); ++i)
            options.dvInfo[i] = static_cast<std::uint8_t>(i + 1);
        const auto frame = DvFrameBuilder(c.system)
                               .audioSource(c.audioFormatByte)
                               .recDate(1, 2006, 3, 12, 15, 46, 37)
                               .bytes();
        const std::string path = test::writeRepeatedDvFrame(dir.file("type1.avi"), frame, 5, options);

        TListScanResult result;
        ASSERT_TRUE(ScanFile(path, result));
        EXPECT_EQ(result.StreamCount, 1);
        ASSERT_TRUE(result.InterleavedFormat.has_value());
        const auto& block = result.InterleavedFormat->format();
        EXPECT_TRUE(std::equal(options.dvInfo.begin(), options.dvInfo.end(), block.begin(), block.end()));
        EXPECT_EQ(dvInfo(result).vauxSrc, u32le(options.dvInfo, 16));
        const MediaTime duration = ticks(c.fiveFrames);
        EXPECT_EQ(result.VideoDuration, duration);
        EXPECT_EQ(result.AudioDuration, duration);

        ASSERT_TRUE(result.VideoFormat.has_value());
        EXPECT_EQ(video(result).bitmap.width, 720);
        EXPECT_EQ(video(result).bitmap.height, c.height);
        EXPECT_EQ(video(result).frameDuration, ticks(c.frameDuration));
        EXPECT_EQ(video(result).bitmap.compression, FourCC::of("dvsd"));

        ASSERT_TRUE(result.AudioFormat.has_value());
        EXPECT_EQ(wave(result).formatTag, 1);
        EXPECT_EQ(wave(result).channels, 2);
        EXPECT_EQ(wave(result).samplesPerSecond, c.sampleRate);
        EXPECT_EQ(wave(result).bitsPerSample, 16);
        EXPECT_EQ(wave(result).averageBytesPerSecond, c.sampleRate * 4);

        EXPECT_TRUE(result.Dv.HasDate);
        EXPECT_EQ(result.Dv.RecordedAt, dateTime(2006, 3, 12, 15, 46, 37));
    }
}

TEST(ListScanTest, Type1WithoutSoundPackHasNoAudioFormat) {
    test::TempDir dir;
    test::DvAviOptions options;
    options.type1 = true;
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("silent.avi"), DvFrameBuilder().bytes(), 3, options);
    TListScanResult result;
    ASSERT_TRUE(ScanFile(path, result));
    EXPECT_TRUE(result.VideoFormat.has_value());
    EXPECT_FALSE(result.AudioFormat.has_value());
    EXPECT_EQ(result.AudioDuration, ticks(3 * 400000)) << "the interleaved stream's duration all the same";
}

TEST(ListScanTest, AnInterleavedStreamTheDvSplitterRefusesFailsTheScan) {
    test::TempDir dir;
    test::DvAviOptions options;
    options.type1 = true;
    const std::string path = test::writeRepeatedDvFrame(
        dir.file("cdvc.avi"), DvFrameBuilder().audioSource(0).recDate(0, 2004, 7, 15, 13, 5, 9).bytes(), 3,
        options);
    test::setFirstStreamHandler(path, "CDVC");

    TListScanResult result;
    EXPECT_FALSE(ScanFile(path, result));
    // What was found before the refusal stays: the block and the facts of the frame analysis, which takes
    // interleaved DV whatever its handler.
    EXPECT_TRUE(result.InterleavedFormat.has_value());
    EXPECT_TRUE(result.Dv.HasDate);
    EXPECT_FALSE(result.VideoFormat.has_value());
    EXPECT_FALSE(result.AudioFormat.has_value());

    test::setFirstStreamHandler(path, "dvsd");
    EXPECT_TRUE(ScanFile(path, result));
    EXPECT_TRUE(result.VideoFormat.has_value());
}

TEST(ListScanTest, ADvStreamWhoseHandlerIsRefusedGivesFormatsButNoFacts) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(
        dir.file("upper.avi"),
        DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4).bytes(), 4);
    test::setFirstStreamHandler(path, "DVSD");

    TListScanResult result;
    ASSERT_TRUE(ScanFile(path, result));
    EXPECT_EQ(result.StreamCount, 2);
    EXPECT_TRUE(result.VideoFormat.has_value());
    EXPECT_TRUE(result.AudioFormat.has_value());
    EXPECT_EQ(result.Dv, TDvFrameInfo{});
}

// A file whose video is not DV ("MJPG", 320 x 240 at 30 frames/s, frames of 5000 bytes) with the given
// sound streams.
std::string writeNonDv(const test::TempDir& dir, const std::string& name,
                       const std::vector<WaveFormat>& sounds) {
    const std::string path = dir.file(name);
    AviWriter writer(path);
    writer.addVideoStream(AviVideoFormat::compressed(FourCC::of("MJPG"), 320, 240, {30, 1}));
    for (const auto& sound : sounds) writer.addAudioStream(sound);
    const std::vector<std::uint8_t> frame(5000, 0x55);
    for (int k = 0; k < 15; ++k) {
        writer.writeSample(0, frame);
        for (std::size_t s = 0; s < sounds.size(); ++s) {
            writer.writeSample(static_cast<int>(s + 1),
                               std::vector<std::uint8_t>(sounds[s].averageBytesPerSecond / 30, 0));
        }
    }
    writer.close();
    return path;
}

TEST(ListScanTest, ANonDvFileGivesFormatsAndDurationsOnlyWhateverThePreviousFileGave) {
    test::TempDir dir;
    const std::string dv = test::writeRepeatedDvFrame(
        dir.file("dv.avi"), DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).bytes(), 2);
    const std::string other =
        writeNonDv(dir, "other.avi", {WaveFormat::pcm(2, 48000, 16), WaveFormat::pcm(1, 22050, 8)});

    TListScanResult result;
    ASSERT_TRUE(ScanFile(dv, result));
    ASSERT_TRUE(result.Dv.HasDate);
    ASSERT_TRUE(ScanFile(other, result));
    EXPECT_EQ(result.Dv, TDvFrameInfo{});
    EXPECT_EQ(result.StreamCount, 3);
    EXPECT_EQ(video(result).bitmap.compression, FourCC::of("MJPG"));
    EXPECT_EQ(video(result).bitmap.width, 320);
    EXPECT_EQ(video(result).frameDuration, ticks(333333));
    EXPECT_EQ(result.VideoDuration, ticks(5'000'000));
    EXPECT_EQ(video(result).bitRate, 5000u * 8 * 30);
    // Two sound streams: the first one's format only.
    EXPECT_EQ(wave(result).samplesPerSecond, 48000u);
    EXPECT_EQ(wave(result).channels, 2);
    EXPECT_EQ(result.AudioDuration, ticks(5'000'000));
    EXPECT_FALSE(result.InterleavedFormat.has_value());
}

// An AVI file made of one "auds" stream whose format has `formatBytes` bytes.
std::vector<std::uint8_t> soundOnlyAvi(std::size_t formatBytes) {
    using namespace test;
    StreamHeader header;
    header.type = "auds";
    header.handler = std::string(4, '\0');
    header.scale = 4;
    header.rate = 192000;
    header.sampleSize = 4;
    ByteVector format = waveFormatBytes(2, 48000, 16);
    format.resize(formatBytes, 0);
    return serialize(
        riff("AVI ", {list("hdrl", {chunk("avih", avihBytes(MainHeader{})),
                                    list("strl", {chunk("strh", strhBytes(header)), chunk("strf", format)})}),
                      list("movi", {chunk("00wb", ByteVector(19200, 0))})}));
}

TEST(ListScanTest, ASixteenByteWaveFormatIsDeliveredWithExtraSizeZero) {
    test::TempDir dir;
    struct Case {
        std::size_t formatBytes;
        bool hasFormat;
    };
    for (const Case c : {Case{18, true}, Case{16, true}, Case{14, false}}) {
        SCOPED_TRACE(c.formatBytes);
        TListScanResult result;
        ASSERT_TRUE(ScanFile(dir.write("sound.avi", soundOnlyAvi(c.formatBytes)), result));
        EXPECT_EQ(result.StreamCount, 1);
        EXPECT_FALSE(result.VideoFormat.has_value());
        EXPECT_EQ(result.AudioFormat.has_value(), c.hasFormat);
        if (c.hasFormat) {
            EXPECT_EQ(wave(result).samplesPerSecond, 48000u);
            EXPECT_EQ(wave(result).extraSize, 0);
            EXPECT_EQ(result.AudioDuration, ticks(1'000'000));
        }
    }
}

TEST(ListScanTest, ADvStreamWithoutFramesGivesNoFacts) {
    test::TempDir dir;
    test::DvAviOptions options;
    options.withSound = false;
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("empty.avi"), DvFrameBuilder().bytes(), 0, options);
    TListScanResult result;
    ASSERT_TRUE(ScanFile(path, result));
    EXPECT_TRUE(result.VideoFormat.has_value());
    EXPECT_EQ(result.VideoDuration, MediaTime());
    EXPECT_EQ(result.Dv, TDvFrameInfo{});
}

TEST(ListScanTest, AFileItCannotReadGivesFalseAndClearedResults) {
    test::TempDir dir;
    const std::string dv = test::writeRepeatedDvFrame(
        dir.file("dv.avi"), DvFrameBuilder().recDate(0, 2004, 7, 15, 13, 5, 9).bytes(), 2);
    const std::vector<std::string> unreadable = {
        dir.file("missing.avi"),
        dir.write("text.avi", std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'A', 'V', 'I'}),
        dir.write("wave.avi",
                  test::serialize(test::riff("WAVE", {test::chunk("fmt ", test::waveFormatBytes())}))),
        dir.path().string(),
    };
    for (const auto& path : unreadable) {
        SCOPED_TRACE(path);
        TListScanResult result;
        ASSERT_TRUE(ScanFile(dv, result));
        EXPECT_FALSE(ScanFile(path, result));
        EXPECT_EQ(result.StreamCount, 0);
        EXPECT_FALSE(result.VideoFormat.has_value());
        EXPECT_FALSE(result.AudioFormat.has_value());
        EXPECT_EQ(result.Dv, TDvFrameInfo{});
    }
}

}  // namespace
}  // namespace moraven
