#include "formats/riffunit.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/binary_file.h"
#include "formats/program_info.h"
#include "support/external_tools.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::ByteVector;
using test::chunk;
using test::concat;
using test::list;
using test::riff;
using test::serialize;
using test::withDeclaredSize;
using Lines = std::vector<std::string>;

constexpr std::size_t kHeaderLines = 11;
const std::string kUnexpectedEnd = std::string(18, ' ') + "Unexpected end" + std::string(18, ' ');
const std::string kCanceled = std::string(17, '-') + "Canceled by user" + std::string(17, '-');

std::string dashes(std::size_t count) { return std::string(count, '-'); }

DateTime fixedClock() { return encodeDateTime({2004, 7, 5, 9, 3, 7, 0}).value(); }

Lines splitLines(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The report's lines after the header block, up to the " End of Header " title.
Lines body(const Lines& report) {
    const auto end =
        std::find(report.begin(), report.end(), "----------------- End of Header -----------------");
    if (report.size() < kHeaderLines || end == report.end()) return {};
    return Lines(report.begin() + kHeaderLines, end);
}

// True when `block` appears in `lines` as consecutive lines.
bool containsBlock(const Lines& lines, const Lines& block) {
    return std::search(lines.begin(), lines.end(), block.begin(), block.end()) != lines.end();
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string joined(const Lines& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

Lines report(const std::string& path) {
    RiffReportBuilder builder(fixedClock);
    return builder.BuildRiffReport(path);
}

Lines reportOf(const ByteVector& bytes, const std::string& name = "test.avi") {
    test::TempDir dir;
    return report(dir.write(name, bytes));
}

// An OpenDML index chunk: the 24-byte header, then `entries` entries of `longsPerEntry` 32-bit words.
ByteVector indexBytes(std::uint16_t longsPerEntry, std::uint8_t subType, std::uint8_t type,
                      std::uint32_t entries, const std::string& chunkId, std::uint64_t baseOffset,
                      std::uint32_t reserved3, std::size_t totalBytes) {
    ByteVector out;
    test::appendU16(out, longsPerEntry);
    out.push_back(subType);
    out.push_back(type);
    test::appendU32(out, entries);
    test::appendFourCC(out, chunkId);
    test::appendU64(out, baseOffset);
    test::appendU32(out, reserved3);
    out.resize(totalBytes, 0xAB);
    return out;
}

TEST(RiffReportTest, ReferenceTextOfADvType1File) {
    static_assert(std::string_view(kWebsiteAddress) == "https://moraven.example.org/");
    test::TempDir dir;
    const std::string path = dir.write("type1.avi", test::dvType1Avi(2, 64));
    Lines lines = report(path);

    // The trailer centres the full path, which depends on the temporary folder.
    ASSERT_GE(lines.size(), 4u);
    std::string& pathLine = lines[lines.size() - 3];
    const auto first = pathLine.find_first_not_of(' ');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(pathLine.substr(first, path.size()), path);
    EXPECT_EQ(pathLine.size() - path.size() - first, first) << "as many blanks after the path as before";
    pathLine = "@PATH@";

    const std::string expected = R"(--------------------------------------------------

*********  Header of the file type1.avi  *********

         analysed on 2004/07/5 at 9:03:07         
      with Moraven by Velloran version 6.0.4      

                Visit my website:                
           https://moraven.example.org/           

--------------- Start of Avi RIFF ---------------
RIFF  00000188
AVI 
    LIST  000000B8
    hdrl
        avih  00000038

        -------- Start of AVI Main Header --------
        MicroSecPerFrame = 40000
        MaxBytesPerSec = 3600000
        PaddingGranularity = 0
        Flags = 00000910
        TotalFrames = 2
        InitialFrames = 0
        Streams = 1
        SuggestedBufferSize = 144008
        Width = 720
        Height = 576
        Reserved0 = 00000000
        Reserved1 = 00000000
        Reserved2 = 00000000
        Reserved3 = 00000000
        ----------- End of Main Header -----------

        LIST  0000006C
        strl
            strh  00000038

            ------------(Interleaved)------------
            ------Start of AVI Stream Header------
            FourccType = iavs
            FourccHandler = dvsd
            Flags = 00000000
            Priority = 0
            Language = 0000
            InitialFrames = 0
            Scale = 1
            Rate = 25
            Start = 0
            Length = 2
            SuggestedBufferSize = 144000
            Quality = FFFFFFFF
            SampleSize = 0
            rcFrame.Left = 0
            rcFrame.Top = 0
            rcFrame.Right = 720
            rcFrame.Bottom = 576
            -------End of AVI Stream Header-------

            strf  00000020

            -----------Start of DVInfo-----------
            DVAAuxSrc = C8C0D0C0
            DVAAuxCtl = 01800000
            DVAAuxSrc1 = 0000D0C0
            DVAAuxCtl1 = 00000000
            DVVAuxSrc = FF20FFFF
            DVVAuxCtl = FFFE3F00
            DVReserved0 = 00000000
            DVReserved1 = 00000000
            ------------End of DVINfo------------

    LIST  00000094
    movi
    idx1  00000020

----------------- End of Header -----------------
@PATH@

--------------------------------------------------
)";
    EXPECT_EQ(joined(lines), expected);
}

TEST(RiffReportTest, DvType2FileDecodesBitmapHeaderWithDvInfoAndTheWaveFormat) {
    const Lines lines = reportOf(test::dvType2Avi(2, 64));
    EXPECT_TRUE(containsBlock(lines, {
                                         "            ---------------(Video)---------------",
                                         "            ------Start of AVI Stream Header------",
                                         "            FourccType = vids",
                                         "            FourccHandler = dvsd",
                                     }));
    EXPECT_TRUE(containsBlock(lines, {
                                         "            strf  00000048",
                                         "",
                                         "            ----Start of Stream Format Header----",
                                         "            biSize = 40",
                                         "            biWidth = 720",
                                         "            biHeight = 576",
                                         "            biPlanes = 1",
                                         "            biBitCount = 24",
                                         "            biCompression = dvsd",
                                         "            biSizeImage = 144000",
                                         "            biXPelsPerMeter = 0",
                                         "            biYPelsPerMeter = 0",
                                         "            biClrUsed = 0",
                                         "            biClrImportant = 0",
                                         "            -----------Start of DVInfo-----------",
                                         "            DVAAuxSrc = C8C0D0C0",
                                         "            DVAAuxCtl = 01800000",
                                         "            DVAAuxSrc1 = 0000D0C0",
                                         "            DVAAuxCtl1 = 00000000",
                                         "            DVVAuxSrc = FF20FFFF",
                                         "            DVVAuxCtl = FFFE3F00",
                                         "            DVReserved0 = 00000000",
                                         "            DVReserved1 = 00000000",
                                         "            ------------End of DVINfo------------",
                                         "            -------End of AVI Stream Format-------",
                                         "",
                                     }));
    // The audio stream's handler is four NUL bytes: the line ends where they begin.
    EXPECT_TRUE(containsBlock(lines, {
                                         "            ---------------(Audio)---------------",
                                         "            ------Start of AVI Stream Header------",
                                         "            FourccType = auds",
                                         "            FourccHandler = ",
                                     }));
    EXPECT_TRUE(containsBlock(lines, {
                                         "            strf  00000012",
                                         "",
                                         "            ----Start of Stream Format Header----",
                                         "            FormatTag = 1",
                                         "            Channels = 2",
                                         "            SamplesPerSec = 48000",
                                         "            AvgBytesPerSec = 192000",
                                         "            BlockAlign = 4",
                                         "            BitsPerSample = 16",
                                         "            cbSize = 0",
                                         "            -------End of AVI Stream Format-------",
                                         "",
                                     }));
    for (const auto& line : lines) EXPECT_EQ(line.find('\0'), std::string::npos);
    // Frame chunks of the movi list are not listed; the list itself is.
    EXPECT_TRUE(containsBlock(lines, {"    movi", "    idx1  00000040"}));
}

TEST(RiffReportTest, FieldsAreDecodedWithTheirSignednessAndWidths) {
    test::StreamHeader sh;
    sh.type = "vids";
    sh.handler = "CDVC";
    sh.flags = 0x00010000;
    sh.scale = 1001;
    sh.rate = 30000;
    sh.length = 4000000000u;
    sh.right = -2;
    sh.bottom = -32768;
    ByteVector strh = test::strhBytes(sh);
    strh[12] = 0xFF;  // priority 65535
    strh[13] = 0xFF;
    strh[14] = 0x09;  // language 0x0409
    strh[15] = 0x04;
    const ByteVector strf = test::bitmapInfoBytes(-720, -480, "CDVC", 24, 0xFFFFFFFF);
    const Lines lines =
        reportOf(serialize(riff("AVI ", {list("strl", {chunk("strh", strh), chunk("strf", strf)})})));
    // strh and strf sit at depth 2 here (RIFF, LIST strl, chunk): eight blanks.
    for (const char* line :
         {"        Flags = 00010000", "        Priority = 65535", "        Language = 0409",
          "        Scale = 1001", "        Rate = 30000", "        Length = 4000000000",
          "        rcFrame.Right = -2", "        rcFrame.Bottom = -32768", "        biWidth = -720",
          "        biHeight = -480", "        biCompression = CDVC", "        biSizeImage = 4294967295"}) {
        EXPECT_TRUE(contains(lines, line)) << line;
    }
    // "CDVC" is not a DV code for the bitmap header: no DV block follows it.
    EXPECT_FALSE(contains(lines, "        " + dashes(13) + "Start of DVInfo" + dashes(13)));
}

TEST(RiffReportTest, BitmapHeaderIsFollowedByDvInfoOnlyForDvCodesWithRoomForTheBlock) {
    struct Case {
        std::string compression;
        bool withDvInfo;
        bool listed;
    };
    const Case cases[] = {{"dvsd", true, true}, {"DVSD", true, true},   {"dsvd", true, true},
                          {"CSVD", true, true}, {"dvsd", false, false}, {"dvhd", true, false},
                          {"dv25", true, false}};
    for (const auto& c : cases) {
        test::StreamHeader sh;
        ByteVector strf = test::bitmapInfoBytes(720, 576, c.compression);
        if (c.withDvInfo) strf = concat({strf, test::dvInfoBytes()});
        const Lines lines = reportOf(serialize(
            riff("AVI ", {list("strl", {chunk("strh", test::strhBytes(sh)), chunk("strf", strf)})})));
        EXPECT_EQ(contains(lines, "        DVAAuxSrc = C8C0D0C0"), c.listed) << c.compression;
        EXPECT_TRUE(contains(lines, "        " + dashes(9) + "End of AVI Stream Format" + dashes(9)))
            << c.compression;
    }
}

TEST(RiffReportTest, TwoRiffFormsAreBothListedAndTheirMoviListsSkippedWhole) {
    test::StreamHeader sh;
    sh.type = "iavs";
    const auto hdrl = list(
        "hdrl", {chunk("avih", test::avihBytes({})),
                 list("strl", {chunk("strh", test::strhBytes(sh)), chunk("strf", test::dvInfoBytes())})});
    // Chunks that would be listed anywhere else: inside "movi" they must not appear.
    const auto movi = [](std::uint8_t fill) {
        return list("movi",
                    {chunk("00db", ByteVector(40, fill)), chunk("ix00", ByteVector(32, fill)),
                     chunk("JUNK", ByteVector(6, fill)), list("rec ", {chunk("00db", ByteVector(8))})});
    };
    const ByteVector bytes = concat({serialize(riff("AVI ", {hdrl, movi(1), chunk("idx1", ByteVector(16))})),
                                     serialize(riff("AVIX", {movi(2)}))});
    const Lines lines = body(reportOf(bytes));

    std::vector<std::string> depth0;
    for (const auto& line : lines) {
        if (!line.empty() && line[0] != ' ' && line[0] != '-') depth0.push_back(line);
    }
    ASSERT_EQ(depth0.size(), 4u);
    EXPECT_EQ(depth0[0].substr(0, 6), "RIFF  ");
    EXPECT_EQ(depth0[1], "AVI ");
    EXPECT_EQ(depth0[2], "RIFF  00000092");
    EXPECT_EQ(depth0[3], "AVIX");
    EXPECT_TRUE(containsBlock(lines, {"    LIST  00000086", "    movi", "    idx1  00000010"}));
    EXPECT_TRUE(containsBlock(lines, {"AVIX", "    LIST  00000086", "    movi", ""}));
    for (const char* hidden : {"ix00", "JUNK", "rec ", "Start of an Index"}) {
        EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(hidden) != std::string::npos;
        })) << hidden;
    }
    EXPECT_FALSE(contains(lines, "Unexpected end"));
}

