// The codec module against FFmpeg's own command-line tools: what our decoders make of a stream must be what
// ffmpeg makes of it, and what our encoder writes must read back cleanly in ffprobe.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "pipeline/media_framework.h"
#include "pipeline/media_framework_module.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

const MediaFramework& framework() {
    const MediaFrameworkLoad& load = loadMediaFramework();
    if (load.framework == nullptr) throw std::runtime_error("codec module not loaded: " + load.error);
    return *load.framework;
}

std::vector<std::uint8_t> asBytes(const std::string& text) { return {text.begin(), text.end()}; }

// ffmpeg's decoding of `path` as raw pictures of `pixelFormat`, all frames one after the other.
std::vector<std::uint8_t> ffmpegPictures(const std::string& path, const std::string& inputFormat,
                                         const std::string& pixelFormat) {
    std::vector<std::string> args{"ffmpeg", "-v", "error"};
    if (!inputFormat.empty()) args.insert(args.end(), {"-f", inputFormat});
    args.insert(args.end(), {"-i", path, "-f", "rawvideo", "-pix_fmt", pixelFormat, "-"});
    const test::ProgramResult result = test::runProgram(args);
    if (result.exitCode != 0) throw std::runtime_error("ffmpeg: " + result.errors);
    return asBytes(result.output);
}

// Peak signal-to-noise ratio of two pictures of the same size, in decibels (99 when equal).
double psnr(Bytes a, Bytes b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

// A test picture: a diagonal luma ramp with bars of colour across the chroma planes.
std::vector<std::uint8_t> testPicture(const PictureFormat& format) {
    std::vector<std::uint8_t> picture(pictureBytes(format));
    const auto view = viewPicture(format, std::span<std::uint8_t>(picture));
    for (int plane = 0; plane < 3; ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        for (int y = 0; y < geometry.height; ++y) {
            for (int x = 0; x < geometry.width; ++x) {
                const int value = plane == 0 ? 16 + (x + y) * 219 / (geometry.width + geometry.height)
                                             : 64 + 128 * ((x * 6 / geometry.width + plane) % 2);
                view->planes[static_cast<std::size_t>(plane)][y * view->strides[static_cast<std::size_t>(plane)] + x] =
                    static_cast<std::uint8_t>(value);
            }
        }
    }
    return picture;
}

struct DvCase {
    const char* name;
    DvSystem system;
    bool wide;
    const char* pixelFormat;  // ffmpeg's name of the system's layout
};

class DvRoundTripTest : public ::testing::TestWithParam<DvCase> {};

TEST_P(DvRoundTripTest, EncodesWhatFfprobeReadsAndDecodesAsFfmpegDoes) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const DvCase c = GetParam();
    std::string error;
    auto encoder = framework().createDvVideoEncoder(c.system, c.wide, &error);
    auto decoder = framework().createDvVideoDecoder(&error);
    ASSERT_TRUE(encoder && decoder) << error;

    const PictureFormat format = dvPictureFormat(c.system, c.wide);
    const std::vector<std::uint8_t> original = testPicture(format);
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(encoder->encode(original, frame));
    ASSERT_EQ(frame.size(), c.system == DvSystem::Pal625 ? 144000u : 120000u);
    EXPECT_EQ(DvSystemOf(frame), c.system);
    EXPECT_EQ(DvIs16x9(frame), c.wide);

    std::vector<std::uint8_t> decoded;
    PictureFormat decodedFormat;
    ASSERT_TRUE(decoder->decode(frame, decoded, decodedFormat));
    EXPECT_EQ(decodedFormat, format);
    EXPECT_GT(psnr(decoded, original), 35.0);

    // Two frames in a raw DV file: ffprobe finds nothing to say, and ffmpeg's pictures are ours byte for byte.
    // (The encoder leaves the timecode to whoever writes the frame's other blocks; a raw file needs one.)
    for (int sequence = 0; sequence < 10; ++sequence) DvWriteTimecode(frame, TDvTimecode{1, 2, 3, 4}, sequence);
    test::TempDir folder;
    std::vector<std::uint8_t> twoFrames = frame;
    twoFrames.insert(twoFrames.end(), frame.begin(), frame.end());
    const std::string path = folder.write("two.dv", twoFrames);
    const test::ProgramResult probe =
        test::runProgram({"ffprobe", "-v", "warning", "-show_entries", "stream=display_aspect_ratio", "-of",
                          "csv=p=0", path});
    // A raw DV file has no index: its duration is always estimated, which ffprobe mentions.
    EXPECT_EQ(std::regex_replace(probe.errors, std::regex(".*Estimating duration from bitrate.*\n"), ""), "");
    EXPECT_EQ(probe.output, c.wide ? "16:9\n" : "4:3\n");
    const std::vector<std::uint8_t> theirs = ffmpegPictures(path, "dv", c.pixelFormat);
    ASSERT_EQ(theirs.size(), 2 * decoded.size());
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), theirs.begin()));
}

