#include "formats/fpsunit.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "avi_shapes.h"
#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "support/external_tools.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace moraven {
namespace {

using test::ByteVector;
using test::Chunk;
using test::chunk;
using test::concat;
using test::list;
using test::riff;
using test::serialize;
using test::TempDir;
using test::withDeclaredSize;
using namespace test::shapes;

// Offset of the handler field of the stream header whose type and handler are `typeAndHandler`.
std::uint64_t handlerOffsetOf(const ByteVector& bytes, const std::string& typeAndHandler) {
    const std::size_t at = findText(bytes, typeAndHandler);
    EXPECT_NE(at, std::string::npos) << typeAndHandler;
    return at + 4;
}

ByteVector patched(ByteVector bytes, std::uint64_t offset, const ByteVector& field) {
    std::copy(field.begin(), field.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

ByteVector u32Bytes(std::uint32_t value) {
    ByteVector out;
    test::appendU32(out, value);
    return out;
}

Chunk strlWithHeader(ByteVector header) {
    return list("strl",
                {chunk("strh", std::move(header)), chunk("strf", test::bitmapInfoBytes(720, 576, "dvsd"))});
}

ByteVector streamHeader(const std::string& type, const std::string& handler) {
    test::StreamHeader header;
    header.type = type;
    header.handler = handler;
    return test::strhBytes(header);
}

// `depth` LIST chunks around `inner`, each the only content of the one around it.
ByteVector nestedAround(std::size_t depth, const ByteVector& inner) {
    ByteVector out;
    for (std::size_t level = 0; level < depth; ++level) {
        test::appendFourCC(out, "LIST");
        test::appendU32(out, static_cast<std::uint32_t>(4 + 12 * (depth - 1 - level) + inner.size()));
        test::appendFourCC(out, "deep");
    }
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}

ByteVector formAround(const ByteVector& content) {
    Chunk form = riff("AVI ", {});
    form.data = content;
    return serialize(form);
}

struct Shape {
    std::string name;
    ByteVector bytes;
    std::string header;  // type and handler of the stream header expected, empty for none
};

TEST(AviHeaderPatcherTest, FindsTheLastVideoStreamHeader) {
    Chunk fakeInMovi = movieList();
    fakeInMovi.children.push_back(chunk("strh", streamHeader("vids", "FAKE")));
    ByteVector shortHeader = streamHeader("vids", "SHRT");
    shortHeader.resize(20);
    ByteVector longHeader = streamHeader("vids", "LONG");
    longHeader.resize(64, 0xEE);
    const ByteVector videoList = serialize(videoStrl("DEEP"));

    const std::vector<Shape> shapes = {
        {"DV type 1: the iavs stream", test::dvType1Avi(), "iavsdvsd"},
        {"DV type 2: the vids stream", test::dvType2Avi(), "vidsdvsd"},
        {"two video streams: the last", aviWith({videoStrl("VID1"), audioStrl(), videoStrl("VID2")}),
         "vidsVID2"},
        {"OpenDML", openDmlAvi(2, "ODML"), "vidsODML"},
        {"a video header in a later form",
         concat({aviWith({videoStrl("VID1")}), serialize(riff("AVIX", {list("hdrl", {videoStrl("VID2")})}))}),
         "vidsVID2"},
        {"a top-level chunk that is not RIFF ends the walk",
         concat({aviWith({videoStrl("VID1")}), serialize(chunk("JUNK", ByteVector(8, 0))),
                 aviWith({videoStrl("VID2")})}),
         "vidsVID1"},
        {"movi lists are not walked",
         serialize(
             riff("AVI ", {headerList({videoStrl("VID1")}), fakeInMovi, chunk("idx1", ByteVector(16, 0))})),
         "vidsVID1"},
        {"a 64-byte header, the next one read in step",
         aviWith({strlWithHeader(longHeader), videoStrl("VID2")}), "vidsVID2"},
        {"a header too short to hold the rate is no video header", aviWith({strlWithHeader(shortHeader)}),
         ""},
        {"audio only", aviWith({audioStrl()}), ""},
        {"a WAVE file", serialize(riff("WAVE", {chunk("fmt ", test::waveFormatBytes())})), ""},
        {"text", ByteVector(40, 'x'), ""},
        {"empty", {}, ""},
        {"an empty RIFF first",
         concat({serialize(withDeclaredSize(riff("AVI ", {}), 0)), test::dvType2Avi()}), ""},
        {"lists nested 10 deep", formAround(nestedAround(10, videoList)), "vidsDEEP"},
        {"lists nested 100000 deep are not descended", formAround(nestedAround(100000, videoList)), ""},
    };
    TempDir dir;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::string path = dir.write("shape.avi", shape.bytes);
        AviHeaderPatcher patcher;
        const auto code = patcher.GetVideoCodec(path);
        EXPECT_FALSE(patcher.shortRead());
        if (shape.header.empty()) {
            EXPECT_FALSE(patcher.found());
            EXPECT_FALSE(code.has_value());
            continue;
        }
        ASSERT_TRUE(patcher.found());
        const std::uint64_t handler = handlerOffsetOf(shape.bytes, shape.header);
        EXPECT_EQ(patcher.handlerOffset(), handler);
        EXPECT_EQ(patcher.scaleOffset(), handler + 16);
        EXPECT_EQ(code, u32le(shape.bytes, handler));
    }
}

TEST(AviHeaderPatcherTest, SetVideoCodecWritesTheFourBytesOfTheHandlerOnly) {
    const std::vector<Shape> shapes = {
        {"DV type 1", test::dvType1Avi(), "iavsdvsd"},
        {"DV type 2", test::dvType2Avi(), "vidsdvsd"},
        {"OpenDML", openDmlAvi(2), "vidsdvsd"},
        {"two video streams", aviWith({videoStrl("VID1"), videoStrl("VID2")}), "vidsVID2"},
    };
    TempDir dir;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::string path = dir.write("codec.avi", shape.bytes);
        AviHeaderPatcher patcher;
        ASSERT_TRUE(patcher.SetVideoCodec(path, FourCC::of("CDVC").value()));
        const ByteVector expected =
            patched(shape.bytes, handlerOffsetOf(shape.bytes, shape.header), {'C', 'D', 'V', 'C'});
        EXPECT_EQ(test::readWholeFile(path), expected);
        EXPECT_EQ(patcher.GetVideoCodec(path), FourCC::of("CDVC").value());
    }
}

TEST(AviHeaderPatcherTest, SetFrameRateWritesScaleAndRateOnly) {
    struct Case {
        double framesPerSecond;
        std::uint32_t scale;
    };
    // 1000000 / 128 = 7812.5 and 1000000 / 400000 = 2.5: halves go to the even neighbour.
    const Case cases[] = {{24, 41667}, {25, 40000}, {29.97, 33367}, {30000.0 / 1001, 33367},
                          {128, 7812}, {400000, 2}, {1000000, 1},   {0.5, 2000000}};
    TempDir dir;
    for (const ByteVector& original : {test::dvType2Avi(), test::dvType1Avi(), openDmlAvi(1)}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.framesPerSecond);
            const std::string path = dir.write("rate.avi", original);
            AviHeaderPatcher patcher;
            patcher.SetFrameRate(path, c.framesPerSecond);
            ASSERT_TRUE(patcher.scaleOffset().has_value());
            const ByteVector expected =
                patched(original, *patcher.scaleOffset(), concat({u32Bytes(c.scale), u32Bytes(1000000)}));
            EXPECT_EQ(test::readWholeFile(path), expected);
            EXPECT_EQ(AviHeaderPatcher::scaleForFrameRate(c.framesPerSecond), c.scale);
        }
    }
}