TEST(RiffReportTest, BytesAfterTheLastRiffFormAreReportedAsGarbage) {
    const ByteVector avi = test::dvType1Avi(2, 64);
    struct Case {
        ByteVector tail;
        std::string lastLine;
    };
    const Case cases[] = {
        {ByteVector(100, 0), ">>> There are 00000064 bytes of garbage at the end of the file"},
        {serialize(chunk("JUNK", ByteVector(10))),
         ">>> There are 00000012 bytes of garbage at the end of the file"},
        {ByteVector(8, 'x'), ">>> There are 00000008 bytes of garbage at the end of the file"},
    };
    for (const auto& c : cases) {
        const Lines lines = body(reportOf(concat({avi, c.tail})));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], c.lastLine);
        EXPECT_EQ(lines.back(), "") << "no unexpected end after garbage";
    }
    // Fewer than 8 trailing bytes cannot even be read as a chunk header.
    const Lines shortTail = body(reportOf(concat({avi, ByteVector(3, 0)})));
    EXPECT_TRUE(containsBlock(shortTail, {"    idx1  00000020", "", kUnexpectedEnd, ""}));
}

TEST(RiffReportTest, SizesPastTheEndOfTheFileAreReportedAndClamped) {
    const ByteVector avi = test::dvType1Avi(2, 64);  // 400 bytes: 392 after the RIFF header
    const auto withRiffSize = [&](std::uint32_t size) {
        ByteVector bytes = avi;
        putU32le(bytes, 4, size);
        return bytes;
    };
    const Lines larger = body(reportOf(withRiffSize(0x10000)));
    ASSERT_GE(larger.size(), 6u);
    EXPECT_EQ(Lines(larger.begin(), larger.begin() + 6),
              (Lines{"RIFF  00010000", ">>> Bad chunk length:", ">>> 00010000 instead of 00000188", "AVI ",
                     "    LIST  000000B8", "    hdrl"}));
    EXPECT_TRUE(containsBlock(larger, {"    idx1  00000020", ""}));
    EXPECT_FALSE(contains(larger, kUnexpectedEnd));

    // An odd size is made even first; the largest one does not wrap around.
    const Lines largest = body(reportOf(withRiffSize(0xFFFFFFFF)));
    EXPECT_TRUE(containsBlock(
        largest, {"RIFF  FFFFFFFF", ">>> Bad chunk length:", ">>> 100000000 instead of 00000188", "AVI "}));

    // A nested chunk that runs past the end: the pair carries its indent.
    const ByteVector nested =
        serialize(riff("AVI ", {list("hdrl", {withDeclaredSize(chunk("JUNK", ByteVector(4)), 0x101)})}));
    EXPECT_TRUE(containsBlock(body(reportOf(nested)),
                              {"        JUNK  00000101",
                               "        >>> Bad chunk length:", "        >>> 00000102 instead of 00000004"}));
}

