#include "formats/aviinfo.h"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
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

std::vector<std::string> streamTypes(const TAviParam& avi) {
    std::vector<std::string> types;
    for (const auto& s : avi.streams()) types.push_back(s.fccType().text());
    return types;
}

ByteVector waveFile() {
    return serialize(
        riff("WAVE", {chunk("fmt ", test::waveFormatBytes()), chunk("data", ByteVector(400, 0))}));
}

ByteVector withoutLast(ByteVector bytes, std::size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

// A stream header of 64 bytes, as some writers make it (the frame rectangle in 32-bit fields).
Chunk longHeaderVideoStrl() {
    test::StreamHeader header;
    ByteVector bytes = test::strhBytes(header);
    bytes.resize(64, 0xEE);
    return list("strl", {chunk("strh", bytes), chunk("strf", test::bitmapInfoBytes(720, 576, "dvsd"))});
}

// `depth` LIST chunks, each the only content of the one around it.
ByteVector nestedLists(std::size_t depth) {
    ByteVector out;
    for (std::size_t level = 0; level < depth; ++level) {
        test::appendFourCC(out, "LIST");
        test::appendU32(out, static_cast<std::uint32_t>(4 + 12 * (depth - 1 - level)));
        test::appendFourCC(out, "deep");
    }
    return out;
}

// A first form whose header list holds `streamLists`, with raw bytes placed in it before them.
ByteVector aviWithHeaderBytes(const ByteVector& before, std::vector<Chunk> streamLists) {
    Chunk header = headerList(std::move(streamLists));
    header.data = before;
    return serialize(riff("AVI ", {header, movieList()}));
}

struct Shape {
    std::string name;
    ByteVector bytes;
    bool ok;
    std::string codec;
    std::vector<std::string> types;
    std::int32_t video;
};

TEST(AviInfoTest, TellsReadableAviFilesAndTheirVideoHandler) {
    const std::string noHandler("\0\1 x", 4);
    Chunk oddJunk = chunk("JUNK", {1, 2, 3});
    const std::vector<Shape> shapes = {
        {"DV type 1: the iavs stream", test::dvType1Avi(), true, "dvsd", {"iavs"}, 0},
        {"DV type 2: the vids stream", test::dvType2Avi(), true, "dvsd", {"vids", "auds"}, 0},
        {"audio only", aviWith({audioStrl()}), true, "####", {"auds"}, -1},
        {"no header list", serialize(riff("AVI ", {movieList()})), true, "####", {}, -1},
        {"OpenDML: AVI then two AVIX forms", openDmlAvi(2), true, "dvsd", {"vids", "auds"}, 0},
        {"trailing bytes",
         concat({test::dvType2Avi(), ByteVector(100, 0xAB)}),
         true,
         "dvsd",
         {"vids", "auds"},
         0},
        {"trailing chunk",
         concat({test::dvType2Avi(), serialize(chunk("JUNK", ByteVector(10, 1)))}),
         true,
         "dvsd",
         {"vids", "auds"},
         0},
        {"five trailing bytes",
         concat({test::dvType2Avi(), ByteVector(5, 0)}),
         true,
         "dvsd",
         {"vids", "auds"},
         0},
        {"a later AVIX form cut short", withoutLast(openDmlAvi(2), 20), true, "dvsd", {"vids", "auds"}, 0},
        {"the first form cut short", withoutLast(test::dvType2Avi(), 1), true, "dvsd", {"vids", "auds"}, 0},
        {"a WAVE file", waveFile(), false, "####", {}, -1},
        {"an AVI form then a WAVE form",
         concat({test::dvType2Avi(), waveFile()}),
         false,
         "dvsd",
         {"vids", "auds"},
         0},
        {"an AVIX form that does not walk",
         concat({test::dvType2Avi(),
                 serialize(riff("AVIX", {list("hdrl", {withDeclaredSize(chunk("avih", ByteVector(56, 0)),
                                                                        0x10000)})}))}),
         false,
         "dvsd",
         {"vids", "auds"},
         0},
        {"text",
         ByteVector{'n', 'o', 't', ' ', 'a', 'n', ' ', 'A', 'V', 'I', ' ', 'f', 'i', 'l', 'e', '\n'},
         false,
         "####",
         {},
         -1},
        {"a LIST first", serialize(headerList({videoStrl("dvsd")})), false, "####", {}, -1},
        {"empty", {}, false, "####", {}, -1},
        {"a 64-byte stream header, the next stream read in step",
         aviWith({longHeaderVideoStrl(), audioStrl()}),
         true,
         "dvsd",
         {"vids", "auds"},
         0},
        {"two video streams: the first",
         aviWith({videoStrl("VID1"), videoStrl("VID2")}),
         true,
         "VID1",
         {"vids", "vids"},
         0},
        {"audio before an iavs stream",
         aviWith({audioStrl(), videoStrl("CDVC", "iavs")}),
         true,
         "CDVC",
         {"auds", "iavs"},
         1},
        {"a handler as it stands", aviWith({videoStrl(noHandler)}), true, noHandler, {"vids"}, 0},
        {"an odd-sized chunk before the streams",
         serialize(riff("AVI ", {list("hdrl", {chunk("avih", test::avihBytes({})), oddJunk, videoStrl("dvsd"),
                                               oddJunk, audioStrl()}),
                                 movieList()})),
         true,
         "dvsd",
         {"vids", "auds"},
         0},
    };
    TempDir dir;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const TFriendlyAviParam avi(dir.write("shape.avi", shape.bytes));
        EXPECT_EQ(avi.ok(), shape.ok);
        EXPECT_EQ(avi.codecCode(), shape.codec);
        EXPECT_EQ(streamTypes(avi), shape.types);
        EXPECT_EQ(avi.videoStreamIndex(), shape.video);
    }
}

