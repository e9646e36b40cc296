#include "formats/avi_fichier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_writer.h"
#include "formats/ds_functions.h"
#include "formats/wave_format.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

constexpr std::int64_t kPal = 400'000;
constexpr std::int64_t kNtsc = 333'667;
constexpr std::int64_t kSecond = 10'000'000;

FileRecordOptions dayFirstOptions() {
    FileRecordOptions options;
    options.datecodePattern = "dd/mm/yyyy hh:nn:ss";
    return options;
}

TAfficherFichier recordOf(const std::string& path) { return TAfficherFichier(path, dayFirstOptions()); }

// A PAL frame with every pack: recorded on 15 July 2004 at 13:05:09, timecode 00:12:05:17.
DvFrameBuilder packedFrame(DvSystem system = DvSystem::Pal625, std::uint8_t display = 0) {
    DvFrameBuilder frame(system);
    frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 0, 12, 5, 17).sourceControl(0, display);
    return frame;
}

DateTime localValue(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return encodeDateTime({year, month, day, hour, minute, second, ms}).value();
}

// Sets the access and modification times of `path` to a local time.
void setFileTimes(const std::string& path, int year, int month, int day, int hour, int minute, int second,
                  long nanoseconds) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const timespec time{std::mktime(&local), nanoseconds};
    const timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec modificationTime(const std::string& path) {
    struct stat entry {};
    EXPECT_EQ(::stat(path.c_str(), &entry), 0);
    return entry.st_mtim;
}

// The change time: any write to the file, and any change of its times, moves it.
timespec changeTime(const std::string& path) {
    struct stat entry {};
    EXPECT_EQ(::stat(path.c_str(), &entry), 0);
    return entry.st_ctim;
}

// Frames, durations and audio format names.

TEST(DurationTextTest, FramesAndMillisecondsFromTheWholeSecondsDown) {
    struct Case {
        std::int64_t frame;
        std::int64_t duration;
        const char* frames;
        const char* milliseconds;
    };
    const Case cases[] = {
        {kPal, 45'000'000, "4s 12fr", "4s 500ms"},
        {kPal, 2'000'000, "5fr", "200milliseconds"},
        {kPal, 3725 * kSecond, "1h 02mn 05s 00fr", "1h 02mn 05s 000ms"},
        {kPal, 3723 * kSecond + 1'600'000, "1h 02mn 03s 04fr", "1h 02mn 03s 160ms"},
        {kPal, 125 * kSecond + 4'800'000, "2mn 05s 12fr", "2mn 05s 480ms"},
        {kPal, 0, "0fr", "0milliseconds"},
        {kPal, 399'999, "0fr", "39milliseconds"},
        {kNtsc, 35 * kNtsc, "1s 05fr", "1s 167ms"},
        {kNtsc, 100 * 3600 * kSecond, "100h 00mn 00s 00fr", "100h 00mn 00s 000ms"},
        // Without a frame duration nothing can be counted in frames: milliseconds instead.
        {0, 45'000'000, "4s 500ms", "4s 500ms"},
        {-kPal, 2'000'000, "200milliseconds", "200milliseconds"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FramesDurationText(c.frame, c.duration), c.frames) << c.frame << " " << c.duration;
        EXPECT_EQ(MsDurationText(c.duration), c.milliseconds) << c.duration;
    }
}

TEST(DurationTextTest, ExtremeValuesGiveTextsWithoutFault) {
    EXPECT_FALSE(FramesDurationText(1, INT64_MAX).empty());
    EXPECT_FALSE(FramesDurationText(INT64_MAX, INT64_MIN).empty());
    EXPECT_FALSE(MsDurationText(INT64_MIN).empty());
}

TEST(AudioTagNameTest, NamesTheWindowsTagsAndNothingElse) {
    EXPECT_EQ(AudioTagName(1), "PCM");
    EXPECT_EQ(AudioTagName(2), "ADPCM");
    EXPECT_EQ(AudioTagName(3), "IEEE_FLOAT");
    EXPECT_EQ(AudioTagName(80), "MPEG");
    EXPECT_EQ(AudioTagName(85), "MP3");
    EXPECT_EQ(AudioTagName(98), "VOXWARE");
    EXPECT_EQ(AudioTagName(117), "VOXWARE");
    EXPECT_EQ(AudioTagName(4352), "LH_CODEC");
    EXPECT_EQ(AudioTagName(5120), "NORRIS");
    for (const int unnamed : {0, 4, 8, 255, 0x2000, 0xFFFE, 0xFFFF}) {
        EXPECT_EQ(AudioTagName(static_cast<std::uint16_t>(unnamed)), "Unknown") << unnamed;
    }
}

// The record of each kind of file.

TEST(VideoFileRecordTest, PalType2WithEveryPack) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(dir.file("Clip.avi"), packedFrame().bytes(), 10);
    const TAfficherFichier r = recordOf(path);
    EXPECT_TRUE(r.Exists());
    EXPECT_EQ(r.FileName(), "Clip.avi");
    EXPECT_EQ(r.FullPath(), path);
    EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09");
    EXPECT_EQ(r.Datecode(), localValue(2004, 7, 15, 13, 5, 9));
    EXPECT_EQ(r.TimecodeText(), "00.12.05.17");
    EXPECT_EQ(r.Codec(), "dvsd");
    EXPECT_TRUE(r.IsDv());
    EXPECT_EQ(r.DvType(), 2);
    EXPECT_FALSE(r.Type2Iavs());
    EXPECT_EQ(r.ImageText(), "720 x 576 (Pal 4x3)");
    EXPECT_EQ(r.Width(), 720);
    EXPECT_EQ(r.Height(), 540);
    EXPECT_EQ(r.Fps(), 25.0);
    EXPECT_EQ(r.TvSystem(), 1);
    EXPECT_FALSE(r.Is16x9());
    EXPECT_EQ(r.VideoDurationText(), "10fr");
    EXPECT_EQ(r.AudioDurationText(), "10fr");
    EXPECT_EQ(r.AudioText(), "48000Hz 16 bits  stereo");
    EXPECT_EQ(r.AudioFormatText(), "PCM 192000 bytes/s");
    EXPECT_FALSE(r.HasScenes());
    EXPECT_EQ(r.DatecodeKey(), "20040715130509");
    EXPECT_EQ(r.ListKey(), "20040715130509clip.avi" + lowerCaseKey(path));
}