// The trailer names the file by its full path, as the window does, also when the path was given relative.
TEST(RiffReportTest, TheTrailerNamesTheFullPathOfARelativePath) {
    test::TempDir dir;
    const std::string path = dir.write("clip.avi", test::dvType1Avi(2, 64));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    Lines relative;
    Lines dotted;
    try {
        relative = report("clip.avi");
        dotted = report("./clip.avi");
    } catch (...) {
        std::filesystem::current_path(before);
        throw;
    }
    std::filesystem::current_path(before);
    const Lines absolute = report(path);
    ASSERT_GE(absolute.size(), 3u);
    EXPECT_NE(absolute[absolute.size() - 3].find(path), std::string::npos);
    EXPECT_EQ(relative, absolute);
    EXPECT_EQ(dotted, absolute);
}

TEST(RiffReportTest, CentredLinesGetFillOnlyWhenTheTextLeavesRoom) {
    // The title line centres "  Header of the file NAME  " (23 characters plus the name) with "*".
    struct Case {
        std::size_t nameLength;
        std::size_t fill;
    };
    const Case cases[] = {{1, 13}, {24, 1}, {25, 1}, {26, 0}, {27, 0}, {40, 0}};
    for (const auto& c : cases) {
        const std::string name = std::string(c.nameLength - 1, 'n') + "v";
        const Lines lines = reportOf(test::dvType1Avi(1, 8), name);
        ASSERT_GT(lines.size(), 2u);
        const std::string stars(c.fill, '*');
        EXPECT_EQ(lines[2], stars + "  Header of the file " + name + "  " + stars) << c.nameLength;
    }
}

