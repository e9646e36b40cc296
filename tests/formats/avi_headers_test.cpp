#include "formats/avi_headers.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "formats/media_type.h"
#include "support/riff_builder.h"

namespace moraven {
namespace {

using test::ByteVector;

Bytes prefix(Bytes bytes, std::size_t count) { return bytes.first(std::min(count, bytes.size())); }

AviStreamHeader everyStreamField() {
    AviStreamHeader h;
    h.type = FourCC::of("vids");
    h.handler = FourCC::of("dvsd");
    h.flags = 0x11223344;
    h.priority = 0x5566;
    h.language = 0x7788;
    h.initialFrames = 0x99AABBCC;
    h.scale = 1001;
    h.rate = 30000;
    h.start = 7;
    h.length = 0xDDEEFF01;
    h.suggestedBufferSize = 120000;
    h.quality = 0xFFFFFFFF;
    h.sampleSize = 4;
    h.frameLeft = -1;
    h.frameTop = -32768;
    h.frameRight = 720;
    h.frameBottom = 480;
    return h;
}

AviMainHeader everyMainField() {
    AviMainHeader h;
    h.microSecPerFrame = 33367;
    h.maxBytesPerSec = 3600000;
    h.paddingGranularity = 2;
    h.flags = kAvifHasIndex | kAvifIsInterleaved;
    h.totalFrames = 0x01020304;
    h.initialFrames = 5;
    h.streams = 2;
    h.suggestedBufferSize = 144008;
    h.width = 720;
    h.height = 576;
    h.reserved = {0xA, 0xB, 0xC, 0xFFFFFFFF};
    return h;
}

AviVideoProperties twoFieldProperties() {
    AviVideoProperties v;
    v.videoFormatToken = 2;
    v.videoStandard = 1;
    v.verticalRefreshRate = 50;
    v.horizontalTotal = 864;
    v.verticalTotalLines = 625;
    v.aspectX = 16;
    v.aspectY = 9;
    v.frameWidth = 720;
    v.frameHeight = 576;
    v.fieldsPerFrame = 2;
    v.fields = {{288, 720, 288, 720, 1, 2, 132, 23}, {288, 720, 288, 720, 3, 4, 132, 336}};
    return v;
}

// Every encoder gives bytes its decoder reads back whole, at the size of the layout.
TEST(AviHeadersTest, EveryLayoutDecodesWhatItsEncoderWrote) {
    const auto strhData = encodeStreamHeader(everyStreamField());
    EXPECT_EQ(strhData.size(), 56u);
    EXPECT_EQ(decodeStreamHeader(strhData), everyStreamField());

    const auto avihData = encodeMainHeader(everyMainField());
    EXPECT_EQ(avihData.size(), 56u);
    EXPECT_EQ(decodeMainHeader(avihData), everyMainField());

    const auto vprpData = encodeVideoProperties(twoFieldProperties());
    EXPECT_EQ(vprpData.size(), 36u + 2 * 32);
    EXPECT_EQ(decodeVideoProperties(vprpData), twoFieldProperties());

    const auto dmlhData = encodeOdmlHeader({123456});
    EXPECT_EQ(dmlhData.size(), 248u);
    EXPECT_EQ(decodeOdmlHeader(dmlhData).totalFrames, 123456u);

    const AviIndexHeader index{2, 0, kAviIndexOfChunks, 3, FourCC::of("01wb"), 0x0000000123456789ull, 9};
    EXPECT_EQ(decodeIndexHeader(encodeIndexHeader(index)), index);
    const AviSuperIndexEntry super{0x00000001FFFFFFF0ull, 0x80000010, 250};
    EXPECT_EQ(decodeSuperIndexEntry(encodeSuperIndexEntry(super)), super);
    for (const bool key : {true, false}) {
        const AviStandardIndexEntry entry{0xFFFFFFFF, 0x7FFFFFFF, key};
        EXPECT_EQ(decodeStandardIndexEntry(encodeStandardIndexEntry(entry)), entry) << key;
    }
    const AviIdx1Entry idx1{FourCC::of("00dc"), kAviIdx1KeyFrame, 4, 144000};
    EXPECT_EQ(decodeIdx1Entry(encodeIdx1Entry(idx1)), idx1);
    const RiffChunkHeader chunkHeader{FourCC::of("LIST"), 0xFFFFFFFF};
    EXPECT_EQ(decodeChunkHeader(encodeChunkHeader(chunkHeader)), chunkHeader);
}

// The test's own builder writes the layouts field by field: the encoders must put every field where it does.
TEST(AviHeadersTest, EncodersPutTheFieldsWhereTheFormatHasThem) {
    test::StreamHeader fixture;
    fixture.type = "auds";
    fixture.handler = "abcd";
    fixture.flags = 3;
    fixture.scale = 4;
    fixture.rate = 192000;
    fixture.length = 77;
    fixture.suggestedBufferSize = 7680;
    fixture.quality = 0x12345678;
    fixture.sampleSize = 4;
    fixture.right = -2;
    fixture.bottom = 9;
    AviStreamHeader h;
    h.type = FourCC::of("auds");
    h.handler = FourCC::of("abcd");
    h.flags = 3;
    h.scale = 4;
    h.rate = 192000;
    h.length = 77;
    h.suggestedBufferSize = 7680;
    h.quality = 0x12345678;
    h.sampleSize = 4;
    h.frameRight = -2;
    h.frameBottom = 9;
    const auto strhData = encodeStreamHeader(h);
    EXPECT_EQ(ByteVector(strhData.begin(), strhData.end()), test::strhBytes(fixture));

    test::MainHeader mainFixture;
    AviMainHeader main;
    main.microSecPerFrame = mainFixture.microSecPerFrame;
    main.maxBytesPerSec = mainFixture.maxBytesPerSec;
    main.flags = mainFixture.flags;
    main.totalFrames = 31;
    mainFixture.totalFrames = 31;
    main.streams = mainFixture.streams;
    main.suggestedBufferSize = mainFixture.suggestedBufferSize;
    main.width = mainFixture.width;
    main.height = mainFixture.height;
    const auto avihData = encodeMainHeader(main);
    EXPECT_EQ(ByteVector(avihData.begin(), avihData.end()), test::avihBytes(mainFixture));

    // The patcher writes at these offsets; the format fixes them.
    EXPECT_EQ(strh::kHandler, 4u);
    EXPECT_EQ(strh::kScale, 20u);
    EXPECT_EQ(strh::kRate, 24u);
}

// A chunk shorter than its layout: the fields it holds whole decode, a field cut in the middle and every
// field after it read as zero; nothing is read past the bytes given.
TEST(AviHeadersTest, ShortChunksLeaveTheMissingFieldsZero) {
    const auto strhData = encodeStreamHeader(everyStreamField());
    struct StrhCase {
        std::size_t bytes;
        bool hasHandler;
        bool hasScale;
        bool hasFrameBottom;
    };
    for (const StrhCase c : {StrhCase{0, false, false, false}, StrhCase{7, false, false, false},
                             StrhCase{8, true, false, false}, StrhCase{23, true, false, false},
                             StrhCase{24, true, true, false}, StrhCase{55, true, true, false},
                             StrhCase{56, true, true, true}}) {
        SCOPED_TRACE(c.bytes);
        const AviStreamHeader h = decodeStreamHeader(prefix(strhData, c.bytes));
        EXPECT_EQ(h.handler, c.hasHandler ? FourCC::of("dvsd") : FourCC());
        EXPECT_EQ(h.scale, c.hasScale ? 1001u : 0u);
        EXPECT_EQ(h.rate, c.bytes >= 28 ? 30000u : 0u);
        EXPECT_EQ(h.frameBottom, c.hasFrameBottom ? 480 : 0);
    }

    const auto avihData = encodeMainHeader(everyMainField());
    const AviMainHeader main = decodeMainHeader(prefix(avihData, 39));  // the width whole, the height cut
    EXPECT_EQ(main.width, 720u);
    EXPECT_EQ(main.height, 0u);
    EXPECT_EQ(main.reserved, (std::array<std::uint32_t, 4>{}));

    const auto index = encodeIndexHeader({4, 0, kAviIndexOfIndexes, 2, FourCC::of("00dc"), 0x1122334455667788ull, 0});
    const AviIndexHeader cut = decodeIndexHeader(prefix(index, 19));  // half of the 64-bit base
    EXPECT_EQ(cut.chunkId, FourCC::of("00dc"));
    EXPECT_EQ(cut.baseOffset, 0u);

    EXPECT_EQ(decodeOdmlHeader(ByteVector{1, 2, 3}).totalFrames, 0u);
    EXPECT_EQ(decodeStandardIndexEntry(ByteVector{1, 0, 0, 0, 5}).size, 0u);
}

// The field descriptions of a vprpData chunk are those the data holds whole: a count in the file that says more
// allocates nothing, and a description cut short is not read.
TEST(AviHeadersTest, VideoPropertiesKeepOnlyTheFieldDescriptionsTheChunkHolds) {
    AviVideoProperties claimsMore = twoFieldProperties();
    claimsMore.fieldsPerFrame = 0xFFFFFFFF;
    const std::vector<std::uint8_t> bytes = encodeVideoProperties(claimsMore);
    struct Case {
        std::size_t bytes;
        std::size_t fields;
    };
    for (const Case c : {Case{100, 2}, Case{99, 1}, Case{68, 1}, Case{67, 0}, Case{36, 0}, Case{21, 0}}) {
        SCOPED_TRACE(c.bytes);
        const AviVideoProperties v = decodeVideoProperties(prefix(bytes, c.bytes));
        EXPECT_EQ(v.fields.size(), c.fields);
        EXPECT_EQ(v.aspectX, c.bytes >= 24 ? 16 : 0);
        EXPECT_EQ(v.aspectY, c.bytes >= 24 ? 9 : 0);
    }
    EXPECT_EQ(decodeVideoProperties(encodeVideoProperties(twoFieldProperties())).fields.size(), 2u);
    const std::vector<std::uint8_t> withTwo = encodeVideoProperties(twoFieldProperties());
    std::vector<std::uint8_t> countOne = withTwo;
    putU32le(countOne, vprp::kFieldsPerFrame, 1);
    EXPECT_EQ(decodeVideoProperties(countOne).fields.size(), 1u) << "no more than the count says";
}

// ---- MediaType ----

ByteVector bitmapWithSize(std::uint32_t biSize, std::size_t total) {
    ByteVector bytes = test::bitmapInfoBytes(720, 576, "dvsd");
    putU32le(bytes, 0, biSize);
    bytes.resize(total, 0);
    for (std::size_t i = 40; i < total; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

TEST(MediaTypeTest, ViewsAnswerOnlyForTheirKindAndABlockLongEnough) {
    const FourCC vids = FourCC::of("vids");
    const FourCC auds = FourCC::of("auds");
    const FourCC iavs = FourCC::of("iavs");
    struct Case {
        std::string name;
        MediaType type;
        bool bitmap;
        bool wave;
        std::optional<std::size_t> dvInfoAt;
    };
    const std::vector<Case> cases = {
        {"video 40", MediaType(vids, {}, bitmapWithSize(40, 40)), true, false, {}},
        {"video 39", MediaType(vids, {}, bitmapWithSize(40, 39)), false, false, {}},
        {"video 72: DV block after the header", MediaType(vids, {}, bitmapWithSize(40, 72)), true, false, 40},
        {"video 71", MediaType(vids, {}, bitmapWithSize(40, 71)), true, false, {}},
        {"biSize 44, 76 bytes", MediaType(vids, {}, bitmapWithSize(44, 76)), true, false, 44},
        {"biSize 44, 75 bytes", MediaType(vids, {}, bitmapWithSize(44, 75)), true, false, {}},
        {"biSize 39", MediaType(vids, {}, bitmapWithSize(39, 80)), true, false, {}},
        {"biSize past the block", MediaType(vids, {}, bitmapWithSize(0xFFFFFFF0, 80)), true, false, {}},
        {"sound 16", MediaType(auds, {}, ByteVector(16, 1)), false, true, {}},
        {"sound 15", MediaType(auds, {}, ByteVector(15, 1)), false, false, {}},
        {"sound bytes labelled video", MediaType(vids, {}, test::waveFormatBytes()), false, false, {}},
        {"interleaved 32", MediaType(iavs, {}, test::dvInfoBytes()), false, false, 0},
        {"interleaved 31", MediaType(iavs, {}, ByteVector(31, 1)), false, false, {}},
        {"interleaved 80", MediaType(iavs, {}, bitmapWithSize(40, 80)), false, false, 0},
        {"text", MediaType(FourCC::of("txts"), {}, bitmapWithSize(40, 80)), false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.type.bitmap().has_value(), c.bitmap);
        EXPECT_EQ(c.type.videoInfo().has_value(), c.bitmap);
        EXPECT_EQ(c.type.wave().has_value(), c.wave);
        ASSERT_EQ(c.type.dvInfo().has_value(), c.dvInfoAt.has_value());
        if (c.dvInfoAt) {
            EXPECT_EQ(*c.type.dvInfo(), decodeDvInfo(Bytes(c.type.format()).subspan(*c.dvInfoAt)));
        }
    }
}

TEST(MediaTypeTest, WaveViewReadsCbSizeAndOnlyTheExtraBytesPresent) {
    struct Case {
        std::string name;
        ByteVector block;
        std::uint16_t extraSize;
        ByteVector extra;
    };
    const ByteVector plain = test::waveFormatBytes();
    ByteVector ex = test::waveFormatBytes(1, 22050, 8);
    putU16le(ex, 16, 4);
    const std::vector<Case> cases = {
        {"16 bytes", ByteVector(plain.begin(), plain.begin() + 16), 0, {}},
        {"18 bytes, cbSize 0", test::waveFormatBytes(), 0, {}},
        {"cbSize 4, two bytes present", test::concat({ex, {9, 8}}), 4, {9, 8}},
        {"cbSize 4, six bytes present", test::concat({ex, {9, 8, 7, 6, 5, 4}}), 4, {9, 8, 7, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto wave = WaveFormat::decode(c.block);
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->extraSize, c.extraSize);
        EXPECT_EQ(wave->extra, c.extra);
    }
    const WaveFormat pcm = WaveFormat::pcm(2, 48000, 16);
    for (const bool withExtraSize : {true, false}) {
        const auto bytes = pcm.bytes(withExtraSize);
        EXPECT_EQ(bytes.size(), withExtraSize ? 18u : 16u);
        EXPECT_EQ(WaveFormat::decode(bytes), pcm);
    }
}

TEST(MediaTypeTest, FromStreamHeaderTakesSubtypeAndFrameDurationByKind) {
    AviStreamHeader header;
    header.type = FourCC::of("vids");
    header.handler = FourCC::of("CDVC");
    header.rate = 30000;
    header.scale = 1001;
    const MediaType video = MediaType::fromStreamHeader(header, test::bitmapInfoBytes(720, 480, "dvsd"));
    EXPECT_EQ(video.subtype(), FourCC::of("dvsd")) << "the bitmap header's compression";
    EXPECT_EQ(video.frameDuration(), MediaTime::fromTicks(333667));
    EXPECT_EQ(MediaType::fromStreamHeader(header, ByteVector(12, 0)).subtype(), FourCC::of("CDVC"))
        << "no bitmap header: the handler";
    header.scale = 0;
    EXPECT_EQ(MediaType::fromStreamHeader(header, {}).frameDuration(), MediaTime()) << "no rate";

    header.type = FourCC::of("iavs");
    header.scale = 1;
    header.rate = 25;
    const MediaType interleaved = MediaType::fromStreamHeader(header, test::dvInfoBytes());
    EXPECT_EQ(interleaved.subtype(), FourCC::of("CDVC"));
    EXPECT_EQ(interleaved.frameDuration(), kPalFrameDuration);

    header.type = FourCC::of("auds");
    header.handler = FourCC();
    const MediaType sound = MediaType::fromStreamHeader(header, test::waveFormatBytes());
    EXPECT_EQ(sound.subtype(), kMediaSubtypePcm);
    EXPECT_EQ(sound.frameDuration(), MediaTime());
    EXPECT_EQ(MediaType::fromStreamHeader(header, ByteVector(10, 0)).subtype(), FourCC());
}

TEST(MediaTypeTest, BuildersMakeTheDvAndPcmTypes) {
    struct Case {
        DvSystem system;
        std::int32_t height;
        std::uint32_t frameBytes;
        std::int64_t frameTicks;
    };
    std::array<std::uint8_t, 32> info{};
    for (std::size_t i = 0; i < info.size(); ++i) info[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (const Case c : {Case{DvSystem::Pal625, 576, 144000, 400000}, Case{DvSystem::Ntsc525, 480, 120000, 333667}}) {
        SCOPED_TRACE(c.height);
        const MediaType plain = MediaType::dvVideo(c.system);
        EXPECT_EQ(plain.majorType(), kMediaTypeVideo);
        EXPECT_EQ(plain.subtype(), kMediaSubtypeDvsd);
        EXPECT_EQ(plain.format().size(), 40u);
        const VideoInfo video = plain.videoInfo().value();
        EXPECT_EQ(video.bitmap.width, 720);
        EXPECT_EQ(video.bitmap.height, c.height);
        EXPECT_EQ(video.bitmap.planes, 1);
        EXPECT_EQ(video.bitmap.bitCount, 24);
        EXPECT_EQ(video.bitmap.compression, kMediaSubtypeDvsd);
        EXPECT_EQ(video.bitmap.sizeImage, c.frameBytes);
        EXPECT_EQ(video.frameDuration.ticks(), c.frameTicks);
        EXPECT_EQ(video.bitRate, bitsPerSecond(c.frameBytes, MediaTime::fromTicks(c.frameTicks)));
        EXPECT_FALSE(plain.dvInfo());

        const MediaType withInfo = MediaType::dvVideo(c.system, info);
        EXPECT_EQ(withInfo.format().size(), 72u);
        EXPECT_EQ(withInfo.dvInfo(), decodeDvInfo(info));

        const MediaType type1 = MediaType::interleavedDv(c.system, info);
        EXPECT_EQ(type1.majorType(), kMediaTypeInterleaved);
        EXPECT_EQ(type1.subtype(), kMediaSubtypeDvsd);
        EXPECT_EQ(type1.format(), ByteVector(info.begin(), info.end()));
        EXPECT_EQ(type1.dvInfo()->vauxSrc, 0xB3B2B1B0u) << "the fifth word";
        EXPECT_EQ(type1.frameDuration().ticks(), c.frameTicks);
    }
    EXPECT_EQ(bitsPerSecond(144000, kPalFrameDuration), 28'800'000u);
    EXPECT_THROW(MediaType::dvVideo(DvSystem::Unknown), std::invalid_argument);
    EXPECT_THROW(MediaType::interleavedDv(DvSystem::Unknown, info), std::invalid_argument);

    const MediaType pcm = MediaType::pcm(1, 44100, 16);
    EXPECT_EQ(pcm.majorType(), kMediaTypeAudio);
    EXPECT_EQ(pcm.subtype(), kMediaSubtypePcm);
    const WaveFormat wave = pcm.wave().value();
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.samplesPerSecond, 44100u);
    EXPECT_EQ(wave.blockAlign, 2);
    EXPECT_EQ(wave.averageBytesPerSecond, 88200u);
    EXPECT_EQ(pcm.format().size(), 18u);
}

}  // namespace
}  // namespace moraven