// A recording that stopped: its frames up to the cut can be read once the headers are whole.
TEST(AviInfoTest, AFileCutShortIsReadableOnceItsHeadersAreWhole) {
    TempDir dir;
    const ByteVector whole = openDmlAvi(2);
    const std::size_t moviData = test::chunkPositions(whole, "movi").front() + 12;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const ByteVector cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const TFriendlyAviParam avi(dir.write("cut.avi", cut));
        ASSERT_EQ(avi.ok(), length >= moviData) << "cut to " << length << " bytes";
        if (avi.ok()) {
            EXPECT_EQ(avi.codecCode(), "dvsd");
        }
    }
}

TEST(AviInfoTest, HostileSizesEndTheWalk) {
    ByteVector riffSizeAllOnes = test::dvType2Avi();
    putU32le(riffSizeAllOnes, 4, 0xFFFFFFFF);

    // A chunk after the stream header declaring nearly 4 GiB: the count of the stream list wraps, and the
    // walk goes on past the end of the file, where it stops. The header list had nothing after the
    // stream list, so the form still walks cleanly.
    Chunk wrapping = videoStrl("dvsd");
    wrapping.children[1] = withDeclaredSize(chunk("JUNK", ByteVector(4, 0)), 0xFFFFFFF8);

    // A LIST too small to hold its type: skipping the rest of it wraps to nearly 4 GiB, past the file.
    Chunk tooSmallList = withDeclaredSize(list("junk", {}), 0);

    ByteVector emptyChunks;
    for (int i = 0; i < 1000; ++i) emptyChunks = concat({emptyChunks, serialize(chunk("JUNK", {}))});

    Chunk manyStreams = headerList({});
    for (std::size_t i = 0; i < TAviParam::kMaxStreams + 44; ++i) {
        manyStreams.children.push_back(i == 0 ? videoStrl("dvsd") : audioStrl());
    }
    std::vector<std::string> keptTypes(TAviParam::kMaxStreams, "auds");
    keptTypes[0] = "vids";

    // Lists nested 20000 deep inside the first form, after its header list.
    ByteVector nested = serialize(riff("AVI ", {headerList({videoStrl("dvsd")})}));
    const ByteVector deep = nestedLists(20000);
    nested.insert(nested.end(), deep.begin(), deep.end());
    putU32le(nested, 4, static_cast<std::uint32_t>(nested.size() - 8));

    const std::vector<Shape> shapes = {
        // The form runs past the end of the file, as one cut short does: what is there walks.
        {"RIFF size 0xFFFFFFFF", riffSizeAllOnes, true, "dvsd", {"vids", "auds"}, 0},
        {"stream list count wraps", aviWith({wrapping}), true, "dvsd", {"vids"}, 0},
        {"a LIST of size 0 in the header list",
         serialize(riff("AVI ", {headerList({tooSmallList, videoStrl("dvsd")}), movieList()})),
         false,
         "####",
         {},
         -1},
        {"a thousand empty chunks",
         aviWithHeaderBytes(emptyChunks, {videoStrl("dvsd")}),
         true,
         "dvsd",
         {"vids"},
         0},
        {"lists nested 20000 deep", nested, true, "dvsd", {"vids"}, 0},
        {"more stream lists than any file can use", serialize(riff("AVI ", {manyStreams})), true, "dvsd",
         keptTypes, 0},
    };
    TempDir dir;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const TFriendlyAviParam avi(dir.write("hostile.avi", shape.bytes));
        EXPECT_EQ(avi.ok(), shape.ok);
        EXPECT_EQ(avi.codecCode(), shape.codec);
        EXPECT_EQ(streamTypes(avi), shape.types);
        EXPECT_EQ(avi.videoStreamIndex(), shape.video);
    }
}

