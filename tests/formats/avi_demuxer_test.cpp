#include "formats/avi_demuxer.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/riff_builder.h"
#include "support/sparse_avi.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::ByteVector;
using test::chunk;
using test::chunkPositions;
using test::list;
using test::riff;
using test::serialize;

void putU32(ByteVector& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t getU32(const ByteVector& bytes, std::size_t at) { return u32le(Bytes(bytes), at); }

void putId(ByteVector& bytes, std::size_t at, const char (&id)[5]) {
    std::copy_n(id, 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

std::vector<ByteVector> allSamples(const AviDemuxer& demuxer, std::size_t stream) {
    std::vector<ByteVector> out;
    for (std::size_t i = 0; i < demuxer.streams().at(stream).sampleCount(); ++i) {
        ByteVector sample;
        EXPECT_TRUE(demuxer.readSample(stream, i, sample));
        out.push_back(sample);
    }
    return out;
}

// The samples of `stream` that read: an index entry that does not point at its own chunk is refused when
// its sample is read, and counted in refusedSamples().
std::vector<ByteVector> readableSamples(const AviDemuxer& demuxer, std::size_t stream) {
    std::vector<ByteVector> out;
    for (std::size_t i = 0; i < demuxer.streams().at(stream).sampleCount(); ++i) {
        ByteVector sample;
        if (demuxer.readSample(stream, i, sample)) out.push_back(sample);
    }
    return out;
}

// The data of every "id" chunk that ends within the first `cut` bytes of `file`, in file order.
std::vector<ByteVector> wholeChunks(const ByteVector& file, const std::string& id, std::size_t cut) {
    std::vector<ByteVector> out;
    for (const std::size_t pos : chunkPositions(file, id)) {
        const std::size_t size = getU32(file, pos + 4);
        if (pos + 8 + size <= cut) {
            out.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                             file.begin() + static_cast<std::ptrdiff_t>(pos + 8 + size));
        }
    }
    return out;
}

std::vector<ByteVector> filled(int count, std::size_t bytes, std::uint8_t first) {
    std::vector<ByteVector> out;
    for (int i = 0; i < count; ++i) out.emplace_back(bytes, static_cast<std::uint8_t>(first + i));
    return out;
}

TEST(AviDemuxer, ReadsDvType1) {
    test::TempDir dir;
    const AviDemuxer avi(dir.write("type1.avi", test::dvType1Avi(3, 64)));
    ASSERT_TRUE(avi.isAvi());
    EXPECT_EQ(avi.riffFormCount(), 1u);
    EXPECT_EQ(avi.mainHeader().totalFrames, 3u);
    EXPECT_EQ(avi.odmlTotalFrames(), 0u);
    ASSERT_EQ(avi.streamCount(), 1u);
    const AviStream& s = avi.streams()[0];
    EXPECT_EQ(s.kind(), AviStreamKind::Interleaved);
    EXPECT_EQ(s.header.handler, FourCC::of("dvsd"));
    ASSERT_TRUE(s.mediaType.dvInfo().has_value());
    EXPECT_EQ(s.mediaType.dvInfo()->aauxSrc, 0xC8C0D0C0u);
    EXPECT_EQ(s.mediaType.dvInfo()->vauxSrc, 0xFF20FFFFu);
    EXPECT_EQ(s.mediaType.format().size(), 32u);
    EXPECT_EQ(s.indexSource, AviIndexSource::Idx1);
    EXPECT_EQ(allSamples(avi, 0), filled(3, 64, 0));
    EXPECT_EQ(s.rate().numerator, 25u);
    EXPECT_EQ(s.rate().denominator, 1u);
    EXPECT_EQ(s.frameDuration(), kPalFrameDuration);
    EXPECT_EQ(s.duration().ticks(), 3 * 400000);
    EXPECT_EQ(avi.firstStream(AviStreamKind::Interleaved), &s);
    EXPECT_EQ(avi.firstStream(AviStreamKind::Video), nullptr);
}

TEST(AviDemuxer, ReadsDvType2WithOddSizedChunks) {
    test::TempDir dir;
    // 63-byte chunks are followed by a pad byte: every offset after the first depends on it.
    const AviDemuxer avi(dir.write("type2.avi", test::dvType2Avi(4, 63)));
    ASSERT_EQ(avi.streamCount(), 2u);
    const AviStream& video = avi.streams()[0];
    const AviStream& audio = avi.streams()[1];
    EXPECT_EQ(video.kind(), AviStreamKind::Video);
    ASSERT_TRUE(video.mediaType.bitmap().has_value());
    EXPECT_EQ(video.mediaType.bitmap()->compression, FourCC::of("dvsd"));
    EXPECT_EQ(video.mediaType.bitmap()->width, 720);
    EXPECT_EQ(video.mediaType.bitmap()->height, 576);
    ASSERT_TRUE(video.mediaType.dvInfo().has_value());  // the DV block after the bitmap header
    EXPECT_EQ(video.mediaType.dvInfo()->vauxSrc, 0xFF20FFFFu);
    EXPECT_EQ(audio.kind(), AviStreamKind::Audio);
    ASSERT_TRUE(audio.mediaType.wave().has_value());
    EXPECT_EQ(audio.mediaType.wave()->channels, 2);
    EXPECT_EQ(audio.mediaType.wave()->samplesPerSecond, 48000u);
    EXPECT_EQ(audio.mediaType.wave()->blockAlign, 4);
    EXPECT_FALSE(audio.mediaType.dvInfo().has_value());
    EXPECT_EQ(allSamples(avi, 0), filled(4, 63, 0));
    EXPECT_EQ(allSamples(avi, 1), filled(4, 63, 0x80));
    EXPECT_EQ(audio.totalBytes, 4u * 63u);
    // 252 bytes are 63 blocks of 4 bytes at 48000 blocks per second (scale 4, rate 192000).
    EXPECT_EQ(audio.duration().ticks(), (63 * 10'000'000LL + 24000) / 48000);
    EXPECT_EQ(video.duration().ticks(), 4 * 400000);
}

TEST(AviDemuxer, Idx1OffsetsRelativeToMoviOrAbsolute) {
    for (const bool absolute : {false, true}) {
        SCOPED_TRACE(absolute ? "absolute" : "relative");
        ByteVector file = test::dvType2Avi(3, 40);
        const std::size_t idx1 = chunkPositions(file, "idx1")[0];
        const std::size_t moviType = chunkPositions(file, "movi")[0] + 8;
        const std::size_t entries = getU32(file, idx1 + 4) / 16;
        for (std::size_t e = 0; e < entries; ++e) {
            const std::size_t at = idx1 + 8 + 16 * e;
            if (absolute) putU32(file, at + 8, static_cast<std::uint32_t>(getU32(file, at + 8) + moviType));
        }
        // Entry 2 is video frame 1: clear its key-frame flag.
        putU32(file, idx1 + 8 + 16 * 2 + 4, 0);
        test::TempDir dir;
        const AviDemuxer avi(dir.write("idx1.avi", file));
        ASSERT_EQ(avi.streamCount(), 2u);
        EXPECT_EQ(avi.streams()[0].indexSource, AviIndexSource::Idx1);
        EXPECT_EQ(avi.streams()[0].droppedEntries, 0u);
        EXPECT_EQ(allSamples(avi, 0), filled(3, 40, 0));
        EXPECT_EQ(allSamples(avi, 1), filled(3, 40, 0x80));
        const auto& samples = avi.streams()[0].samples;
        EXPECT_TRUE(samples[0].keyFrame);
        EXPECT_FALSE(samples[1].keyFrame);
        EXPECT_TRUE(samples[2].keyFrame);
        const auto chunks = chunkPositions(file, "00dc");
        for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(samples[i].offset, chunks[i] + 8);
    }
}

TEST(AviDemuxer, WalksMoviListsWithoutIndexThroughRecLists) {
    test::StreamHeader video;
    test::StreamHeader audio;
    audio.type = "auds";
    audio.scale = 4;
    audio.rate = 192000;
    audio.sampleSize = 4;
    const auto rec = [](int i) {
        return list("rec ", {chunk("00dc", ByteVector(33, static_cast<std::uint8_t>(i))),
                             chunk("01wb", ByteVector(8, static_cast<std::uint8_t>(0x80 + i)))});
    };
    const ByteVector file = serialize(
        riff("AVI ",
             {list("hdrl", {chunk("avih", test::avihBytes({})),
                            list("strl", {chunk("strh", test::strhBytes(video)),
                                          chunk("strf", test::bitmapInfoBytes(720, 576, "dvsd"))}),
                            list("strl", {chunk("strh", test::strhBytes(audio)),
                                          chunk("strf", test::waveFormatBytes())})}),
              list("movi", {rec(0), chunk("JUNK", ByteVector(5, 0)), chunk("00pc", ByteVector(4, 0)), rec(1),
                            chunk("07dc", ByteVector(4, 0)), chunk("xxdc", ByteVector(4, 0)), rec(2)})}));
    test::TempDir dir;
    const AviDemuxer avi(dir.write("walk.avi", file));
    ASSERT_EQ(avi.streamCount(), 2u);
    EXPECT_EQ(avi.streams()[0].indexSource, AviIndexSource::MoviWalk);
    EXPECT_EQ(avi.streams()[1].indexSource, AviIndexSource::MoviWalk);
    // The palette change, the chunk of a stream that does not exist and the id without digits are no samples.
    EXPECT_EQ(allSamples(avi, 0), filled(3, 33, 0));
    EXPECT_EQ(allSamples(avi, 1), filled(3, 8, 0x80));
    EXPECT_EQ(avi.streams()[1].duration().ticks(), 6 * 10'000'000LL / 48000);
}

TEST(AviDemuxer, ReadsOpenDmlIndexesAcrossRiffForms) {
    struct Case {
        bool withIdx1;
        bool withAudio;
        std::size_t frameBytes;
    };
    for (const Case c : {Case{true, true, 64}, Case{false, true, 51}, Case{false, false, 64}}) {
        SCOPED_TRACE(testing::Message() << "idx1 " << c.withIdx1 << " audio " << c.withAudio);
        test::OpenDmlOptions o;
        o.frames = 7;
        o.framesPerForm = 3;
        o.frameBytes = c.frameBytes;
        o.withAudio = c.withAudio;
        o.withIdx1 = c.withIdx1;
        const ByteVector file = test::openDmlAvi(o);
        test::TempDir dir;
        const AviDemuxer avi(dir.write("odml.avi", file));
        EXPECT_EQ(avi.riffFormCount(), 3u);
        EXPECT_EQ(avi.odmlTotalFrames(), 7u);
        EXPECT_EQ(avi.mainHeader().totalFrames, 3u);
        ASSERT_EQ(avi.streamCount(), c.withAudio ? 2u : 1u);
        EXPECT_EQ(avi.streams()[0].indexSource, AviIndexSource::OpenDml);
        EXPECT_EQ(allSamples(avi, 0), filled(7, c.frameBytes, 0));
        EXPECT_EQ(avi.streams()[0].duration().ticks(), 7 * 400000);
        if (c.withAudio) {
            EXPECT_EQ(avi.streams()[1].indexSource, AviIndexSource::OpenDml);
            EXPECT_EQ(allSamples(avi, 1), filled(7, 32, 0x80));
        }
    }
}

TEST(AviDemuxer, OpenDmlSizeBit31MarksNonKeyFrames) {
    ByteVector file = test::openDmlAvi({});
    const std::size_t ix = chunkPositions(file, "ix00")[0];
    const std::size_t secondEntry = ix + 8 + 24 + 8;
    putU32(file, secondEntry + 4, getU32(file, secondEntry + 4) | 0x80000000u);
    test::TempDir dir;
    const AviDemuxer avi(dir.write("odml.avi", file));
    const auto& samples = avi.streams().at(0).samples;
    ASSERT_EQ(samples.size(), 6u);
    EXPECT_TRUE(samples[0].keyFrame);
    EXPECT_FALSE(samples[1].keyFrame);
    EXPECT_EQ(samples[1].size, 64u);
    EXPECT_EQ(allSamples(avi, 0), filled(6, 64, 0));
}

TEST(AviDemuxer, FallsBackFromOpenDmlToIdx1AndMoviWalk) {
    // Without indx, idx1 gives the first form and the AVIX forms' movi lists give the rest; without idx1 too,
    // the movi lists of every form are walked.
    test::OpenDmlOptions o;
    o.frames = 7;
    o.framesPerForm = 3;
    ByteVector file = test::openDmlAvi(o);
    for (const std::size_t pos : chunkPositions(file, "indx")) putId(file, pos, "JUNK");
    test::TempDir dir;
    {
        const AviDemuxer avi(dir.write("idx1.avi", file));
        EXPECT_EQ(avi.streams().at(0).indexSource, AviIndexSource::Idx1);
        EXPECT_EQ(allSamples(avi, 0), filled(7, 64, 0));
        EXPECT_EQ(allSamples(avi, 1), filled(7, 32, 0x80));
    }
    putId(file, chunkPositions(file, "idx1")[0], "JUNK");
    {
        const AviDemuxer avi(dir.write("walk.avi", file));
        EXPECT_EQ(avi.streams().at(0).indexSource, AviIndexSource::MoviWalk);
        EXPECT_EQ(allSamples(avi, 0), filled(7, 64, 0));
        EXPECT_EQ(allSamples(avi, 1), filled(7, 32, 0x80));
    }
}

TEST(AviDemuxer, TruncatedFileGivesTheWholeSamples) {
    test::OpenDmlOptions o;
    o.frames = 5;
    o.framesPerForm = 2;
    o.frameBytes = 41;
    const std::vector<std::pair<std::string, ByteVector>> files = {{"idx1", test::dvType2Avi(5, 41)},
                                                                   {"opendml", test::openDmlAvi(o)}};
    test::TempDir dir;
    for (const auto& [name, file] : files) {
        // Every cut from the end of the file back to the start of the movi data.
        const std::string path = dir.write(name + ".avi", file);
        const std::size_t first = chunkPositions(file, "movi")[0];
        for (std::size_t cut = file.size(); cut >= first; --cut) {
            SCOPED_TRACE(name + " cut at " + std::to_string(cut));
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut)), 0);
            const AviDemuxer avi(path);
            ASSERT_EQ(avi.streamCount(), 2u);
            ASSERT_EQ(allSamples(avi, 0), wholeChunks(file, "00dc", cut));
            ASSERT_EQ(allSamples(avi, 1), wholeChunks(file, "01wb", cut));
        }
    }
}