// A recording that stopped in the middle of a frame (its index lost with the end): still DV of its type and
// system, with the whole frames' duration, so that the commands for DV files apply to it.
TEST(VideoFileRecordTest, ADvFileCutInItsFramesIsStillDvOfItsTypeAndSystem) {
    test::TempDir dir;
    for (const bool type1 : {false, true}) {
        SCOPED_TRACE(type1 ? "type 1" : "type 2");
        const std::string path = test::writeRepeatedDvFrame(dir.file(type1 ? "Cut1.avi" : "Cut2.avi"),
                                                            packedFrame().bytes(), 10, {.type1 = type1});
        const auto whole = test::readWholeFile(path);
        // Four whole frames, and half of the fifth.
        const std::size_t movi = test::chunkPositions(whole, "movi").front();
        const std::size_t frameChunk = (type1 ? 0 : 1920 * 4 + 8) + kDvPalFrameBytes + 8;
        const std::size_t cut = movi + 12 + 4 * frameChunk + kDvPalFrameBytes / 2;
        test::writeWholeFile(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        const TAfficherFichier r = recordOf(path);
        EXPECT_EQ(r.Codec(), "dvsd");
        EXPECT_TRUE(r.IsDv());
        EXPECT_EQ(r.DvType(), type1 ? 1 : 2);
        EXPECT_EQ(r.TvSystem(), 1);
        EXPECT_EQ(r.VideoDurationText(), "4fr");
        EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09");
    }
}

TEST(VideoFileRecordTest, PalType1TakesSystemAndRateFromTheDvInformationBlock) {
    test::TempDir dir;
    DvFrameBuilder frame = packedFrame(DvSystem::Pal625, 2);  // display select 2: 16:9
    frame.audioSource(0x11);                                  // 32 kHz, 12-bit non-linear
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("type1.avi"), frame.bytes(), 30, {.type1 = true});
    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.DvType(), 1);
    EXPECT_FALSE(r.Type2Iavs());
    EXPECT_EQ(r.TvSystem(), 1);
    EXPECT_EQ(r.Fps(), 25.0);
    EXPECT_TRUE(r.Is16x9());
    EXPECT_EQ(r.ImageText(), "720 x 576 (Pal 16x9)");
    EXPECT_EQ(r.Height(), 405);
    EXPECT_EQ(r.VideoDurationText(), "1s 05fr");
    EXPECT_EQ(r.AudioDurationText(), "1s 05fr");
    // The splitter delivers the 12-bit sound as 16-bit samples; the text says both.
    EXPECT_EQ(r.AudioText(), "32000Hz 12(16) bits  stereo");
    EXPECT_EQ(r.AudioFormatText(), "PCM 128000 bytes/s");
    EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09");
}