TEST(RiffReportTest, TitlesAreCentredAfterTheirIndent) {
    // Deeply nested lists leave less room: at depth 9 (36 blanks) "Start of AVI Stream Header" no longer
    // fits.
    test::Chunk inner = list("strl", {chunk("strh", test::strhBytes({}))});
    for (int i = 0; i < 7; ++i) inner = list("deep", {inner});
    const Lines lines = reportOf(serialize(riff("AVI ", {inner})));
    const std::string pad(36, ' ');
    EXPECT_TRUE(containsBlock(
        lines, {pad + "---(Video)---", pad + "Start of AVI Stream Header", pad + "FourccType = vids"}));
}

TEST(RiffReportTest, PumpRunsBeforeEveryChunkAndCancelStopsTheWalk) {
    test::TempDir dir;
    const std::string path = dir.write("a.avi", test::dvType1Avi(2, 64));
    RiffReportBuilder builder(fixedClock);
    int calls = 0;
    builder.setMessagePump([&] { ++calls; });
    builder.BuildRiffReport(path);
    // RIFF, hdrl, avih, strl, strh, strf, movi, idx1; the top loop ends at the end of the file.
    EXPECT_EQ(calls, 8);
    EXPECT_FALSE(builder.cancelRequested());

    calls = 0;
    builder.setMessagePump([&] {
        if (++calls == 4) builder.requestCancel();  // before the strl list
    });
    const Lines lines = builder.BuildRiffReport(path);
    EXPECT_EQ(calls, 4) << "nothing is read after the cancel";
    EXPECT_TRUE(builder.cancelRequested());
    const Lines walked = body(lines);
    ASSERT_GE(walked.size(), 5u);
    EXPECT_EQ(Lines(walked.end() - 5, walked.end()),
              (Lines{"        ----------- End of Main Header -----------", "", "", kCanceled, ""}))
        << joined(walked);
    EXPECT_EQ(lines.back(), std::string(50, '-'));
    EXPECT_FALSE(contains(lines, "        strl"));

    // The next report starts afresh.
    builder.setMessagePump({});
    const Lines again = builder.BuildRiffReport(path);
    EXPECT_FALSE(builder.cancelRequested());
    EXPECT_TRUE(contains(again, "    idx1  00000020"));
    EXPECT_FALSE(contains(again, kCanceled));
}