TEST(AviDemuxer, DropsIdx1EntriesThatPointOutsideTheFileOrIntoAnotherChunk) {
    const ByteVector original = test::dvType2Avi(4, 40);
    const std::size_t idx1 = chunkPositions(original, "idx1")[0] + 8;
    const std::size_t moviType = chunkPositions(original, "movi")[0] + 8;
    const std::size_t frame0 = chunkPositions(original, "00dc")[0];
    const std::size_t audio0 = chunkPositions(original, "01wb")[0];
    // Entry 2 is video frame 1 (entries alternate video and audio).
    const std::size_t entry = idx1 + 2 * 16;
    // Entries outside the file or into a sample's chunk are dropped when the index is read; the others are
    // kept without a read and refused when their sample is read. Either way the entry is counted once and
    // never followed.
    struct Mutation {
        const char* name;
        std::uint32_t offset;
        std::uint32_t size;
        bool refusedOnRead;
    };
    const auto relative = [&](std::size_t pos) { return static_cast<std::uint32_t>(pos - moviType); };
    const std::vector<Mutation> mutations = {
        {"past the end of the file", static_cast<std::uint32_t>(original.size()), 40, false},
        {"far past the end", 0xFFFFFF00u, 40, false},
        {"into the data of frame 0", relative(frame0 + 16), 40, false},
        {"at the audio chunk", relative(audio0), 40, true},
        {"size larger than the chunk", relative(chunkPositions(original, "00dc")[1]), 41, true},
        {"size running past the end of the file", relative(chunkPositions(original, "00dc")[1]), 0x7FFFFFFF,
         false},
    };
    test::TempDir dir;
    for (const auto& m : mutations) {
        SCOPED_TRACE(m.name);
        ByteVector file = original;
        putU32(file, entry + 8, m.offset);
        putU32(file, entry + 12, m.size);
        const AviDemuxer avi(dir.write("bad.avi", file));
        EXPECT_EQ(avi.streams().at(0).indexSource, AviIndexSource::Idx1);
        EXPECT_EQ(avi.streams()[0].droppedEntries, m.refusedOnRead ? 0u : 1u);
        EXPECT_EQ(avi.streams()[1].droppedEntries, 0u);
        EXPECT_EQ(avi.streams()[0].sampleCount(), m.refusedOnRead ? 4u : 3u);
        EXPECT_EQ(readableSamples(avi, 0),
                  (std::vector<ByteVector>{ByteVector(40, 0), ByteVector(40, 2), ByteVector(40, 3)}));
        EXPECT_EQ(allSamples(avi, 1), filled(4, 40, 0x80));
        EXPECT_EQ(avi.refusedSamples(), m.refusedOnRead ? 1u : 0u);
    }
}