TEST(VideoFileRecordTest, NtscType2TakesItsSystemFromTheHeightAndItsRateFromTheStream) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(
        dir.file("ntsc.avi"), packedFrame(DvSystem::Ntsc525).bytes(), 35, {.system = DvSystem::Ntsc525});
    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.DvType(), 2);
    EXPECT_FALSE(r.Type2Iavs());
    EXPECT_EQ(r.TvSystem(), 2);
    EXPECT_EQ(r.ImageText(), "720 x 480 (NTSC 4x3)");
    EXPECT_EQ(r.Width(), 720);
    EXPECT_EQ(r.Height(), 540);
    EXPECT_DOUBLE_EQ(r.Fps(), 29.97);
    EXPECT_EQ(r.VideoDurationText(), "1s 05fr");
}

TEST(VideoFileRecordTest, NtscType1RunsAtTheExactNtscRate) {
    test::TempDir dir;
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("ntsc1.avi"), packedFrame(DvSystem::Ntsc525).bytes(), 3,
                                   {.system = DvSystem::Ntsc525, .type1 = true});
    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.DvType(), 1);
    EXPECT_EQ(r.TvSystem(), 2);
    EXPECT_EQ(r.Fps(), 30000.0 / 1001.0);
    EXPECT_EQ(r.ImageText(), "720 x 480 (NTSC 4x3)");
    EXPECT_EQ(r.AudioText(), "N/A");  // no AAUX source pack in the frames
}

TEST(VideoFileRecordTest, AnInterleavedStreamAmongOthersIsType2Iavs) {
    test::TempDir dir;
    const std::string path = dir.file("iavs.avi");
    const auto frame = packedFrame().bytes();
    AviWriter writer(path);
    writer.addInterleavedDvStream(DvSystem::Pal625, test::defaultDvInfoBlock(DvSystem::Pal625));
    writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    const std::vector<std::uint8_t> sound(1920 * 4, 0);
    for (int i = 0; i < 5; ++i) {
        writer.writeSample(0, frame);
        writer.writeSample(1, sound);
    }
    writer.close();

    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.DvType(), 2);
    EXPECT_TRUE(r.Type2Iavs());
    EXPECT_EQ(r.TvSystem(), 1);
    EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09");
}

TEST(VideoFileRecordTest, DvFilesWithoutPacksSayNotAvailable) {
    test::TempDir dir;
    DvFrameBuilder timecodeOnly;
    timecodeOnly.timecode(0, 1, 2, 3, 4);
    const TAfficherFichier noDate =
        recordOf(test::writeRepeatedDvFrame(dir.file("nodate.avi"), timecodeOnly.bytes(), 2));
    EXPECT_EQ(noDate.DatecodeText(), "N/A");
    EXPECT_EQ(noDate.Datecode(), DateTime());
    EXPECT_EQ(noDate.TimecodeText(), "01.02.03.04");
    EXPECT_EQ(noDate.DatecodeKey(), "N/A");
    EXPECT_EQ(noDate.ImageText(), "720 x 576 (Pal 4x3)");

    const TAfficherFichier bare =
        recordOf(test::writeRepeatedDvFrame(dir.file("bare.avi"), DvFrameBuilder().bytes(), 2));
    EXPECT_EQ(bare.DatecodeText(), "N/A");
    EXPECT_EQ(bare.TimecodeText(), "N/A");
    EXPECT_EQ(bare.DatecodeKey(), "N/A");
    EXPECT_TRUE(bare.IsDv());
}

TEST(VideoFileRecordTest, DatecodeTextFollowsThePatternAndLocaleAndABadPatternGivesNotAvailable) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(dir.file("clip.avi"), packedFrame().bytes(), 2);
    FileRecordOptions options;
    EXPECT_EQ(TAfficherFichier(path, options).DatecodeText(), "7/15/2004 13:05:09");  // "ddddd hh:nn:ss"
    options.datecodePattern = "dddd d mmmm yyyy";
    options.locale.longDayNames[4] = "jeudi";
    options.locale.longMonthNames[6] = "juillet";
    EXPECT_EQ(TAfficherFichier(path, options).DatecodeText(), "jeudi 15 juillet 2004");
    // The key does not depend on the pattern.
    EXPECT_EQ(TAfficherFichier(path, options).DatecodeKey(), "20040715130509");

    // A date that the packs hold but the calendar does not: no datecode.
    DvFrameBuilder impossible;
    impossible.recDate(0, 2004, 2, 30, 13, 5, 9).timecode(0, 0, 0, 1, 0);
    const TAfficherFichier r =
        recordOf(test::writeRepeatedDvFrame(dir.file("feb30.avi"), impossible.bytes(), 2));
    EXPECT_EQ(r.DatecodeText(), "N/A");
    EXPECT_EQ(r.DatecodeKey(), "N/A");
    EXPECT_EQ(r.TimecodeText(), "00.00.01.00");
}