TEST(RiffReportTest, ShortReadsEndTheReportWithUnexpectedEnd) {
    const ByteVector avi = test::dvType2Avi(2, 64);
    // Cut inside the first strh: its header is listed with a bad length, then the read comes up short.
    const std::size_t strhData = 12 + 12 + 64 + 12 + 8;
    ASSERT_EQ(std::string(avi.begin() + strhData - 8, avi.begin() + strhData - 4), "strh");
    const Lines lines = body(reportOf(ByteVector(avi.begin(), avi.begin() + strhData + 20)));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(Lines(lines.end() - 7, lines.end()),
              (Lines{"        strl", "            strh  00000038", "            >>> Bad chunk length:",
                     "            >>> 00000038 instead of 00000014", "", kUnexpectedEnd, ""}));

    // Every prefix of a file gives a complete report and never throws. The pump stops a walk that would
    // not end by itself.
    test::TempDir dir;
    RiffReportBuilder builder(fixedClock);
    int calls = 0;
    builder.setMessagePump([&] {
        if (++calls > 1000) builder.requestCancel();
    });
    for (std::size_t length = 0; length <= avi.size(); ++length) {
        calls = 0;
        const Lines cut = builder.BuildRiffReport(
            dir.write("cut.avi", ByteVector(avi.begin(), avi.begin() + static_cast<std::ptrdiff_t>(length))));
        EXPECT_FALSE(builder.cancelRequested()) << length;
        ASSERT_GT(cut.size(), kHeaderLines) << length;
        EXPECT_EQ(cut.back(), std::string(50, '-')) << length;
    }
}