TEST(AviDemuxer, DropsOpenDmlEntriesThatPointOutsideTheFileOrIntoAnotherChunk) {
    test::OpenDmlOptions o;
    o.withIdx1 = false;
    const ByteVector original = test::openDmlAvi(o);             // 6 frames, 2 per form
    const std::size_t ix = chunkPositions(original, "ix00")[1];  // the AVIX form's first: frames 2 and 3
    const std::uint64_t base = u64le(Bytes(original), ix + 8 + 12);
    const std::size_t entry = ix + 8 + 24;  // frame 2
    const std::size_t audio2 = chunkPositions(original, "01wb")[2];
    struct Mutation {
        const char* name;
        std::uint32_t offset;
        bool refusedOnRead;
    };
    const auto relative = [&](std::size_t pos) { return static_cast<std::uint32_t>(pos - base); };
    const std::vector<Mutation> mutations = {
        {"past the end of the file", relative(original.size()), false},
        {"far past the end", 0xFFFFFFF0u, false},
        // Frame 3's entry then comes before the end of this one: the chunk header settles which is wrong.
        {"into the data of frame 3", relative(chunkPositions(original, "00dc")[3] + 8 + 20), false},
        // 64 bytes at the 32-byte audio data run into frame 3's chunk: settled as above.
        {"at the audio chunk's data", relative(audio2 + 8), false},
        {"at the chunk header instead of the data", relative(chunkPositions(original, "00dc")[2]), true},
    };
    test::TempDir dir;
    for (const auto& m : mutations) {
        SCOPED_TRACE(m.name);
        ByteVector file = original;
        putU32(file, entry, m.offset);
        const AviDemuxer avi(dir.write("bad.avi", file));
        EXPECT_EQ(avi.streams().at(0).indexSource, AviIndexSource::OpenDml);
        EXPECT_EQ(avi.streams()[0].droppedEntries, m.refusedOnRead ? 0u : 1u);
        auto expected = filled(6, 64, 0);
        expected.erase(expected.begin() + 2);
        EXPECT_EQ(readableSamples(avi, 0), expected);
        EXPECT_EQ(avi.refusedSamples(), m.refusedOnRead ? 1u : 0u);
        EXPECT_EQ(allSamples(avi, 1), filled(6, 32, 0x80));
    }
}

