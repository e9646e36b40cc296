#include "window/info_texts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_writer.h"
#include "formats/wave_format.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/temp_dir.h"

namespace moraven {

void PrintTo(const InfoFacts& f, std::ostream* out) {
    *out << '{' << f.datecode << " | " << f.timecode << " | " << f.codec << " | " << f.image << " | "
         << f.duration << " | " << f.fps << " | " << f.audio << " | " << f.audioFormat << '}';
}

namespace {

using test::DvFrameBuilder;

InfoTextOptions dayFirst() {
    InfoTextOptions options;
    options.datecodePattern = "dd/mm/yyyy hh:nn:ss";
    options.thousandsSeparator = ".";
    return options;
}

// A PAL frame recorded on 15 July 2004 at 13:05:09, timecode 00:12:05:17, with display select `display`
// (0: 4:3, 2: 16:9).
DvFrameBuilder packedFrame(std::uint8_t display = 0) {
    DvFrameBuilder frame(DvSystem::Pal625);
    frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 0, 12, 5, 17).sourceControl(0, display);
    return frame;
}

// One interleaved DV stream and a PCM stream with `soundBlocks` blocks of one frame's sound each.
std::string writeIavsAmongOthers(const std::string& path, int frames, int soundBlocks) {
    const auto frame = packedFrame().bytes();
    AviWriter writer(path);
    writer.addInterleavedDvStream(DvSystem::Pal625, test::defaultDvInfoBlock(DvSystem::Pal625));
    writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    const std::vector<std::uint8_t> sound(1920 * 4, 0);
    for (int i = 0; i < frames; ++i) {
        writer.writeSample(0, frame);
        if (i < soundBlocks) writer.writeSample(1, sound);
    }
    writer.close();
    return path;
}

TEST(InfoTextsTest, FactsOfDvFilesOfEachType) {
    test::TempDir dir;
    const std::string type2 = test::writeRepeatedDvFrame(dir.file("Type2.avi"), packedFrame().bytes(), 30);
    const std::string type1 =
        test::writeRepeatedDvFrame(dir.file("type1.avi"), packedFrame(2).bytes(), 30, {.type1 = true});
    const std::string iavs = writeIavsAmongOthers(dir.file("iavs.avi"), 30, 20);

    const InfoFacts facts2 = InfoFactsOf(TAfficherFichier(type2), dayFirst());
    EXPECT_EQ(facts2, (InfoFacts{"15/07/2004 13:05:09", "00.12.05.17", "dvsd (type 2)", "720 x 576 (Pal 4x3)",
                                 "1s 05fr", "25", "48000Hz 16 bits  stereo", "PCM 192000 bytes/s"}));

    // The datecode follows the pattern given now, not the one the record was read with.
    InfoTextOptions isoDates = dayFirst();
    isoDates.datecodePattern = "yyyy-mm-dd";
    const InfoFacts facts1 = InfoFactsOf(TAfficherFichier(type1), isoDates);
    EXPECT_EQ(facts1.datecode, "2004-07-15");
    EXPECT_EQ(facts1.codec, "dvsd (type 1)");
    EXPECT_EQ(facts1.image, "720 x 576 (Pal 16x9)");

    // Sound shorter than the picture: both durations.
    const InfoFacts factsIavs = InfoFactsOf(TAfficherFichier(iavs), dayFirst());
    EXPECT_EQ(factsIavs.codec, "dvsd (type 2 iavs)");
    EXPECT_EQ(factsIavs.duration, "1s 05fr (20fr)");
}

TEST(InfoTextsTest, FactsOfFilesWithoutDatecodeOrVideo) {
    test::TempDir dir;
    DvFrameBuilder timecodeOnly;
    timecodeOnly.timecode(0, 1, 2, 3, 4);
    const std::string noDate = test::writeRepeatedDvFrame(dir.file("nodate.avi"), timecodeOnly.bytes(), 2);
    const InfoFacts dv = InfoFactsOf(TAfficherFichier(noDate), dayFirst());
    EXPECT_EQ(dv.datecode, "N/A");
    EXPECT_EQ(dv.timecode, "01.02.03.04");

    const std::string soundOnly = dir.file("sound.avi");
    AviWriter writer(soundOnly);
    writer.addAudioStream(WaveFormat::pcm(1, 44100, 16));
    writer.writeSample(0, std::vector<std::uint8_t>(110250, 0));  // 1.25 s
    writer.close();
    const InfoFacts sound = InfoFactsOf(TAfficherFichier(soundOnly), dayFirst());
    EXPECT_EQ(sound, (InfoFacts{"-", "-", "", "N/A", " (1s 250ms)", "", "44100Hz 16 bits  mono",
                                "PCM 88200 bytes/s"}));

    const std::string broken = dir.write("broken.avi", {'n', 'o', 't', ' ', 'a', 'v', 'i'});
    EXPECT_EQ(InfoFactsOf(TAfficherFichier(broken), dayFirst()),
              (InfoFacts{"", "", "", "N/A", "", "", "N/A", ""}));
}

TEST(InfoTextsTest, DurationAndFrameRateTexts) {
    EXPECT_EQ(DurationDisplayText("4s 12fr", ""), "4s 12fr");
    EXPECT_EQ(DurationDisplayText("4s 12fr", "4s 12fr"), "4s 12fr");
    EXPECT_EQ(DurationDisplayText("4s 12fr", "4s 10fr"), "4s 12fr (4s 10fr)");

    EXPECT_EQ(FpsDisplayText(25.0), "25");
    EXPECT_EQ(FpsDisplayText(29.97), "29.97");
    EXPECT_EQ(FpsDisplayText(30000.0 / 1001.0), "29.97002997002997");
    EXPECT_EQ(FpsDisplayText(0.0), "");
    EXPECT_EQ(FpsDisplayText(-25.0), "");
    EXPECT_EQ(FpsDisplayText(std::nan("")), "");
}

TEST(InfoTextsTest, GroupsDigitsInThrees) {
    EXPECT_EQ(GroupedDecimal(0, ","), "0");
    EXPECT_EQ(GroupedDecimal(999, ","), "999");
    EXPECT_EQ(GroupedDecimal(1000, ","), "1,000");
    EXPECT_EQ(GroupedDecimal(4294967296ULL, ","), "4,294,967,296");
    EXPECT_EQ(GroupedDecimal(4294967296ULL, "\u202F"), "4\u202F294\u202F967\u202F296");
    EXPECT_EQ(GroupedDecimal(123456, ""), "123456");
    EXPECT_EQ(GroupedDecimal(18446744073709551615ULL, "."), "18.446.744.073.709.551.615");
}

TEST(InfoTextsTest, FileHintNamesPathSizeAndModificationTime) {
    test::TempDir dir;
    const std::string path = dir.write("Clip.AVI", std::vector<std::uint8_t>(12345, 0));
    std::tm local{};
    local.tm_year = 2006 - 1900;
    local.tm_mon = 6;
    local.tm_mday = 28;
    local.tm_hour = 9;
    local.tm_min = 30;
    local.tm_isdst = -1;
    const timespec time{std::mktime(&local), 0};
    const timespec times[2] = {time, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    EXPECT_EQ(FileHintText(TSRFichier(path), dayFirst()),
              "File     : " + path + "\nSize     : 12.345\nModified : 28/07/2006 09:30:00");
}

TEST(InfoTextsTest, TheFileNameShrinksToFitTheTitleLine) {
    struct Case {
        int nameWidth;
        int titleWidth;
        int pixels;
    };
    const Case cases[] = {
        {100, 257, 13},   // fits
        {247, 257, 13},   // exactly the room, title width − 10
        {248, 257, 12},   // 247 × 13 ÷ 248 = 12.9
        {260, 257, 12},   // 12.3
        {286, 257, 11},   // 11.2
        {292, 257, 11},   // 10.99 is below 8 points: 11
        {1000, 257, 11},  // 3.2
        {50, 5, 11},      // no room at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameFontPixelHeight(c.nameWidth, c.titleWidth), c.pixels)
            << c.nameWidth << " in " << c.titleWidth;
    }
}

TEST(InfoTextsTest, VideoWindowTakesThePictureShapeCentredInTheColumn) {
    struct Case {
        int width;
        int height;
        PanelRect video;
    };
    const Case cases[] = {
        {720, 540, {20, 186, 240, 180}},  // DV 4:3
        {720, 405, {20, 186, 240, 135}},  // DV 16:9
        {320, 240, {20, 186, 240, 180}},  {640, 480, {20, 186, 240, 180}},
        {320, 480, {80, 186, 120, 180}},                                     // taller than wide
        {1920, 800, {20, 186, 240, 100}}, {1, 1000000, {140, 186, 0, 180}},  // degenerate but no fault
    };
    for (const Case& c : cases) {
        const auto layout = VideoAreaLayoutFor(c.width, c.height, 186);
        ASSERT_TRUE(layout.has_value()) << c.width << "x" << c.height;
        EXPECT_EQ(layout->video, c.video) << c.width << "x" << c.height;
    }
    EXPECT_FALSE(VideoAreaLayoutFor(0, 576, 186).has_value());
    EXPECT_FALSE(VideoAreaLayoutFor(720, 0, 186).has_value());
    EXPECT_FALSE(VideoAreaLayoutFor(-720, 576, 186).has_value());

    // Everything around a 16:9 picture follows its edges.
    const VideoAreaLayout wide = *VideoAreaLayoutFor(720, 405, 186);
    EXPECT_EQ(wide.timeStampTop, 186 + 135 + 6);
    EXPECT_EQ(wide.cornerLeft, 20 + 240 - 16);
    EXPECT_EQ(wide.cornerTop, 186 + 135 - 16);
    EXPECT_EQ(wide.inlayHorzLeft, 12);
    EXPECT_EQ(wide.inlayHorzWidth, 256);
    EXPECT_EQ(wide.inlayHorzTop, 186 + 135 - 5);
    EXPECT_EQ(wide.inlayVertLeft, 255);
    EXPECT_EQ(wide.inlayVertTop, 178);
    EXPECT_EQ(wide.inlayVertHeight, 151);
    EXPECT_EQ(wide.positionBarLeft, 20);
    EXPECT_EQ(wide.positionBarWidth, 240);
}

std::vector<MessageLine> tail(const std::vector<MessageLine>& lines) {
    return {lines.begin() + 5, lines.end()};
}

TEST(InfoTextsTest, MessagesNameTheFileWhenThereIsOne) {
    using enum MessageStyle;
    const std::vector<MessageLine> head = {{"", Regular},
                                           {"", Regular},
                                           {"", BoldItalic},
                                           {"Video not available", BoldItalic},
                                           {"", BoldItalic}};
    const MessageFile file{"/Video/Clip.AVI", "Clip.AVI", "DVSD"};
    const std::string codecSentence =
        "seems to have a non standard DV codec. To show the video, try to change the codec \"DVSD\" to "
        "\"dvsd\"";
    const std::string noFilter = " There is no directshow filter on your system that can decompress the";
    struct Case {
        int number;
        std::vector<MessageLine> withFile;
        std::vector<MessageLine> withoutFile;
    };
    const Case cases[] = {
        {1,
         {{"The file"}, {""}, {"/video/clip.avi", BoldBlue}, {"is not found"}},
         {{"The file"}, {""}, {"is not found"}}},
        {2, {{"The file "}, {"/video/clip.avi", BoldBlue}, {codecSentence}}, {{"The file "}}},
        {3,
         {{"The file"}, {""}, {"/video/clip.avi", BoldBlue}, {"has only Audio streams"}},
         {{"The file"}, {""}, {"has only Audio streams"}}},
        {4,
         {{"The file "}, {""}, {"clip.avi", BoldBlue}, {"seems not to be a correct AVI file"}},
         {{"The file "}, {""}, {"seems not to be a correct AVI file"}}},
        {5,
         {{noFilter}, {""}, {"codec DVSD", BoldBlue}, {""}, {"You may listen to Audio", BoldItalic}},
         {{noFilter}, {""}, {""}, {"You may listen to Audio", BoldItalic}}},
        {6,
         {{noFilter}, {""}, {"codec DVSD", BoldBlue}, {""}, {"Unknown Audio", BoldItalic}},
         {{noFilter}, {""}, {""}, {"Unknown Audio", BoldItalic}}},
        {7, {{noFilter}, {""}, {"codec DVSD", BoldBlue}}, {{noFilter}, {""}}},
        {8,
         {{" Video temporarily interrupted"}, {"to execute a command"}, {""}, {"Clip.AVI", BoldBlue}},
         {{" Video temporarily interrupted"}, {"to execute a command"}, {""}}},
        {0, {}, {}},
        {9, {}, {}},
    };
    for (const Case& c : cases) {
        const auto withFile = PanelMessageLines(c.number, &file);
        const auto withoutFile = PanelMessageLines(c.number, nullptr);
        ASSERT_GE(withFile.size(), head.size());
        ASSERT_GE(withoutFile.size(), head.size());
        EXPECT_EQ(std::vector<MessageLine>(withFile.begin(), withFile.begin() + 5), head) << c.number;
        EXPECT_EQ(std::vector<MessageLine>(withoutFile.begin(), withoutFile.begin() + 5), head) << c.number;
        EXPECT_EQ(tail(withFile), c.withFile) << c.number;
        EXPECT_EQ(tail(withoutFile), c.withoutFile) << c.number;
    }
}

TEST(InfoTextsTest, WelcomeTitleCarriesTheVersion) {
    const auto lines = WelcomeLines("6.0.4");
    ASSERT_EQ(lines.size(), 5U);
    EXPECT_EQ(lines[3], (MessageLine{"Moraven 6.0.4  by  Velloran", MessageStyle::Title}));
    for (const std::size_t empty : {0U, 1U, 2U, 4U}) EXPECT_EQ(lines[empty].text, "") << empty;
}

}  // namespace
}  // namespace moraven