TEST(AviHeaderPatcherTest, SetFrameRateRefusesRatesItCannotWrite) {
    const double refused[] = {0,
                              -25,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              2000001,  // scale rounds to 0
                              1e-4,     // scale 10^10 does not fit 32 bits
                              std::numeric_limits<double>::denorm_min()};
    TempDir dir;
    const ByteVector original = test::dvType2Avi();
    const std::string path = dir.write("refused.avi", original);
    for (double f : refused) {
        SCOPED_TRACE(f);
        AviHeaderPatcher patcher;
        EXPECT_THROW(patcher.SetFrameRate(path, f), std::invalid_argument);
        EXPECT_THROW(AviHeaderPatcher::scaleForFrameRate(f), std::invalid_argument);
    }
    EXPECT_EQ(test::readWholeFile(path), original);
    EXPECT_EQ(AviHeaderPatcher::scaleForFrameRate(1000000.0 / 4294967295.0), 4294967295u);
}

TEST(AviHeaderPatcherTest, WithoutVideoStreamHeaderNothingIsWritten) {
    ByteVector shortHeader = streamHeader("vids", "SHRT");
    shortHeader.resize(20);
    TempDir dir;
    for (const ByteVector& original :
         {aviWith({audioStrl()}), ByteVector(100, 'x'), aviWith({strlWithHeader(shortHeader)})}) {
        const std::string path = dir.write("novideo.avi", original);
        AviHeaderPatcher patcher;
        EXPECT_EQ(patcher.GetVideoCodec(path), std::nullopt);
        EXPECT_FALSE(patcher.SetVideoCodec(path, FourCC::of("dvsd").value()));
        EXPECT_NO_THROW(patcher.SetFrameRate(path, 25));
        EXPECT_EQ(test::readWholeFile(path), original);
    }
}