TEST(AviDemuxer, HostileCountsAndSizesAreBoundedByTheFile) {
    test::OpenDmlOptions o;
    o.withIdx1 = true;
    const ByteVector original = test::openDmlAvi(o);
    const std::size_t indx = chunkPositions(original, "indx")[0];
    const std::size_t ix = chunkPositions(original, "ix00")[0];
    const std::size_t idx1 = chunkPositions(original, "idx1")[0];
    test::TempDir dir;
    {
        SCOPED_TRACE("counts of entries in use far beyond the index chunks");
        ByteVector file = original;
        putU32(file, indx + 8 + 4, 0xFFFFFFFFu);
        putU32(file, ix + 8 + 4, 0xFFFFFFFFu);
        const AviDemuxer avi(dir.write("counts.avi", file));
        EXPECT_EQ(allSamples(avi, 0), filled(6, 64, 0));
    }
    {
        SCOPED_TRACE("declared sizes of 4 GiB for RIFF, idx1, indx, strf and strh");
        ByteVector file = original;
        for (const char* id : {"strh", "strf", "indx", "idx1", "dmlh"}) {
            putU32(file, chunkPositions(original, id)[0] + 4, 0xFFFFFFFFu);
        }
        putU32(file, 4, 0xFFFFFFFFu);
        const AviDemuxer avi(dir.write("sizes.avi", file));
        EXPECT_TRUE(avi.isAvi());
        EXPECT_LE(avi.bytesRead(), 4 * file.size());
        EXPECT_LE(avi.streams().size(), 2u);
    }
    {
        SCOPED_TRACE("idx1 entries with stream numbers that do not exist and a base that is not a movi");
        ByteVector file = original;
        const std::size_t entries = getU32(file, idx1 + 4) / 16;
        for (std::size_t e = 0; e < entries; ++e) putId(file, idx1 + 8 + 16 * e, "99dc");
        for (const std::size_t pos : chunkPositions(file, "indx")) putId(file, pos, "JUNK");
        const AviDemuxer avi(dir.write("ids.avi", file));
        EXPECT_EQ(avi.streams()[0].indexSource, AviIndexSource::MoviWalk);
        EXPECT_EQ(allSamples(avi, 0), filled(6, 64, 0));
    }
}