TEST(RiffReportTest, AChildThatEndsShortInsideAListEndsTheWalk) {
    // The strh holds 2 bytes, so its 56-byte read runs into the JUNK chunk and off the end of the file
    // while its list still counts 24 bytes to go: the walk must stop at that short read.
    const ByteVector bytes = serialize(
        riff("AVI ", {list("strl", {chunk("strh", ByteVector(2, 0)), chunk("JUNK", ByteVector(16))})}));
    RiffReportBuilder builder(fixedClock);
    int calls = 0;
    builder.setMessagePump([&] {
        if (++calls > 100) builder.requestCancel();
    });
    test::TempDir dir;
    const Lines lines = builder.BuildRiffReport(dir.write("a.avi", bytes));
    EXPECT_TRUE(builder.shortRead());
    EXPECT_EQ(calls, 3) << "RIFF, strl, strh";
    EXPECT_TRUE(containsBlock(body(lines), {"        strh  00000002", "", kUnexpectedEnd}));
}

TEST(RiffReportTest, ChunksShorterThanTheirHeaderReadsLeaveTheWalkAtTheirEnd) {
    // A 16-byte avih is read as 56 bytes (the next chunks' bytes fill it); the walk then goes back to the
    // end of the avih and lists the following chunks at their places. An odd JUNK size skips its pad byte.
    ByteVector avih(16, 0);
    putU32le(avih, 0, 33367);
    const ByteVector bytes =
        serialize(riff("AVI ", {list("hdrl", {chunk("avih", avih), chunk("JUNK", ByteVector(5)),
                                              chunk("strh", ByteVector(60, 'a'))}),
                                chunk("idx1", ByteVector(16))}));
    const Lines lines = body(reportOf(bytes));
    EXPECT_TRUE(containsBlock(
        lines, {"        avih  00000010", "", "        -------- Start of AVI Main Header --------",
                "        MicroSecPerFrame = 33367"}));
    EXPECT_TRUE(containsBlock(lines, {"        ----------- End of Main Header -----------", "",
                                      "        JUNK  00000005", "        strh  0000003C", ""}));
    EXPECT_TRUE(contains(lines, "        FourccType = aaaa"));
    EXPECT_TRUE(contains(lines, "        " + dashes(16) + "(Unknown)" + dashes(16)));
    EXPECT_TRUE(containsBlock(lines, {"    idx1  00000010", ""}));
    EXPECT_FALSE(contains(lines, kUnexpectedEnd));
}

TEST(RiffReportTest, AChildPastItsListsEndContinuesTheWalkAfterTheChild) {
    // The JUNK inside hdrl claims 40 bytes but its list holds only 8 of them: the walk leaves the list and
    // goes on after the JUNK, where the next chunk header is found.
    ByteVector bytes =
        serialize(riff("AVI ", {list("hdrl", {withDeclaredSize(chunk("JUNK", ByteVector(40)), 40)}),
                                chunk("idx1", ByteVector(8))}));
    putU32le(bytes, 16, 4 + 16);  // hdrl's size: its type and 16 bytes
    const Lines lines = body(reportOf(bytes));
    EXPECT_TRUE(containsBlock(
        lines, {"    LIST  00000014", "    hdrl", "        JUNK  00000028", "    idx1  00000008", ""}));
}