TEST(AviHeaderPatcherTest, MissingFilesAndFoldersFindNothing) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.avi"));
    for (const std::string& path : {dir.file("missing.avi"), dir.file("folder.avi")}) {
        SCOPED_TRACE(path);
        AviHeaderPatcher patcher;
        EXPECT_NO_THROW(patcher.LocateVideoHeader(path));
        EXPECT_FALSE(patcher.found());
        EXPECT_EQ(patcher.GetVideoCodec(path), std::nullopt);
        EXPECT_FALSE(patcher.SetVideoCodec(path, FourCC::of("dvsd").value()));
        EXPECT_NO_THROW(patcher.SetFrameRate(path, 25));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.avi")));
}

TEST(AviHeaderPatcherTest, FilesThatCannotBeOpenedRaiseOrAnswerFalse) {
    TempDir dir;
    const ByteVector original = test::dvType2Avi();
    const std::string unreadable = dir.write("unreadable.avi", original);
    const std::string readOnly = dir.write("readonly.avi", original);
    ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    std::filesystem::permissions(dir.path(),
                                 std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
    auto raisesAccessDenied = [](auto&& operation) {
        try {
            operation();
        } catch (const FileError& e) {
            return e.code() == FileErrorCode::AccessDenied;
        }
        return false;
    };
    // Each failed check sets one bit of the result.
    const auto result = test::runUnprivileged([&] {
        int failures = 0;
        AviHeaderPatcher patcher;
        if (!raisesAccessDenied([&] { patcher.GetVideoCodec(unreadable); })) failures |= 1;
        if (patcher.SetVideoCodec(unreadable, FourCC::of("CDVC").value())) failures |= 2;
        if (!raisesAccessDenied([&] { patcher.SetFrameRate(unreadable, 25); })) failures |= 4;
        if (patcher.GetVideoCodec(readOnly) != FourCC::of("dvsd").value()) failures |= 8;
        if (patcher.SetVideoCodec(readOnly, FourCC::of("CDVC").value())) failures |= 16;
        if (!raisesAccessDenied([&] { patcher.SetFrameRate(readOnly, 25); })) failures |= 32;
        return failures;
    });
    if (!result) GTEST_SKIP() << "cannot run without the power to override file permissions";
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(test::readWholeFile(readOnly), original);
}

// The walk stops at the first read that comes up short; a stream header read whole before it stays found,
// and the setters still write only its bytes.
TEST(AviHeaderPatcherTest, TruncatedFilesKeepWhatWasFoundBeforeTheCut) {
    TempDir dir;
    const ByteVector whole = test::dvType2Avi();
    const std::uint64_t handler = handlerOffsetOf(whole, "vidsdvsd");
    const std::uint64_t headerEnd = handler - 4 + 56;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        SCOPED_TRACE(length);
        const ByteVector cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const std::string path = dir.write("cut.avi", cut);
        AviHeaderPatcher patcher;
        ASSERT_TRUE(patcher.SetVideoCodec(path, FourCC::of("CDVC").value()) == (length >= headerEnd));
        if (length < headerEnd) {
            EXPECT_EQ(test::readWholeFile(path), cut);
            continue;
        }
        EXPECT_EQ(patcher.handlerOffset(), handler);
        EXPECT_EQ(test::readWholeFile(path), patched(cut, handler, {'C', 'D', 'V', 'C'}));
    }

    // Cut in the middle of the audio stream header: the video header before it is kept.
    const std::size_t audioHeader = findText(whole, "auds");
    const std::string path = dir.write(
        "cut.avi", ByteVector(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(audioHeader + 20)));
    AviHeaderPatcher patcher;
    patcher.LocateVideoHeader(path);
    EXPECT_TRUE(patcher.shortRead());
    EXPECT_EQ(patcher.handlerOffset(), handler);
}