// A sample larger than its stream's samples can be keeps its place, empty, and is never read: a DV frame holds
// at most 144000 bytes, a picture of another codec its pixels uncoded and some headers.
TEST(AviDemuxer, SamplesLargerThanTheirStreamCanHoldKeepTheirPlaceAndAreRefused) {
    struct Case {
        const char* name;
        ByteVector file;
        std::size_t largeIndex;  // the sample made too large
    };
    // Three DV frames, the second one byte over a 625/50 frame.
    const ByteVector dv = test::dvType2Avi(3, 100);
    ByteVector largeDv;
    {
        std::vector<test::Chunk> movi;
        for (int i = 0; i < 3; ++i) {
            movi.push_back(chunk("00dc", ByteVector(i == 1 ? AviStream::kMaxDvFrameBytes + 1 : 100, static_cast<std::uint8_t>(i))));
        }
        const std::size_t hdrl = chunkPositions(dv, "hdrl").front();
        const ByteVector headers(dv.begin() + static_cast<std::ptrdiff_t>(hdrl),
                                 dv.begin() + static_cast<std::ptrdiff_t>(hdrl + 8 + getU32(dv, hdrl + 4)));
        largeDv = test::concat({ByteVector{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '}, headers,
                          serialize(list("movi", std::move(movi)))});
        putU32(largeDv, 4, static_cast<std::uint32_t>(largeDv.size() - 8));
    }
    // An MJPEG picture of 16 x 16 whose chunk holds more than its pixels at 32 bits and the header room.
    test::MainHeader mh;
    test::StreamHeader vh;
    vh.handler = "MJPG";
    std::vector<test::Chunk> movi;
    for (int i = 0; i < 3; ++i) {
        movi.push_back(chunk("00dc", ByteVector(i == 2 ? 16 * 16 * 4 + AviStream::kPictureHeaderRoom + 1 : 50, 7)));
    }
    const ByteVector mjpeg = serialize(riff(
        "AVI ", {list("hdrl", {chunk("avih", test::avihBytes(mh)),
                               list("strl", {chunk("strh", test::strhBytes(vh)),
                                             chunk("strf", test::bitmapInfoBytes(16, 16, "MJPG"))})}),
                 list("movi", std::move(movi))}));
    const std::vector<Case> cases{{"DV frame", largeDv, 1}, {"MJPEG picture", mjpeg, 2}};
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AviDemuxer avi(dir.write("large.avi", c.file));
        ASSERT_EQ(avi.streams().at(0).sampleCount(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            ByteVector sample(5, 1);
            EXPECT_EQ(avi.readSample(0, i, sample), i != c.largeIndex) << i;
            if (i == c.largeIndex) {
                EXPECT_EQ(avi.streams()[0].samples[i].size, 0u);
                EXPECT_TRUE(sample.empty());
                ByteVector prefix(16, 0);
                EXPECT_EQ(avi.readSamplePrefix(0, i, MutableBytes(prefix.data(), prefix.size())), 0u);
            }
        }
        EXPECT_EQ(avi.refusedSamples(), 2u);
    }
}

TEST(AviDemuxer, SameIndexRepeatedKeepsTheSampleOrder) {
    // The super index names form 0's standard index three times: it is read once, and the later forms are
    // walked from the end of its last sample.
    test::OpenDmlOptions o;
    o.withIdx1 = false;
    ByteVector file = test::openDmlAvi(o);
    const std::size_t indx = chunkPositions(file, "indx")[0];
    const std::uint32_t firstIx = getU32(file, indx + 8 + 24);
    putU32(file, indx + 8 + 24 + 16, firstIx);
    putU32(file, indx + 8 + 24 + 32, firstIx);
    test::TempDir dir;
    const AviDemuxer avi(dir.write("same.avi", file));
    EXPECT_EQ(allSamples(avi, 0), filled(6, 64, 0));
    EXPECT_EQ(avi.streams()[0].droppedEntries, 2u);
}

TEST(AviDemuxer, ReadsSamplesWholeOrTheirFirstBytes) {
    test::TempDir dir;
    const AviDemuxer avi(dir.write("type2.avi", test::dvType2Avi(3, 600)));
    ByteVector sample;
    EXPECT_TRUE(avi.readSample(0, 2, sample));
    EXPECT_EQ(sample, ByteVector(600, 2));
    EXPECT_FALSE(avi.readSample(0, 3, sample));
    EXPECT_TRUE(sample.empty());
    EXPECT_FALSE(avi.readSample(2, 0, sample));

    std::array<std::uint8_t, 480> head{};
    const std::uint64_t before = avi.bytesRead();
    EXPECT_EQ(avi.readSamplePrefix(0, 1, head), 480u);
    EXPECT_EQ(avi.bytesRead() - before, 488u);  // one read of the chunk header and 480 bytes, nothing more
    EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](std::uint8_t b) { return b == 1; }));

    std::vector<std::uint8_t> big(1000, 0xEE);
    EXPECT_EQ(avi.readSamplePrefix(1, 0, big), 600u);
    EXPECT_EQ(ByteVector(big.begin(), big.begin() + 600), ByteVector(600, 0x80));
    EXPECT_EQ(big[600], 0xEE);
    EXPECT_EQ(avi.readSamplePrefix(0, 99, head), 0u);
    EXPECT_EQ(avi.readSamplePrefix(5, 0, head), 0u);
}