TEST(RiffReportTest, NestingIsBoundedAndEveryWalkEnds) {
    // 5000 lists, each holding the next, around one JUNK chunk.
    constexpr std::uint32_t kLists = 5000;
    ByteVector nested;
    for (std::uint32_t i = 0; i < kLists; ++i) {
        test::appendFourCC(nested, "LIST");
        test::appendU32(nested, 4 + 12 * (kLists - i));
        test::appendFourCC(nested, "deep");
    }
    nested = concat({nested, serialize(chunk("JUNK", ByteVector(4)))});
    const auto form = withDeclaredSize(riff("AVI ", {}), static_cast<std::uint32_t>(4 + nested.size()));
    const Lines lines = body(reportOf(concat({serialize(form), nested})));
    const std::string deepestIndent(4 * RiffReportBuilder::kMaxListDepth, ' ');
    EXPECT_TRUE(contains(lines, deepestIndent + "deep"));
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.rfind(deepestIndent + "    ", 0) == 0;
    })) << "nothing is listed below the deepest walked list";
    EXPECT_FALSE(contains(lines, kUnexpectedEnd));
}

TEST(RiffReportTest, IndexHeadersAreDecoded) {
    test::StreamHeader sh;
    const ByteVector indx = indexBytes(4, 0, 0, 2, "00dc", 0x0123456789ABCDEFull, 0xDEADBEEF, 4120);
    const ByteVector ix = indexBytes(2, 0, 1, 0x12345, "01wb", 0x10, 0, 64);
    test::Chunk frames = list("movi", {chunk("00dc", ByteVector(20000))});
    const Lines lines = body(reportOf(serialize(
        riff("AVI ", {list("hdrl", {list("strl", {chunk("strh", test::strhBytes(sh)), chunk("indx", indx)}),
                                    list("odml", {chunk("ix01", ix)})}),
                      frames}))));
    EXPECT_TRUE(containsBlock(lines, {
                                         "            indx  00001018",
                                         "",
                                         "            " + dashes(10) + "Start of an Index" + dashes(10),
                                         "            wLongsPerEntry = 0004",
                                         "            bIndexSubType = 0",
                                         "            bIndexType = 0",
                                         "            nEntriesInUse = 00000002",
                                         "            dwChunkId = 00dc",
                                         "            qwBaseOffset = 0123456789ABCDEF",
                                         "            dwReserved_3 = DEADBEEF",
                                         "            " + dashes(13) + "End of Index" + dashes(13),
                                         "",
                                     }));
    EXPECT_TRUE(containsBlock(
        lines,
        {"            ix01  00000040", "", "            " + dashes(10) + "Start of an Index" + dashes(10),
         "            wLongsPerEntry = 0002", "            bIndexSubType = 0", "            bIndexType = 1",
         "            nEntriesInUse = 00012345", "            dwChunkId = 01wb",
         "            qwBaseOffset = 0000000000000010"}));
    EXPECT_TRUE(containsBlock(lines, {"    LIST  00004E2C", "    movi", ""}));

    // An index is read as a block of 16384 bytes: with fewer left in the file the read comes up short.
    const Lines nearEnd = body(reportOf(serialize(riff("AVI ", {list("hdrl", {chunk("indx", indx)})}))));
    EXPECT_TRUE(containsBlock(nearEnd, {"        indx  00001018", "", kUnexpectedEnd}));
}

TEST(RiffReportTest, MissingFileGivesAnEmptyReportAndAFolderThrowsAfterTheHeader) {
    test::TempDir dir;
    RiffReportBuilder builder(fixedClock);
    EXPECT_TRUE(builder.BuildRiffReport(dir.file("missing.avi")).empty());
    EXPECT_EQ(builder.path(), dir.file("missing.avi"));

    try {
        builder.BuildRiffReport(dir.path().string());
        FAIL() << "a folder cannot be opened";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), FileErrorCode::NotAFile);
    }
    ASSERT_EQ(builder.lines().size(), kHeaderLines);
    EXPECT_EQ(builder.lines().back(), "--------------- Start of Avi RIFF ---------------");

    // An empty file: the header, no chunk, the trailer.
    const Lines empty = builder.BuildRiffReport(dir.write("empty.avi", {}));
    EXPECT_EQ(body(empty), Lines{""});
}