TEST(AviHeaderPatcherTest, HostileShapesEndTheWalk) {
    ByteVector emptyChunks;
    for (int i = 0; i < 1000; ++i) emptyChunks = concat({emptyChunks, serialize(chunk("JUNK", {}))});
    Chunk header = headerList({videoStrl("VID1")});
    header.data = emptyChunks;

    // The stream list declares more than its header list holds: the header list ends where the stream list
    // does, and the walk goes on from there.
    Chunk overrunning = headerList({});
    overrunning.children.push_back(withDeclaredSize(videoStrl("VID2"), 2000));

    Chunk hugeJunk = headerList({videoStrl("VID3")});
    hugeJunk.children.push_back(withDeclaredSize(chunk("JUNK", ByteVector(8, 0)), 0xFFFFFFFF));

    const std::vector<Shape> shapes = {
        {"a thousand empty chunks", serialize(riff("AVI ", {header, movieList()})), "vidsVID1"},
        {"a list overrunning the list around it", serialize(riff("AVI ", {overrunning, movieList()})),
         "vidsVID2"},
        {"a chunk of size 0xFFFFFFFF", serialize(riff("AVI ", {hugeJunk, movieList()})), "vidsVID3"},
    };
    TempDir dir;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        AviHeaderPatcher patcher;
        patcher.LocateVideoHeader(dir.write("hostile.avi", shape.bytes));
        EXPECT_EQ(patcher.handlerOffset(), handlerOffsetOf(shape.bytes, shape.header));
    }

    // A stream header of 8 bytes near the end of the file: reading its 56 bytes comes up short while its
    // stream list still counts a chunk after it. The walk stops there instead of reading that chunk's
    // header again and again.
    const ByteVector endsShort = serialize(
        riff("AVI ", {headerList({videoStrl("VID4"), list("strl", {chunk("strh", ByteVector(8, 0)),
                                                                   chunk("JUNK", ByteVector(16, 0))})})}));
    AviHeaderPatcher patcher;
    patcher.LocateVideoHeader(dir.write("ends-short.avi", endsShort));
    EXPECT_TRUE(patcher.shortRead());
    EXPECT_EQ(patcher.handlerOffset(), handlerOffsetOf(endsShort, "vidsVID4"));
}

// Every size and code field of real shapes overwritten with values that wrap or overrun: each walk ends,
// and the setters write nothing outside the fields of the header they found.
TEST(AviHeaderPatcherTest, CorruptedFieldsNeverMakeTheSettersWriteElsewhere) {
    TempDir dir;
    const std::uint32_t values[] = {0, 1, 3, 0x7FFFFFFF, 0xFFFFFFF7, 0xFFFFFFF8, 0xFFFFFFFC, 0xFFFFFFFF};
    for (const ByteVector& original : {test::dvType2Avi(), openDmlAvi(1)}) {
        for (std::size_t offset = 0; offset + 4 <= original.size(); offset += 4) {
            for (std::uint32_t value : values) {
                ByteVector bytes = original;
                putU32le(bytes, offset, value);
                const std::string path = dir.write("corrupt.avi", bytes);
                AviHeaderPatcher patcher;
                const bool written = patcher.SetVideoCodec(path, FourCC::of("CDVC").value());
                ASSERT_EQ(written, patcher.found()) << offset << " " << value;
                if (written) {
                    ASSERT_LE(*patcher.scaleOffset() + 8, bytes.size());
                    bytes = patched(bytes, *patcher.handlerOffset(), {'C', 'D', 'V', 'C'});
                    patcher.SetFrameRate(path, 25);
                    bytes =
                        patched(bytes, *patcher.scaleOffset(), concat({u32Bytes(40000), u32Bytes(1000000)}));
                }
                ASSERT_EQ(test::readWholeFile(path), bytes) << offset << " " << value;
            }
        }
    }
}

// The window gets its chance before every chunk the walk visits: the chunks of the first form's headers,
// its movi list (not its frames), its idx1, and each later form with its movi list. Index chunks do not stop
// the walk, however little of the file follows them.
TEST(AviHeaderPatcherTest, PumpsMessagesBeforeEveryChunkVisited) {
    TempDir dir;
    const std::string path = dir.write("opendml.avi", openDmlAvi(2));
    int pumped = 0;
    AviHeaderPatcher patcher([&] { ++pumped; });
    patcher.LocateVideoHeader(path);
    EXPECT_FALSE(patcher.shortRead());
    EXPECT_TRUE(patcher.found());
    EXPECT_EQ(pumped, 15 + 2 * 2);
}

// ffprobe as an independent reader of a real DV file: it sees the handler we read and the rate we write.
TEST(AviHeaderPatcherTest, FfprobeReadsTheFrameRateWritten) {
    if (!test::programAvailable("ffprobe") || !test::programAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    TempDir dir;
    const std::string path = test::makeDvAviWithFfmpeg(dir.path().string(), "dv.avi", {});
    auto probe = [&](const std::string& entry) {
        const auto run =
            test::runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                              "stream=" + entry, "-of", "default=noprint_wrappers=1:nokey=1", path});
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        std::string value = run.output;
        while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
        return value;
    };
    AviHeaderPatcher patcher;
    const auto code = patcher.GetVideoCodec(path);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(FourCC(*code).text(), probe("codec_tag_string"));
    EXPECT_EQ(probe("r_frame_rate"), "25/1");
    patcher.SetFrameRate(path, 24);
    EXPECT_EQ(probe("r_frame_rate"), "1000000/41667");
}

}  // namespace
}  // namespace moraven