TEST(VideoFileRecordTest, ThirtyTwoKilohertzSoundIsTwelveBitOnlyInDvFiles) {
    test::TempDir dir;
    const std::string dv =
        test::writeRepeatedDvFrame(dir.file("dv32.avi"), packedFrame().bytes(), 5, {.sampleRate = 32000});
    EXPECT_EQ(recordOf(dv).AudioText(), "32000Hz 12(16) bits  stereo");
    EXPECT_EQ(recordOf(dv).AudioFormatText(), "PCM 128000 bytes/s");

    // The same sound beside video that is not DV stays 16-bit.
    const std::string other = dir.file("mjpg32.avi");
    AviWriter writer(other);
    writer.addVideoStream(AviVideoFormat::compressed(FourCC::of("MJPG"), 320, 240));
    writer.addAudioStream(WaveFormat::pcm(2, 32000, 16));
    writer.writeSample(0, std::vector<std::uint8_t>(500, 1));
    writer.writeSample(1, std::vector<std::uint8_t>(1280 * 4, 0));
    writer.close();
    EXPECT_EQ(recordOf(other).AudioText(), "32000Hz 16 bits  stereo");
}

TEST(VideoFileRecordTest, ReadableFilesThatAreNotDvKeepDashesAndSortAfterEveryDatecode) {
    test::TempDir dir;
    const std::string path = dir.file("movie.avi");
    AviWriter writer(path);
    writer.addVideoStream(AviVideoFormat::compressed(FourCC::of("MJPG"), 320, 240, {30, 1}));
    for (int i = 0; i < 45; ++i) writer.writeSample(0, std::vector<std::uint8_t>(800, 7));
    writer.close();

    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.DatecodeText(), "-");
    EXPECT_EQ(r.TimecodeText(), "-");
    EXPECT_EQ(r.Codec(), "MJPG");
    EXPECT_FALSE(r.IsDv());
    EXPECT_EQ(r.DvType(), 0);
    EXPECT_EQ(r.TvSystem(), 0);
    EXPECT_EQ(r.ImageText(), "320 x 240");
    EXPECT_EQ(r.Height(), 240);
    EXPECT_EQ(r.Fps(), 30.0);
    EXPECT_EQ(r.VideoDurationText(), "1s 15fr");
    EXPECT_EQ(r.AudioText(), "N/A");
    EXPECT_EQ(r.AudioDurationText(), "");
    EXPECT_EQ(r.AudioFormatText(), "");
    EXPECT_EQ(r.DatecodeKey(), kNotDvDatecodeKey);
    EXPECT_EQ(r.ListKey(), "\xFEmovie.avi" + lowerCaseKey(path));
}

TEST(VideoFileRecordTest, AudioOnlyFilesCountTheirDurationInMilliseconds) {
    test::TempDir dir;
    const std::string path = dir.file("sound.avi");
    AviWriter writer(path);
    writer.addAudioStream(WaveFormat::pcm(1, 44100, 16));
    writer.writeSample(0, std::vector<std::uint8_t>(110250, 0));  // 1.25 s
    writer.close();

    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.Codec(), "");
    EXPECT_EQ(r.ImageText(), "N/A");
    EXPECT_EQ(r.Fps(), 0.0);
    EXPECT_EQ(r.VideoDurationText(), "");
    EXPECT_EQ(r.AudioText(), "44100Hz 16 bits  mono");
    EXPECT_EQ(r.AudioFormatText(), "PCM 88200 bytes/s");
    EXPECT_EQ(r.AudioDurationText(), "1s 250ms");
    EXPECT_EQ(r.DatecodeText(), "-");
    EXPECT_EQ(r.DatecodeKey(), kNotDvDatecodeKey);
}