TEST(AviDemuxer, SampleReadAfterTheFileShrankFails) {
    test::TempDir dir;
    const std::string path = dir.write("type2.avi", test::dvType2Avi(3, 600));
    const AviDemuxer avi(path);
    const auto last = avi.streams()[1].samples.back();
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(last.offset + 100)), 0);
    ByteVector sample;
    EXPECT_FALSE(avi.readSample(1, 2, sample));
    std::array<std::uint8_t, 480> head{};
    EXPECT_EQ(avi.readSamplePrefix(1, 2, head), 100u);
}

TEST(AviDemuxer, FilesThatAreNotAvi) {
    test::TempDir dir;
    const std::vector<std::pair<std::string, ByteVector>> files = {
        {"empty", {}},
        {"wave", serialize(riff("WAVE", {chunk("fmt ", test::waveFormatBytes())}))},
        {"short", {'R', 'I', 'F', 'F', 0, 0}},
        {"text", ByteVector(100, 'x')},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const AviDemuxer avi(dir.write(name, bytes));
        EXPECT_FALSE(avi.isAvi());
        EXPECT_EQ(avi.streamCount(), 0u);
        EXPECT_EQ(avi.riffFormCount(), 0u);
    }
    EXPECT_THROW(AviDemuxer(dir.file("missing.avi")), FileError);
    EXPECT_THROW(AviDemuxer(dir.path().string()), FileError);
}