INSTANTIATE_TEST_SUITE_P(Systems, DvRoundTripTest,
                         ::testing::Values(DvCase{"Pal", DvSystem::Pal625, false, "yuv420p"},
                                           DvCase{"PalWide", DvSystem::Pal625, true, "yuv420p"},
                                           DvCase{"Ntsc", DvSystem::Ntsc525, false, "yuv411p"},
                                           DvCase{"NtscWide", DvSystem::Ntsc525, true, "yuv411p"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(DvCodecTest, DecodesCameraFramesAsFfmpegDoes) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir folder;
    test::DvClipOptions options;
    options.frames = 3;
    const std::string path = test::makeRawDvWithFfmpeg(folder.path().string(), "clip.dv", options);
    const std::vector<std::uint8_t> stream = test::readWholeFile(path);
    const std::vector<std::uint8_t> theirs = ffmpegPictures(path, "dv", "yuv420p");
    auto decoder = framework().createDvVideoDecoder();
    ASSERT_TRUE(decoder);
    std::vector<std::uint8_t> ours;
    for (std::size_t at = 0; at + 144000 <= stream.size(); at += 144000) {
        std::vector<std::uint8_t> picture;
        PictureFormat format;
        ASSERT_TRUE(decoder->decode(Bytes(stream).subspan(at, 144000), picture, format));
        ours.insert(ours.end(), picture.begin(), picture.end());
    }
    EXPECT_EQ(ours, theirs);
}

TEST(DvCodecTest, RefusesWhatIsNotADvFrameOrPicture) {
    auto decoder = framework().createDvVideoDecoder();
    auto encoder = framework().createDvVideoEncoder(DvSystem::Ntsc525, false);
    ASSERT_TRUE(decoder && encoder);
    std::vector<std::uint8_t> picture;
    PictureFormat format;
    EXPECT_FALSE(decoder->decode(std::vector<std::uint8_t>(1000, 0x55), picture, format));
    // Noise of a whole frame's size: whatever the codec makes of it, nothing breaks and a picture, if any,
    // has the size its format says.
    std::vector<std::uint8_t> noise(144000);
    std::uint32_t seed = 12345;
    for (auto& byte : noise) byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
    if (decoder->decode(noise, picture, format)) {
        EXPECT_EQ(picture.size(), pictureBytes(format));
    }

    std::vector<std::uint8_t> frame;
    EXPECT_FALSE(encoder->encode(testPicture(dvPictureFormat(DvSystem::Pal625, false)), frame));
    EXPECT_FALSE(framework().createDvVideoEncoder(DvSystem::Unknown, false));
}

// Splits a stream of concatenated JPEG pictures (as ffmpeg's "mjpeg" muxer writes them) at each start marker.
std::vector<std::vector<std::uint8_t>> splitJpegs(const std::vector<std::uint8_t>& stream) {
    std::vector<std::vector<std::uint8_t>> pictures;
    std::size_t begin = 0;
    for (std::size_t i = 1; i + 2 < stream.size(); ++i) {
        if (stream[i] == 0xFF && stream[i + 1] == 0xD8 && stream[i + 2] == 0xFF && stream[i - 1] == 0xD9) {
            pictures.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(begin),
                                  stream.begin() + static_cast<std::ptrdiff_t>(i));
            begin = i;
        }
    }
    pictures.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(begin), stream.end());
    return pictures;
}