// A video stream header with scale `scale` and rate `rate` over 320 × 240 "MJPG" frames, and one sound
// stream of 48 kHz stereo whose `audioBytes` bytes follow the two frames.
std::vector<std::uint8_t> handMadeAvi(std::uint32_t scale, std::uint32_t rate, std::size_t audioBytes,
                                      std::uint16_t channels = 2, std::uint16_t bits = 16) {
    using namespace test;
    StreamHeader video;
    video.handler = "MJPG";
    video.scale = scale;
    video.rate = rate;
    video.length = 2;
    StreamHeader audio;
    audio.type = "auds";
    audio.handler = std::string(4, '\0');
    audio.scale = 4;
    audio.rate = 192000;
    audio.sampleSize = 4;
    audio.length = static_cast<std::uint32_t>(audioBytes / 4);
    MainHeader main;
    main.streams = 2;
    return serialize(
        riff("AVI ", {list("hdrl", {chunk("avih", avihBytes(main)),
                                    list("strl", {chunk("strh", strhBytes(video)),
                                                  chunk("strf", bitmapInfoBytes(320, 240, "MJPG", 24, 500))}),
                                    list("strl", {chunk("strh", strhBytes(audio)),
                                                  chunk("strf", waveFormatBytes(channels, 48000, bits))})}),
                      list("movi", {chunk("00dc", ByteVector(500, 1)), chunk("00dc", ByteVector(500, 2)),
                                    chunk("01wb", ByteVector(audioBytes, 0))})}));
}

TEST(VideoFileRecordTest, AStreamWithoutFrameDurationHasNoFrameRateAndCountsMilliseconds) {
    test::TempDir dir;
    const TAfficherFichier r = recordOf(dir.write("noscale.avi", handMadeAvi(0, 25, 96000)));
    EXPECT_EQ(r.ImageText(), "320 x 240");
    EXPECT_EQ(r.Fps(), 0.0);
    EXPECT_EQ(r.VideoDurationText(), "0milliseconds");
    EXPECT_EQ(r.AudioDurationText(), "500milliseconds");
}

TEST(VideoFileRecordTest, FrameRatesAreRoundedToTwoDecimalsHalvesToEven) {
    struct Case {
        std::uint32_t scale;
        std::uint32_t rate;
        double fps;
    };
    // 10^9 / frame duration: 1250000/... -> the hundredths.
    const Case cases[] = {
        {8, 1, 0.12},   // 12.5 hundredths -> 12
        {40, 1, 0.02},  // 2.5 -> 2
        {1001, 30000, 29.97}, {1, 24, 24.0}, {1000, 23976, 23.98},
    };
    test::TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "rate" + std::to_string(n++) + ".avi";
        const TAfficherFichier r = recordOf(dir.write(name, handMadeAvi(c.scale, c.rate, 4)));
        EXPECT_DOUBLE_EQ(r.Fps(), c.fps) << c.scale << "/" << c.rate;
    }
}

TEST(VideoFileRecordTest, ChannelsAndBitsTexts) {
    struct Case {
        std::uint16_t channels;
        std::uint16_t bits;
        const char* text;
    };
    const Case cases[] = {
        {0, 16, "48000Hz 16 bits no channel"},
        {1, 8, "48000Hz 8 bits  mono"},
        {2, 0, "48000Hz  stereo"},
        {6, 24, "48000Hz 24 bits  stereo (6)"},
    };
    test::TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "audio" + std::to_string(n++) + ".avi";
        const TAfficherFichier r = recordOf(dir.write(name, handMadeAvi(1, 25, 4, c.channels, c.bits)));
        EXPECT_EQ(r.AudioText(), c.text);
    }
}

TEST(VideoFileRecordTest, UpperCaseAndOtherDvCodesCountAsDv) {
    test::TempDir dir;
    for (const std::string code : {"DVSD", "CDVC", "dsvd", "dvsd"}) {
        const std::string path =
            test::writeRepeatedDvFrame(dir.file(code + ".avi"), packedFrame().bytes(), 2);
        test::setFirstStreamHandler(path, code);
        const TAfficherFichier r = recordOf(path);
        EXPECT_EQ(r.Codec(), code);
        EXPECT_TRUE(r.IsDv()) << code;
        EXPECT_EQ(r.DvType(), 2) << code;
        EXPECT_EQ(r.ImageText(), "720 x 576 (Pal 4x3)") << code;
    }
    const std::string other = test::writeRepeatedDvFrame(dir.file("dv25.avi"), packedFrame().bytes(), 2);
    test::setFirstStreamHandler(other, "dv25");
    EXPECT_FALSE(recordOf(other).IsDv());
    EXPECT_EQ(recordOf(other).DatecodeText(), "-");
}