TEST(AviDemuxer, DurationsFromRateScaleAndSampleSize) {
    struct Case {
        const char* name;
        std::string type;
        std::uint32_t scale;
        std::uint32_t rate;
        std::uint32_t sampleSize;
        std::size_t chunkBytes;
        std::int64_t expectedTicks;  // for 10 chunks
        std::int64_t expectedFrameTicks;
    };
    const std::vector<Case> cases = {
        {"NTSC video", "vids", 1001, 30000, 0, 40, 3336667, 333667},
        {"PAL video with a sample size", "vids", 1, 25, 40, 40, 4000000, 400000},
        {"video without a scale", "vids", 0, 25, 0, 40, 0, 0},
        {"PCM blocks: 100 blocks at 48000 per second", "auds", 4, 192000, 4, 40, 20833, 208},
        {"PCM without scale: byte rate of the wave format", "auds", 0, 0, 4, 400, 208333, 0},
        {"VBR audio: one block per chunk", "auds", 1152, 48000, 0, 40, 2400000, 240000},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::StreamHeader sh;
        sh.type = c.type;
        sh.scale = c.scale;
        sh.rate = c.rate;
        sh.sampleSize = c.sampleSize;
        std::vector<test::Chunk> movi;
        for (int i = 0; i < 10; ++i) movi.push_back(chunk("00xx", ByteVector(c.chunkBytes, 0)));
        const ByteVector format =
            c.type == "vids" ? test::bitmapInfoBytes(720, 480, "dvsd") : test::waveFormatBytes();
        const ByteVector file = serialize(
            riff("AVI ",
                 {list("hdrl", {chunk("avih", test::avihBytes({})),
                                list("strl", {chunk("strh", test::strhBytes(sh)), chunk("strf", format)})}),
                  list("movi", movi)}));
        const AviDemuxer avi(dir.write("d.avi", file));
        ASSERT_EQ(avi.streams().at(0).sampleCount(), 10u);
        EXPECT_EQ(avi.streams()[0].duration().ticks(), c.expectedTicks);
        EXPECT_EQ(avi.streams()[0].frameDuration().ticks(), c.expectedFrameTicks);
    }
}