// Every size and code field of real shapes overwritten with values that wrap or overrun: each walk ends,
// and what it reports stays consistent.
TEST(AviInfoTest, CorruptedFieldsNeverBreakTheWalk) {
    TempDir dir;
    const std::uint32_t values[] = {0, 1, 3, 0x7FFFFFFF, 0xFFFFFFF7, 0xFFFFFFF8, 0xFFFFFFFC, 0xFFFFFFFF};
    for (const ByteVector& original : {test::dvType2Avi(), openDmlAvi(1)}) {
        for (std::size_t offset = 0; offset + 4 <= original.size(); offset += 4) {
            for (std::uint32_t value : values) {
                ByteVector bytes = original;
                putU32le(bytes, offset, value);
                const TFriendlyAviParam avi(dir.write("corrupt.avi", bytes));
                ASSERT_EQ(avi.codecCode().size(), 4u) << offset << " " << value;
                ASSERT_GE(avi.videoStreamIndex(), -1);
                ASSERT_LT(avi.videoStreamIndex(), static_cast<std::int32_t>(avi.streams().size()));
            }
        }
    }
}

TEST(AviInfoTest, FilesThatCannotBeOpenedRaiseFileError) {
    TempDir dir;
    auto codeOf = [](const std::string& path) {
        try {
            TFriendlyAviParam avi(path);
        } catch (const FileError& e) {
            return std::optional<FileErrorCode>(e.code());
        }
        return std::optional<FileErrorCode>();
    };
    EXPECT_EQ(codeOf(dir.file("missing.avi")), FileErrorCode::NotFound);
    std::filesystem::create_directory(dir.file("folder.avi"));
    EXPECT_EQ(codeOf(dir.file("folder.avi")), FileErrorCode::NotAFile);

    const std::string locked = dir.write("locked.avi", test::dvType2Avi());
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    std::filesystem::permissions(dir.path(),
                                 std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
    const auto result =
        test::runUnprivileged([&] { return codeOf(locked) == FileErrorCode::AccessDenied ? 0 : 1; });
    if (!result) GTEST_SKIP() << "cannot run without the power to override file permissions";
    EXPECT_EQ(*result, 0) << "a file without read permission raises AccessDenied";
}

// ffprobe as an independent reader: for files that ffmpeg writes, our reader agrees with it on the stream
// list and the video handler.
struct ProbedStream {
    std::string type;
    std::string tag;
};

std::vector<ProbedStream> probeStreams(const std::string& path) {
    const auto probe = test::runProgram({"ffprobe", "-v", "error", "-show_entries",
                                         "stream=codec_type,codec_tag_string", "-of", "flat", path});
    EXPECT_EQ(probe.exitCode, 0) << probe.errors;
    // Lines of the form: streams.stream.0.codec_type="video"
    std::map<int, ProbedStream> streams;
    std::size_t start = 0;
    const std::string prefix = "streams.stream.";
    while (start < probe.output.size()) {
        std::size_t end = probe.output.find('\n', start);
        if (end == std::string::npos) end = probe.output.size();
        const std::string line = probe.output.substr(start, end - start);
        start = end + 1;
        if (line.rfind(prefix, 0) != 0) continue;
        const std::size_t dot = line.find('.', prefix.size());
        const std::size_t equals = line.find('=', dot);
        if (dot == std::string::npos || equals == std::string::npos) continue;
        const int index = std::stoi(line.substr(prefix.size(), dot - prefix.size()));
        const std::string key = line.substr(dot + 1, equals - dot - 1);
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        if (key == "codec_type") streams[index].type = value;
        if (key == "codec_tag_string") streams[index].tag = value;
    }
    std::vector<ProbedStream> out;
    for (const auto& [index, stream] : streams) out.push_back(stream);
    return out;
}

TEST(AviInfoTest, AgreesWithFfprobeOnFilesThatFfmpegWrites) {
    if (!test::programAvailable("ffprobe") || !test::programAvailable("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    TempDir dir;
    std::vector<std::string> files;
    files.push_back(test::makeDvAviWithFfmpeg(dir.path().string(), "dv-type2.avi", {}));
    test::DvClipOptions ntscSilent;
    ntscSilent.ntsc = true;
    ntscSilent.withAudio = false;
    files.push_back(test::makeDvAviWithFfmpeg(dir.path().string(), "dv-ntsc.avi", ntscSilent));
    const std::vector<std::string> picture = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25"};
    const std::vector<std::string> sound = {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"};
    const std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>> made = {
        {"mjpeg.avi", {picture, {"-c:v", "mjpeg"}}},
        {"xvid-pcm.avi", {picture, sound, {"-c:v", "mpeg4", "-vtag", "XVID", "-c:a", "pcm_s16le"}}},
        {"audio-only.avi", {sound, {"-c:a", "pcm_s16le"}}},
    };
    for (const auto& [name, parts] : made) {
        std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
        for (const auto& part : parts) args.insert(args.end(), part.begin(), part.end());
        args.insert(args.end(), {"-t", "0.2", dir.file(name)});
        const auto run = test::runProgram(args);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.errors;
        files.push_back(dir.file(name));
    }

    for (const auto& path : files) {
        SCOPED_TRACE(path);
        const auto probed = probeStreams(path);
        const TFriendlyAviParam avi(path);
        EXPECT_TRUE(avi.ok());
        ASSERT_EQ(avi.streams().size(), probed.size());
        std::string firstVideoTag = "####";
        for (std::size_t i = 0; i < probed.size(); ++i) {
            const FourCC type = avi.streams()[i].fccType();
            const bool video = type == FourCC::of("vids") || type == FourCC::of("iavs");
            EXPECT_EQ(video ? "video" : type == FourCC::of("auds") ? "audio" : "other", probed[i].type) << i;
            if (!video) continue;
            EXPECT_EQ(avi.streams()[i].fccHandler().text(), probed[i].tag) << i;
            if (firstVideoTag == "####") firstVideoTag = probed[i].tag;
        }
        EXPECT_EQ(avi.codecCode(), firstVideoTag);
    }
}

}  // namespace
}  // namespace moraven