TEST(VideoFileRecordTest, FilesThatAreNotAviAndMissingFiles) {
    test::TempDir dir;
    const std::string text = dir.write("notes.avi", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'A', 'V', 'I'});
    const TAfficherFichier r = recordOf(text);
    EXPECT_TRUE(r.Exists());
    EXPECT_EQ(r.SizeLow(), 10u);
    EXPECT_EQ(r.Codec(), "");
    EXPECT_EQ(r.DatecodeText(), "");
    EXPECT_EQ(r.TimecodeText(), "");
    EXPECT_EQ(r.ImageText(), "N/A");
    EXPECT_EQ(r.AudioText(), "N/A");
    EXPECT_EQ(r.DatecodeKey(), kUnreadableDatecodeKey);
    EXPECT_EQ(r.ListKey(), "\xFFnotes.avi" + lowerCaseKey(text));

    const std::string missingPath = dir.file("gone.avi");
    const TAfficherFichier missing = recordOf(missingPath);
    EXPECT_FALSE(missing.Exists());
    EXPECT_EQ(missing.SizeHigh(), 0u);
    EXPECT_EQ(missing.SizeLow(), 0u);
    EXPECT_EQ(missing.Modified(), DateTime());
    EXPECT_EQ(missing.Created(), DateTime());
    EXPECT_EQ(missing.Attributes(), 0u);
    EXPECT_EQ(missing.SizeKey(), "");
    EXPECT_EQ(missing.DateKey(), "");
    EXPECT_EQ(missing.DatecodeText(), "");
    EXPECT_EQ(missing.DatecodeKey(), kUnreadableDatecodeKey);
    EXPECT_EQ(missing.NameKey(), "gone.avi" + lowerCaseKey(missingPath));
}

TEST(VideoFileRecordTest, SceneFileBesideTheVideo) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(dir.file("clip.avi"), packedFrame().bytes(), 2);
    EXPECT_FALSE(recordOf(path).HasScenes());
    dir.write("clip.avi.scn", {1});
    EXPECT_FALSE(recordOf(path).HasScenes());
    dir.write("clip.scn", {1});
    EXPECT_TRUE(recordOf(path).HasScenes());
}

// File-system facts and sort keys.

TEST(VideoFileRecordTest, FileTimesAttributesAndSizeKeys) {
    test::TempDir dir;
    const DateTime before = currentDateTime();
    const std::string path = dir.write("Some File.AVI", std::vector<std::uint8_t>(70000, 0));
    setFileTimes(path, 2005, 3, 4, 5, 6, 7, 890'123'456);
    const TAfficherFichier r = recordOf(path);
    EXPECT_EQ(r.Modified(), localValue(2005, 3, 4, 5, 6, 7, 890));
    EXPECT_EQ(r.Accessed(), localValue(2005, 3, 4, 5, 6, 7, 890));
    // Created: the birth time, or the time of the last change of the file's inode (the times just set).
    EXPECT_GE(r.Created().days(), before.days() - 1.0 / 86400);
    EXPECT_LE(r.Created().days(), currentDateTime().days() + 1.0 / 86400);
    EXPECT_EQ(r.Attributes() & TSRFichier::kReadOnlyAttribute, 0u);
    EXPECT_EQ(r.SizeHigh(), 0u);
    EXPECT_EQ(r.SizeLow(), 70000u);
    EXPECT_EQ(r.SizeKey(),
              "0000000000000000"
              "0000000000011170" +
                  lowerCaseKey(path));
    EXPECT_EQ(r.DateKey(), "20050304050607" + lowerCaseKey(path));
    EXPECT_EQ(r.NameKey(), "some file.avi" + lowerCaseKey(path));

    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(recordOf(path).Attributes() & TSRFichier::kReadOnlyAttribute, TSRFichier::kReadOnlyAttribute);
}

TEST(VideoFileRecordTest, KeysLowerOnlyAsciiLettersAndKeepEveryOtherByte) {
    test::TempDir dir;
    // "Été.AVI" in UTF-8, and "ÉTÉ.AVI" in Latin-1 (not UTF-8).
    const std::string utf8 = dir.write("\xC3\x89t\xC3\xA9.AVI", {0});
    EXPECT_EQ(recordOf(utf8).FileName(), "\xC3\x89t\xC3\xA9.AVI");
    EXPECT_EQ(recordOf(utf8).NameKey().rfind("\xC3\x89t\xC3\xA9.avi/", 0), 0u);
    const std::string latin1 = dir.write("\xC9T\xC9.AVI", {0});
    EXPECT_EQ(recordOf(latin1).NameKey().rfind("\xC9t\xC9.avi/", 0), 0u);
    EXPECT_EQ(lowerCaseKey("ABC xyz \xC3\x80\xFF[]@Z"), "abc xyz \xC3\x80\xFF[]@z");
}

TEST(VideoFileRecordTest, RelativePathsBecomeAbsolute) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(dir.file("clip.avi"), packedFrame().bytes(), 1);
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    const TAfficherFichier r = recordOf("clip.avi");
    std::filesystem::current_path(previous);
    EXPECT_EQ(r.FullPath(), path);
    EXPECT_EQ(r.FileName(), "clip.avi");
    EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09");
}