TEST(VideoDecoderTest, DecodesMotionJpegByItsTagWithStartTimes) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir folder;
    const std::string path = folder.file("clip.mjpeg");
    ASSERT_EQ(test::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25",
                                "-frames:v", "4", "-c:v", "mjpeg", "-pix_fmt", "yuvj422p", "-f", "mjpeg", path})
                  .exitCode,
              0);
    const auto jpegs = splitJpegs(test::readWholeFile(path));
    ASSERT_EQ(jpegs.size(), 4u);

    CodecStreamInfo stream;
    stream.codecTag = FourCC::of("MJPG");
    stream.width = 320;
    stream.height = 240;
    stream.bitsPerPixel = 24;
    stream.frameDuration = kPalFrameDuration;
    std::string error;
    auto decoder = framework().createVideoDecoder(stream, &error);
    ASSERT_TRUE(decoder) << error;
    std::vector<std::uint8_t> ours;
    std::vector<MediaTime> starts;
    const auto drain = [&] {
        std::vector<std::uint8_t> picture;
        PictureFormat format;
        MediaTime start;
        while (decoder->receive(picture, format, start)) {
            EXPECT_EQ(format.layout, PixelLayout::Yuv422p);  // full-range 4:2:2 comes out limited-range 4:2:2
            EXPECT_EQ(format.width, 320);
            EXPECT_EQ(format.height, 240);
            ours.insert(ours.end(), picture.begin(), picture.end());
            starts.push_back(start);
        }
    };
    for (std::size_t i = 0; i < jpegs.size(); ++i) {
        EXPECT_TRUE(decoder->send(jpegs[i], MediaTime::fromTicks(static_cast<std::int64_t>(i) * 400'000)));
        drain();
    }
    decoder->sendEnd();
    drain();
    ASSERT_EQ(starts.size(), 4u);
    for (std::size_t i = 0; i < starts.size(); ++i) EXPECT_EQ(starts[i].ticks(), static_cast<std::int64_t>(i) * 400'000);
    const std::vector<std::uint8_t> theirs = ffmpegPictures(path, "mjpeg", "yuv422p");
    EXPECT_GT(psnr(ours, theirs), 40.0);

    stream.codecTag = FourCC::of("QQQQ");
    EXPECT_FALSE(framework().createVideoDecoder(stream, &error));
    EXPECT_NE(error.find("\"QQQQ\""), std::string::npos) << error;
}

std::vector<std::int16_t> samplesOf(const std::vector<std::uint8_t>& pcm) {
    std::vector<std::int16_t> samples(pcm.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(u16le(pcm, 2 * i));
    return samples;
}

TEST(AudioDecoderTest, BringsPcmOfOtherDepthsTo16Bits) {
    struct Case {
        int bits;
        std::vector<std::uint8_t> packet;  // two stereo sample frames
        std::vector<std::int16_t> expected;
    };
    const std::vector<Case> cases{
        {8, {0x80, 0xFF, 0x00, 0xC0}, {0, 32512, -32768, 16384}},
        {24, {0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0, 0, 0, 0xFF, 0xFF, 0x7F}, {0x1234, -32768, 0, 32767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        CodecStreamInfo stream;
        stream.video = false;
        stream.codecTag = FourCC(1);
        stream.channels = 2;
        stream.samplesPerSecond = 48000;
        stream.bitsPerSample = c.bits;
        stream.blockAlign = 2 * c.bits / 8;
        stream.averageBytesPerSecond = static_cast<std::uint32_t>(48000 * stream.blockAlign);
        std::string error;
        auto decoder = framework().createAudioDecoder(stream, &error);
        ASSERT_TRUE(decoder) << error;
        ASSERT_TRUE(decoder->send(c.packet, MediaTime()));
        decoder->sendEnd();
        std::vector<std::uint8_t> pcm;
        PcmFormat format;
        ASSERT_TRUE(decoder->receive(pcm, format));
        EXPECT_EQ(format, (PcmFormat{2, 48000}));
        EXPECT_EQ(samplesOf(pcm), c.expected);
    }
}

TEST(AudioDecoderTest, DecodesMp3CutAnywhereAsFfmpegDoes) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir folder;
    const std::string path = folder.file("tone.mp3");
    const test::ProgramResult made =
        test::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=1000:duration=1", "-ac", "2",
                          "-ar", "44100", "-c:a", "libmp3lame", "-id3v2_version", "0", "-write_xing", "0", path});
    if (made.exitCode != 0) GTEST_SKIP() << "this ffmpeg cannot encode MP3: " << made.errors;
    const std::vector<std::uint8_t> stream = test::readWholeFile(path);

    CodecStreamInfo info;
    info.video = false;
    info.codecTag = FourCC(0x55);
    info.channels = 2;
    info.samplesPerSecond = 44100;
    auto decoder = framework().createAudioDecoder(info);
    ASSERT_TRUE(decoder);
    std::vector<std::int16_t> ours;
    const auto drain = [&] {
        std::vector<std::uint8_t> pcm;
        PcmFormat format;
        while (decoder->receive(pcm, format)) {
            EXPECT_EQ(format, (PcmFormat{2, 44100}));
            const auto samples = samplesOf(pcm);
            ours.insert(ours.end(), samples.begin(), samples.end());
        }
    };
    // Chunks of 1000 bytes, which cut the MP3 frames at arbitrary points, as AVI files may.
    for (std::size_t at = 0; at < stream.size(); at += 1000) {
        decoder->send(Bytes(stream).subspan(at, std::min<std::size_t>(1000, stream.size() - at)), MediaTime());
        drain();
    }
    decoder->sendEnd();
    drain();
    const std::vector<std::int16_t> theirs = test::decodeSoundWithFfmpeg(path);
    ASSERT_GT(theirs.size(), 80000u);
    // The same decoder: the same samples, give or take the priming frames the demuxer trims.
    ASSERT_GE(ours.size(), theirs.size());
    const std::size_t shift = ours.size() - theirs.size();
    std::size_t different = 0;
    for (std::size_t i = 0; i < theirs.size(); ++i) different += std::abs(ours[i + shift] - theirs[i]) > 1 ? 1 : 0;
    EXPECT_LT(different, theirs.size() / 100) << "shift " << shift;
}

// ffmpeg's BGR24 conversion of raw pictures of `pixelFormat` at `width` × `height`, written to `path` first.
std::vector<std::uint8_t> ffmpegBgr(const std::string& path, Bytes pictures, const char* pixelFormat, int width,
                                    int height) {
    test::writeWholeFile(path, {pictures.begin(), pictures.end()});
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const test::ProgramResult result =
        test::runProgram({"ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", pixelFormat, "-s", size, "-i", path,
                          "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    if (result.exitCode != 0) throw std::runtime_error("ffmpeg: " + result.errors);
    return asBytes(result.output);
}

TEST(BgrConverterTest, ConvertsEveryLayoutAsFfmpegDoesAtTheSameSize) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        PixelLayout layout;
        const char* pixelFormat;
        int width;
        int height;
    };
    // DV's own sizes, and odd ones whose chroma rounds up.
    const std::vector<Case> cases{
        {PixelLayout::Yuv420p, "yuv420p", 720, 576}, {PixelLayout::Yuv411p, "yuv411p", 720, 480},
        {PixelLayout::Yuv422p, "yuv422p", 320, 240}, {PixelLayout::Yuv420p, "yuv420p", 178, 102},
        {PixelLayout::Yuv422p, "yuv422p", 94, 61},
    };
    test::TempDir dir;
    const auto converter = framework().createBgrConverter();
    ASSERT_NE(converter, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixelFormat + std::string(" ") + std::to_string(c.width) + "x" + std::to_string(c.height));
        PictureFormat format;
        format.layout = c.layout;
        format.width = c.width;
        format.height = c.height;
        const std::vector<std::uint8_t> picture = testPicture(format);
        std::vector<std::uint8_t> ours;
        ASSERT_TRUE(converter->convert(format, picture, ours));
        ASSERT_EQ(ours.size(), static_cast<std::size_t>(c.width) * 3 * static_cast<std::size_t>(c.height));
        const std::vector<std::uint8_t> theirs = ffmpegBgr(dir.file("in.yuv"), picture, c.pixelFormat, c.width, c.height);
        EXPECT_GE(psnr(ours, theirs), 45.0);
    }
}

TEST(BgrConverterTest, PassesBgrThroughAndRefusesShortOrEmptyPictures) {
    const auto converter = framework().createBgrConverter();
    ASSERT_NE(converter, nullptr);
    PictureFormat bgr;
    bgr.layout = PixelLayout::Bgr24;
    bgr.width = 5;
    bgr.height = 3;
    std::vector<std::uint8_t> picture(pictureBytes(bgr));
    std::iota(picture.begin(), picture.end(), std::uint8_t{7});
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(converter->convert(bgr, picture, out));
    EXPECT_EQ(out, picture);

    PictureFormat yuv;
    yuv.width = 16;
    yuv.height = 16;
    const std::vector<std::uint8_t> tooShort(pictureBytes(yuv) - 1, 16);
    EXPECT_FALSE(converter->convert(yuv, tooShort, out));
    EXPECT_FALSE(converter->convert(PictureFormat{}, tooShort, out));
}

// A picture of one flat grey level, at a size and shape.
std::vector<std::uint8_t> greyPicture(const PictureFormat& format, std::uint8_t level) {
    std::vector<std::uint8_t> picture(pictureBytes(format), 128);
    std::fill_n(picture.begin(), planeGeometry(format, 0).bytes(), level);
    return picture;
}

TEST(PictureConformerTest, RetimesByStartTimesToTheTargetRate) {
    struct Case {
        std::int64_t inputInterval;  // ticks between input pictures
        int inputs;
        DvSystem target;
        int expectedOutputs;
    };
    const std::vector<Case> cases{
        {400'000, 10, DvSystem::Pal625, 10},        // same rate: one for one
        {333'667, 30, DvSystem::Pal625, 25},        // 29.97 -> 25 drops
        {166'833, 60, DvSystem::Pal625, 25},        // 59.94 -> 25
        {400'000, 25, DvSystem::Ntsc525, 30},       // 25 -> 29.97 repeats
        {1'000'000, 3, DvSystem::Pal625, 7},        // 10 a second: each shown 2 or 3 times, 0.3 s in 7
    };
    PictureFormat source;
    source.layout = PixelLayout::Yuv420p;
    source.width = 320;
    source.height = 240;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputInterval);
        const PictureFormat target = dvPictureFormat(c.target, false);
        auto conformer = framework().createPictureConformer(target);
        ASSERT_TRUE(conformer);
        std::vector<int> levels;  // the input each output shows, by its grey level
        std::vector<MediaTime> starts;
        const auto drain = [&] {
            std::vector<std::uint8_t> picture;
            MediaTime start;
            while (conformer->pull(picture, start)) {
                ASSERT_EQ(picture.size(), pictureBytes(target));
                levels.push_back(picture[static_cast<std::size_t>(target.width) * 288 + 360]);
                starts.push_back(start);
            }
        };
        const MediaTime first = MediaTime::fromTicks(5'000'000);
        for (int i = 0; i < c.inputs; ++i) {
            ASSERT_TRUE(conformer->push(source, greyPicture(source, static_cast<std::uint8_t>(20 + 3 * i)),
                                        first + MediaTime::fromTicks(i * c.inputInterval)));
            drain();
        }
        conformer->pushEnd();
        drain();
        ASSERT_EQ(static_cast<int>(levels.size()), c.expectedOutputs);
        for (std::size_t k = 0; k < starts.size(); ++k) {
            const MediaTime at = first + MediaTime::fromTicks(static_cast<std::int64_t>(k) * target.frameDuration.ticks());
            EXPECT_EQ(starts[k], at);
            // The input nearest in time to the output's start.
            const auto nearest = static_cast<int>(std::lround(static_cast<double>((at - first).ticks()) / static_cast<double>(c.inputInterval)));
            EXPECT_NEAR(levels[k], 20 + 3 * std::min(nearest, c.inputs - 1), 1) << "output " << k;
        }
    }
}

TEST(PictureConformerTest, FitsOtherShapesBetweenBlackBars) {
    struct Case {
        int width;
        int height;
        std::uint32_t aspectX;
        std::uint32_t aspectY;
        bool wideTarget;
        bool barsAbove;   // letterbox: black rows at the top
        bool barsBeside;  // pillarbox: black columns at the left
    };
    const std::vector<Case> cases{
        {640, 480, 0, 0, false, false, false},  // square 4:3 fills a 4:3 target
        {640, 360, 0, 0, false, true, false},   // 16:9 in 4:3
        {480, 480, 0, 0, true, false, true},    // square in 16:9
        {720, 576, 16, 9, true, false, false},  // anamorphic 16:9 fills a 16:9 target
        {720, 576, 16, 9, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        PictureFormat source;
        source.layout = PixelLayout::Yuv422p;
        source.width = c.width;
        source.height = c.height;
        source.aspectX = c.aspectX;
        source.aspectY = c.aspectY;
        const PictureFormat target = dvPictureFormat(DvSystem::Ntsc525, c.wideTarget);
        auto conformer = framework().createPictureConformer(target);
        ASSERT_TRUE(conformer);
        ASSERT_TRUE(conformer->push(source, greyPicture(source, 200), MediaTime()));
        conformer->pushEnd();
        std::vector<std::uint8_t> picture;
        MediaTime start;
        ASSERT_TRUE(conformer->pull(picture, start));
        const auto luma = [&](int x, int y) { return picture[static_cast<std::size_t>(y) * 720 + static_cast<std::size_t>(x)]; };
        EXPECT_NEAR(luma(360, 240), 200, 2);
        EXPECT_EQ(luma(360, 2) == 16, c.barsAbove);
        EXPECT_EQ(luma(360, 477) == 16, c.barsAbove);
        EXPECT_EQ(luma(2, 240) == 16, c.barsBeside);
        EXPECT_EQ(luma(717, 240) == 16, c.barsBeside);
        const std::size_t chroma = 720 * 480;
        EXPECT_EQ(picture[chroma + 2 * 180 + 90], 128);  // grey stays without colour
    }
}

// Interlaced pictures whose two fields differ (motion between them) changing height: what comes out shows
// no combs, the lines of one moment only.
TEST(PictureConformerTest, InterlacedPicturesChangingHeightLoseTheirCombs) {
    PictureFormat source = dvPictureFormat(DvSystem::Ntsc525, false);
    auto conformer = framework().createPictureConformer(dvPictureFormat(DvSystem::Pal625, false));
    ASSERT_TRUE(conformer);
    std::vector<std::vector<std::uint8_t>> outputs;
    const auto drain = [&] {
        std::vector<std::uint8_t> picture;
        MediaTime start;
        while (conformer->pull(picture, start)) outputs.push_back(picture);
    };
    for (int i = 0; i < 8; ++i) {
        std::vector<std::uint8_t> picture(pictureBytes(source), 128);
        for (int y = 0; y < source.height; ++y) {
            const int level = 40 + 20 * i + (y % 2 == 1 ? 0 : 40);  // the top field half a frame later, brighter
            std::fill_n(picture.begin() + static_cast<std::ptrdiff_t>(y) * source.width, source.width,
                        static_cast<std::uint8_t>(level));
        }
        ASSERT_TRUE(conformer->push(source, picture, MediaTime::fromTicks(i * kNtscFrameDuration.ticks())));
        drain();
    }
    conformer->pushEnd();
    drain();
    ASSERT_GE(outputs.size(), 6u);
    for (std::size_t k = 1; k + 1 < outputs.size(); ++k) {
        double step = 0;  // mean difference between neighbouring lines in the middle of the picture
        for (int y = 200; y < 376; ++y) step += std::abs(outputs[k][static_cast<std::size_t>(y) * 720 + 360] -
                                                         outputs[k][static_cast<std::size_t>(y + 1) * 720 + 360]);
        EXPECT_LT(step / 176, 3.0) << "output " << k;
    }
}

TEST(ResamplerTest, ChangesRateAndChannelsKeepingTheTone) {
    std::string error;
    auto resampler = framework().createResampler({1, 48000}, {2, 32000}, &error);
    ASSERT_TRUE(resampler) << error;
    std::vector<std::uint8_t> input(48000 * 2);
    for (int i = 0; i < 48000; ++i)
        putU16le(input, static_cast<std::size_t>(2 * i),
                 static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * 1000 * i / 48000.0)))));
    std::vector<std::uint8_t> output;
    ASSERT_TRUE(resampler->convert(input, output));
    resampler->flush(output);
    const auto samples = samplesOf(output);
    ASSERT_NEAR(static_cast<double>(samples.size()) / 2, 32000, 40);
    int crossings = 0;
    for (std::size_t i = 2; i < samples.size(); i += 2) {
        EXPECT_EQ(samples[i], samples[i + 1]);  // both channels carry the one input, at its level
        crossings += (samples[i - 2] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    EXPECT_NEAR(crossings, 2000, 4);
    EXPECT_NEAR(*std::max_element(samples.begin(), samples.end()), 8000, 80);
    EXPECT_FALSE(resampler->convert(Bytes(input).first(3), output));  // not whole sample frames
    EXPECT_FALSE(framework().createResampler({0, 48000}, {2, 32000}));
}

}  // namespace
}  // namespace moraven