TEST(RiffReportTest, SaveWritesCrLfAfterEveryLineAndReplacesTheFile) {
    test::TempDir dir;
    const std::string target = dir.file("report.log");
    saveRiffReport({"first", "", "third line"}, target);
    const std::string expected = "first\r\n\r\nthird line\r\n";
    EXPECT_EQ(test::readWholeFile(target), ByteVector(expected.begin(), expected.end()));

    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    saveRiffReport({"x"}, target);
    EXPECT_EQ(test::readWholeFile(target), (ByteVector{'x', '\r', '\n'}));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the replaced file keeps its permissions";

    saveRiffReport({}, target);
    EXPECT_TRUE(test::readWholeFile(target).empty());

    const auto names = [&] {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            out.push_back(entry.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(), std::vector<std::string>{"report.log"}) << "no temporary file is left behind";
}

TEST(RiffReportTest, FailedSavesThrowAndLeaveNothingBehind) {
    test::TempDir dir;
    const std::string folder = dir.file("folder");
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(dir.file("folder/inner"));
    struct Case {
        std::string target;
        FileErrorCode code;
    };
    const Case cases[] = {{dir.file("no/such/folder.log"), FileErrorCode::NotFound},
                          {dir.file("folder/inner"), FileErrorCode::NotAFile}};
    for (const auto& c : cases) {
        try {
            saveRiffReport({"line"}, c.target);
            ADD_FAILURE() << c.target;
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), c.code) << c.target;
            EXPECT_EQ(error.path(), c.target);
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder/inner")));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

// ffprobe, an independent reader, sees the same stream headers as the report.
TEST(RiffReportTest, StreamHeadersAgreeWithFfprobe) {
    if (!test::programAvailable("ffmpeg") || !test::programAvailable("ffprobe")) GTEST_SKIP() << "no ffmpeg";
    test::TempDir dir;
    const std::string path = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", {});
    const Lines lines = report(path);

    // The report's stream headers, in file order: label -> value.
    std::vector<std::map<std::string, std::string>> headers;
    for (const auto& raw : lines) {
        const auto first = raw.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        const std::string line = raw.substr(first);
        if (line.rfind("FourccType = ", 0) == 0) headers.emplace_back();
        const auto equals = line.find(" = ");
        if (!headers.empty() && equals != std::string::npos)
            headers.back()[line.substr(0, equals)] = line.substr(equals + 3);
    }

    const auto probe = test::runProgram({"ffprobe", "-v", "error", "-show_streams", path});
    ASSERT_EQ(probe.exitCode, 0) << probe.errors;
    std::vector<std::map<std::string, std::string>> streams;
    for (const auto& line : splitLines(probe.output)) {
        if (line == "[STREAM]") streams.emplace_back();
        const auto equals = line.find('=');
        if (!streams.empty() && equals != std::string::npos)
            streams.back()[line.substr(0, equals)] = line.substr(equals + 1);
    }
    ASSERT_EQ(headers.size(), 2u);
    ASSERT_EQ(streams.size(), 2u);

    const auto ratio = [](const std::string& num, const std::string& den) {
        const unsigned long long n = std::stoull(num), d = std::stoull(den);
        const unsigned long long g = std::gcd(n, d);
        return std::to_string(n / g) + "/" + std::to_string(d / g);
    };
    for (std::size_t i = 0; i < 2; ++i) {
        auto& h = headers[i];
        auto& s = streams[i];
        EXPECT_EQ(h["FourccType"] == "vids"   ? "video"
                  : h["FourccType"] == "auds" ? "audio"
                                              : "other",
                  s["codec_type"]);
        EXPECT_EQ(h["Length"], s["nb_frames"]) << i;
        EXPECT_EQ(ratio(h["Scale"], h["Rate"]), s["time_base"]) << i;
    }
    EXPECT_EQ(headers[0]["FourccHandler"], streams[0]["codec_tag_string"]);
    EXPECT_EQ(ratio(headers[0]["Rate"], headers[0]["Scale"]), streams[0]["r_frame_rate"]);
    EXPECT_EQ(headers[0]["FourccHandler"], "dvsd");
    EXPECT_EQ(headers[1]["FourccType"], "auds");
}

}  // namespace
}  // namespace moraven