TEST(VideoFileRecordTest, SameDatecodeSortsByNameThenByFolder) {
    test::TempDir dir;
    for (const char* folder : {"x", "y", "z"}) std::filesystem::create_directory(dir.path() / folder);
    const auto frame = packedFrame().bytes();
    const std::string xb = test::writeRepeatedDvFrame(dir.file("x/b.avi"), frame, 1);
    const std::string ya = test::writeRepeatedDvFrame(dir.file("y/a.avi"), frame, 1);
    const std::string za = test::writeRepeatedDvFrame(dir.file("z/a.avi"), frame, 1);
    DvFrameBuilder earlier;
    earlier.recDate(0, 2003, 1, 1, 0, 0, 0);
    const std::string zz = test::writeRepeatedDvFrame(dir.file("z/zz.avi"), earlier.bytes(), 1);
    const std::string text = dir.write("x/0.avi", {'x'});
    std::vector<std::pair<std::string, std::string>> keys;  // key, path
    for (const auto& path : {xb, ya, za, zz, text}) keys.emplace_back(recordOf(path).ListKey(), path);
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> order;
    for (const auto& entry : keys) order.push_back(entry.second);
    EXPECT_EQ(order, (std::vector<std::string>{zz, ya, za, xb, text}));
}

// The "dvsd" retry of files whose DV handler the scan refuses.

TEST(VideoFileRecordTest, RefusedDvHandlerIsScannedAsDvsdAndTheFileEndsAsItWas) {
    test::TempDir dir;
    for (const std::string code : {"CDVC", "DVSD", "dv25"}) {
        DvFrameBuilder frame = packedFrame(DvSystem::Pal625, 2);
        frame.audioSource(0x00);
        const std::string path =
            test::writeRepeatedDvFrame(dir.file(code + ".avi"), frame.bytes(), 4, {.type1 = true});
        test::setFirstStreamHandler(path, code);
        setFileTimes(path, 2006, 1, 2, 3, 4, 5, 600'000'000);
        const auto bytes = test::readWholeFile(path);
        const timespec modified = modificationTime(path);
        const timespec changed = changeTime(path);

        const TAfficherFichier r = recordOf(path);
        EXPECT_EQ(r.Codec(), code);
        EXPECT_EQ(r.ImageText(), r.IsDv() ? "720 x 576 (Pal 16x9)" : "720 x 576") << code;
        EXPECT_EQ(r.AudioText(), "48000Hz 16 bits  stereo") << code;
        if (r.IsDv()) {
            EXPECT_EQ(r.DatecodeText(), "15/07/2004 13:05:09") << code;
            EXPECT_EQ(r.TimecodeText(), "00.12.05.17") << code;
            EXPECT_EQ(r.DvType(), 1) << code;
        } else {
            EXPECT_EQ(r.DatecodeText(), "-") << code;
        }
        EXPECT_EQ(test::readWholeFile(path), bytes) << code;
        EXPECT_EQ(modificationTime(path).tv_sec, modified.tv_sec) << code;
        EXPECT_EQ(modificationTime(path).tv_nsec, modified.tv_nsec) << code;
        // The retry is made in memory: the file is never written.
        EXPECT_EQ(changeTime(path).tv_sec, changed.tv_sec) << code;
        EXPECT_EQ(changeTime(path).tv_nsec, changed.tv_nsec) << code;
        EXPECT_EQ(r.Modified(), localValue(2006, 1, 2, 3, 4, 5, 600));
    }
}

// A folder and file that the user "nobody" may read but not write.
void openToOthers(const test::TempDir& dir, const std::string& path, mode_t mode) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

TEST(VideoFileRecordTest, AReadOnlyFileWithARefusedHandlerListsWithFullFactsAndStaysAsItWas) {
    test::TempDir dir;
    const std::string path =
        test::writeRepeatedDvFrame(dir.file("locked.avi"), packedFrame().bytes(), 2, {.type1 = true});
    test::setFirstStreamHandler(path, "CDVC");
    openToOthers(dir, path, 0444);
    const auto bytes = test::readWholeFile(path);
    const timespec changed = changeTime(path);
    // The same facts as a writable copy of the file gives.
    const TAfficherFichier writable = recordOf(path);
    const auto result = test::runUnprivileged([&] {
        const TAfficherFichier r = recordOf(path);
        if (r.DatecodeText() != writable.DatecodeText() || r.DatecodeText().empty()) return 1;
        if (r.TimecodeText() != writable.TimecodeText() || r.TimecodeText().empty()) return 2;
        if (r.DatecodeKey() != writable.DatecodeKey() || r.DatecodeKey() == kUnreadableDatecodeKey) return 3;
        if (r.Codec() != "CDVC" || r.ImageText() != writable.ImageText() || r.DvType() != 1) return 4;
        if ((r.Attributes() & TSRFichier::kReadOnlyAttribute) == 0) return 5;
        return 0;
    });
    if (!result) GTEST_SKIP() << "cannot run without the power to override permissions";
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(test::readWholeFile(path), bytes);
    EXPECT_EQ(changeTime(path).tv_sec, changed.tv_sec);
    EXPECT_EQ(changeTime(path).tv_nsec, changed.tv_nsec);
}