// Offsets past 4 GiB: the AVIX form of an OpenDML file placed after 4.5 GiB of (sparse) JUNK.
TEST(AviDemuxer, ReadsSamplesPastFourGiB) {
    test::OpenDmlOptions o;
    o.frames = 4;
    o.framesPerForm = 2;
    o.withAudio = false;
    o.withIdx1 = true;
    ByteVector file = test::openDmlAvi(o);
    const std::size_t avix = chunkPositions(file, "AVIX")[0];
    ByteVector first(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(avix));
    ByteVector second(file.begin() + static_cast<std::ptrdiff_t>(avix), file.end());

    // Two top-level JUNK chunks of 2.25 GiB each between the forms.
    const std::uint32_t junkSize = 0x90000000u;
    const std::uint64_t shift = 2 * (8 + static_cast<std::uint64_t>(junkSize));
    const std::uint64_t newAvix = avix + shift;
    // Move the super index's entry for the second form and the second standard index's base offset.
    const std::size_t indxData = chunkPositions(file, "indx")[0] + 8;
    const std::uint64_t ix1 = u64le(Bytes(file), indxData + 24 + 16);
    const std::uint64_t movedIx1 = ix1 + shift;
    putU32(first, indxData + 24 + 16, static_cast<std::uint32_t>(movedIx1));
    putU32(first, indxData + 24 + 20, static_cast<std::uint32_t>(movedIx1 >> 32));
    const std::size_t baseAt = static_cast<std::size_t>(ix1) - avix + 8 + 12;
    const std::uint64_t movedBase = u64le(Bytes(second), baseAt) + shift;
    putU32(second, baseAt, static_cast<std::uint32_t>(movedBase));
    putU32(second, baseAt + 4, static_cast<std::uint32_t>(movedBase >> 32));

    test::TempDir dir;
    const std::string path = dir.file("big.avi");
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const auto writeAt = [fd](const ByteVector& bytes, std::uint64_t at) {
            return ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) ==
                   static_cast<ssize_t>(bytes.size());
        };
        ByteVector junk = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
        putU32(junk, 4, junkSize);
        EXPECT_TRUE(writeAt(first, 0));
        EXPECT_TRUE(writeAt(junk, avix));
        EXPECT_TRUE(writeAt(junk, avix + 8 + junkSize));
        EXPECT_TRUE(writeAt(second, newAvix));
        ::close(fd);
    }
    const AviDemuxer avi(path);
    EXPECT_EQ(avi.riffFormCount(), 2u);
    const AviStream& video = avi.streams().at(0);
    EXPECT_EQ(video.indexSource, AviIndexSource::OpenDml);
    ASSERT_EQ(video.sampleCount(), 4u);
    EXPECT_GT(video.samples[3].offset, 0x100000000u);
    EXPECT_EQ(allSamples(avi, 0), filled(4, 64, 0));
    std::array<std::uint8_t, 16> head{};
    EXPECT_EQ(avi.readSamplePrefix(0, 3, head), 16u);
    EXPECT_EQ(head[15], 3);

    // Without the OpenDML index, the walk reaches the AVIX form too.
    for (const std::size_t pos : chunkPositions(file, "indx")) {
        ByteVector id = {'J', 'U', 'N', 'K'};
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, id.data(), 4, static_cast<off_t>(pos)), 4);
        ::close(fd);
    }
    const AviDemuxer walked(path);
    EXPECT_EQ(walked.streams().at(0).indexSource, AviIndexSource::Idx1);
    EXPECT_EQ(allSamples(walked, 0), filled(4, 64, 0));
}

}  // namespace
}  // namespace moraven

namespace moraven {
namespace {

// A 1 GiB sparse file with a few real frames: an index or a movi list declared over the hole gives the real
// frames only, and the hole is not read (memory and time follow the real data, not the declared sizes).
TEST(AviDemuxer, SparseFileDeclaredOverAHoleGivesItsRealSamples) {
    constexpr std::uint64_t kDeclared = 1ull << 30;
    test::OpenDmlOptions o;
    o.frames = 5;
    o.framesPerForm = 2;
    o.frameBytes = 1000;
    test::TempDir dir;
    for (const auto shape : {test::SparseAviShape::IndexOverTheHole, test::SparseAviShape::MoviOverTheHole}) {
        const bool indexed = shape == test::SparseAviShape::IndexOverTheHole;
        SCOPED_TRACE(indexed ? "ix00 over the hole" : "movi over the hole");
        const test::SparseAvi file = test::writeSparseAvi(dir.file("sparse.avi"), o, kDeclared, shape);
        const AviDemuxer avi(file.path);
        ASSERT_EQ(avi.streamCount(), 1u);
        const AviStream& video = avi.streams()[0];
        EXPECT_EQ(video.indexSource, indexed ? AviIndexSource::OpenDml : AviIndexSource::MoviWalk);
        EXPECT_EQ(allSamples(avi, 0), filled(5, 1000, 0));
        // Every entry of the last index past its real ones names the same empty chunk.
        EXPECT_EQ(video.droppedEntries,
                  indexed ? file.lastIndexEntries - static_cast<std::uint64_t>(file.lastFormFrames) : 0u);
        EXPECT_LT(avi.bytesRead(), 1024u * 1024u);
    }
}

}  // namespace
}  // namespace moraven