TEST(VideoFileRecordTest, AFileThatCannotBeOpenedGivesNoRecord) {
    test::TempDir dir;
    const std::string path = test::writeRepeatedDvFrame(dir.file("closed.avi"), packedFrame().bytes(), 2);
    openToOthers(dir, path, 0200);
    const auto result = test::runUnprivileged([&] {
        try {
            recordOf(path);
        } catch (const FileError& error) {
            return error.code() == FileErrorCode::AccessDenied ? 0 : 2;
        }
        return 1;
    });
    if (!result) GTEST_SKIP() << "cannot run without the power to override permissions";
    EXPECT_EQ(*result, 0);
}

// Malformed files: every record is made, and no file is changed by making it.

// The bytes of a file, read in one go (the checks below read files thousands of times).
std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(std::filesystem::file_size(path));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(in.good() || bytes.empty());
    return bytes;
}

// Makes a record of the file at `path`, which must hold `expected`: the record must be made without an
// error, and the file must hold the same bytes afterwards.
void expectRecordLeavesFile(const std::string& path, const std::vector<std::uint8_t>& expected,
                            const std::string& what) {
    try {
        const TAfficherFichier r = recordOf(path);
        EXPECT_TRUE(r.Exists()) << what;
        EXPECT_FALSE(r.ListKey().empty()) << what;
    } catch (const std::exception& error) {
        ADD_FAILURE() << what << ": " << error.what();
    }
    EXPECT_EQ(fileBytes(path), expected) << what;
}

void pokeByte(const std::string& path, std::size_t at, std::uint8_t value) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(at));
    file.put(static_cast<char>(value));
    ASSERT_TRUE(file.good());
}

TEST(VideoFileRecordTest, TruncatedAndCorruptedFilesGiveRecordsAndStayAsTheyWere) {
    test::TempDir dir;
    DvFrameBuilder frame = packedFrame(DvSystem::Ntsc525);
    frame.audioSource(0x00);
    for (const bool type1 : {true, false}) {
        const std::string label = type1 ? "type 1, " : "type 2, ";
        const std::string source = test::writeRepeatedDvFrame(dir.file(label + ".avi"), frame.bytes(), 2,
                                                              {.system = DvSystem::Ntsc525, .type1 = type1});
        const auto whole = test::readWholeFile(source);
        const std::size_t movi = test::chunkPositions(whole, "movi").front();
        const std::size_t headerEnd = movi + 12 + 600;  // the headers and the first frame's first packs
        const std::string path = dir.file("damaged.avi");

        // Cut at every 16 bytes through the headers, then through the frames and the index.
        for (std::size_t size = 0; size < whole.size(); size += size < headerEnd ? 16 : 9973) {
            const std::vector<std::uint8_t> cut(whole.begin(),
                                                whole.begin() + static_cast<std::ptrdiff_t>(size));
            test::writeWholeFile(path, cut);
            expectRecordLeavesFile(path, cut, label + "cut at " + std::to_string(size));
        }

        // Every header byte set to 0xFF, 0x00 or its complement in turn, one at a time.
        test::writeWholeFile(path, whole);
        auto expected = whole;
        for (std::size_t at = 0; at < headerEnd && !::testing::Test::HasFailure(); ++at) {
            const std::uint8_t values[] = {0xFF, 0x00, static_cast<std::uint8_t>(~whole[at])};
            expected[at] = values[at % 3];
            pokeByte(path, at, expected[at]);
            expectRecordLeavesFile(path, expected, label + "byte " + std::to_string(at));
            expected[at] = whole[at];
            pokeByte(path, at, whole[at]);
        }

        // The index at the end, scrambled.
        const std::size_t idx1 = test::chunkPositions(whole, "idx1").front();
        for (std::size_t at = idx1 + 8; at < expected.size(); ++at) {
            expected[at] = static_cast<std::uint8_t>(at * 37);
        }
        test::writeWholeFile(path, expected);
        expectRecordLeavesFile(path, expected, label + "scrambled idx1");
    }
}

}  // namespace
}  // namespace moraven
