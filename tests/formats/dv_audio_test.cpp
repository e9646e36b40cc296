// The sound inside DV frames: the 12-bit curve, the samples per frame, our writer read back by our reader,
// the hostile shapes of the packs and buffers, and both directions checked against ffmpeg's DV muxer and
// demuxer, an independent reader and writer of the same blocks.
#include "formats/dv_audio.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "formats/dvcodes.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::DvFrameBuilder;

std::size_t frameBytesOf(DvSystem system) {
    return system == DvSystem::Ntsc525 ? kDvNtscFrameBytes : kDvPalFrameBytes;
}

// A small deterministic generator, so that a failing case shows the same bytes every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    std::uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    std::int16_t sample() { return static_cast<std::int16_t>(next()); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 24); }

private:
    std::uint32_t m_state;
};

std::vector<std::int16_t> noisePcm(std::uint32_t seed, std::size_t values) {
    Noise noise(seed);
    std::vector<std::int16_t> pcm(values);
    for (auto& v : pcm) v = noise.sample();
    return pcm;
}

// The smallest and largest samples per frame DV allows, per system and rate.
struct RateCase {
    DvSystem system;
    std::uint32_t rate;
    std::uint32_t least;
    std::uint32_t most;
};
const RateCase kRateCases[] = {
    {DvSystem::Pal625, 48000, 1896, 1944},  {DvSystem::Pal625, 44100, 1742, 1786},
    {DvSystem::Pal625, 32000, 1264, 1296},  {DvSystem::Ntsc525, 48000, 1580, 1620},
    {DvSystem::Ntsc525, 44100, 1452, 1489}, {DvSystem::Ntsc525, 32000, 1053, 1080},
};

std::string rateCaseName(const ::testing::TestParamInfo<RateCase>& info) {
    return std::string(info.param.system == DvSystem::Pal625 ? "Pal" : "Ntsc") +
           std::to_string(info.param.rate);
}

// ---- the 12-bit curve
// --------------------------------------------------------------------------------------

TEST(DvAudio12Bit, CompressInvertsExpandForEveryCodeButTheErrorMarker) {
    for (std::uint16_t code = 0; code < 0x1000; ++code) {
        if (code == 0x800) continue;
        EXPECT_EQ(DvCompress12(DvExpand12(code)), code) << "code " << code;
    }
    // The loudest negative samples land on 0x801: 0x800 would read back as a lost sample.
    EXPECT_EQ(DvCompress12(std::numeric_limits<std::int16_t>::min()), 0x801);
    EXPECT_EQ(DvCompress12(DvExpand12(0x800)), 0x801);
}

TEST(DvAudio12Bit, ExpandRisesWithTheSignedCodeAndKeepsItsSegments) {
    // Over the codes in signed order (0x800 ... 0xFFF, 0x000 ... 0x7FF) the curve rises strictly.
    int previous = std::numeric_limits<int>::min();
    for (int signedCode = -2048; signedCode < 2048; ++signedCode) {
        const int value = DvExpand12(static_cast<std::uint16_t>(signedCode & 0xFFF));
        EXPECT_GT(value, previous) << "code " << signedCode;
        previous = value;
    }
    struct Point {
        std::uint16_t code;
        std::int16_t value;
    };
    const Point points[] = {
        {0x000, 0},      {0x1FF, 511},    {0x200, 512},    {0x2FF, 1022}, {0x300, 1024},
        {0x7FF, 32704},  {0xFFF, -1},     {0xE00, -512},   {0xDFF, -513}, {0xD00, -1023},
        {0x801, -32641}, {0x800, -32705}, {0xF7FF, 32704},  // only the low 12 bits count
    };
    for (const auto& p : points) EXPECT_EQ(DvExpand12(p.code), p.value) << "code " << p.code;
    // A value between two steps goes to the lower one.
    EXPECT_EQ(DvCompress12(1025), 0x300);
    EXPECT_EQ(DvCompress12(1023), 0x2FF);
    EXPECT_EQ(DvCompress12(32767), 0x7FF);
}

// ---- samples per frame
// -------------------------------------------------------------------------------------

TEST(DvAudioSamplesPerFrame, FixedCountsAndTheLockedNtscPattern) {
    struct Case {
        DvSystem system;
        std::uint32_t rate;
        std::uint64_t frame;
        std::uint32_t samples;
    };
    const Case cases[] = {
        {DvSystem::Pal625, 48000, 0, 1920},
        {DvSystem::Pal625, 48000, 12345, 1920},
        {DvSystem::Pal625, 44100, 7, 1764},
        {DvSystem::Pal625, 32000, 3, 1280},
        {DvSystem::Ntsc525, 48000, 0, 1600},
        {DvSystem::Ntsc525, 48000, 1, 1602},
        {DvSystem::Ntsc525, 48000, 4, 1602},
        {DvSystem::Ntsc525, 48000, 5, 1600},
        {DvSystem::Ntsc525, 48000, 1000000000000005ull, 1600},
        {DvSystem::Unknown, 48000, 0, 0},
        {DvSystem::Pal625, 22050, 0, 0},
        {DvSystem::Ntsc525, 96000, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DvAudioSamplesPerFrame(c.system, c.rate, c.frame), c.samples)
            << c.rate << " Hz, frame " << c.frame;
    }
}

TEST(DvAudioSamplesPerFrame, NtscRunningTotalStaysWithinOneSampleOfTheExactRate) {
    for (const std::uint32_t rate : {48000u, 44100u, 32000u}) {
        const RateCase limits =
            *std::find_if(std::begin(kRateCases), std::end(kRateCases),
                          [&](const RateCase& c) { return c.system == DvSystem::Ntsc525 && c.rate == rate; });
        std::uint64_t total = 0;
        for (std::uint64_t n = 0; n < 3000; ++n) {
            const std::uint32_t count = DvAudioSamplesPerFrame(DvSystem::Ntsc525, rate, n);
            ASSERT_GE(count, limits.least);
            ASSERT_LE(count, limits.most);
            total += count;
            // exact = (n + 1) × rate × 1001 / 30000; compare in units of 1 / 30000 sample.
            const std::int64_t exact = static_cast<std::int64_t>((n + 1) * rate * 1001);
            const std::int64_t drift = static_cast<std::int64_t>(total) * 30000 - exact;
            // The SMPTE pattern at 48 kHz starts 1.6 samples short and comes back every fifth frame.
            const std::int64_t allowed = rate == 48000 ? 2 * 30000 : 30000;
            ASSERT_LT(drift < 0 ? -drift : drift, allowed) << rate << " Hz, frame " << n;
        }
        // Far into a stream the counts keep their range (no overflow of the running product).
        const std::uint32_t late = DvAudioSamplesPerFrame(DvSystem::Ntsc525, rate, ~0ull - 3);
        EXPECT_GE(late, limits.least);
        EXPECT_LE(late, limits.most);
    }
}

// ---- our writer, our reader
// --------------------------------------------------------------------------------

class DvAudioRoundTrip : public ::testing::TestWithParam<RateCase> {};

TEST_P(DvAudioRoundTrip, WhatTheWriterStoresReadsBackSampleForSample) {
    const RateCase c = GetParam();
    for (const std::uint32_t count : {c.least, DvAudioSamplesPerFrame(c.system, c.rate, 1), c.most}) {
        auto frame = DvFrameBuilder(c.system).bytes();
        auto pcm = noisePcm(count, 2 * static_cast<std::size_t>(count));
        pcm[0] = std::numeric_limits<std::int16_t>::min();  // stored one step quieter
        ASSERT_TRUE(DvWriteAudio(frame, c.system, c.rate, pcm, count));

        const auto read = DvReadAudio(frame);
        ASSERT_TRUE(read.has_value()) << count;
        EXPECT_EQ(read->format,
                  (DvAudioFormat{c.rate, DvSampleQuantization::Linear16, c.system, count, true, 1}));
        pcm[0] = -32767;
        EXPECT_EQ(read->firstPair, pcm) << count;
        EXPECT_TRUE(read->secondPair.empty());
    }
}

TEST_P(DvAudioRoundTrip, ShortSoundIsPaddedWithSilenceAndOldSoundCleared) {
    const RateCase c = GetParam();
    auto frame = DvFrameBuilder(c.system).bytes();
    ASSERT_TRUE(DvWriteAudio(frame, c.system, c.rate, noisePcm(1, 2 * c.most), c.most));
    const auto pcm = noisePcm(2, 101);  // 50 whole sample frames and a lone left sample
    ASSERT_TRUE(DvWriteAudio(frame, c.system, c.rate, pcm, c.least));

    const auto read = DvReadAudio(frame);
    ASSERT_TRUE(read.has_value());
    std::vector<std::int16_t> expected(2 * static_cast<std::size_t>(c.least), 0);
    std::copy(pcm.begin(), pcm.end(), expected.begin());
    EXPECT_EQ(read->firstPair, expected);
    // The places past the count were cleared too: a longer count now reads silence there.
    frame = DvFrameBuilder(c.system).bytes();
    ASSERT_TRUE(DvWriteAudio(frame, c.system, c.rate, noisePcm(1, 2 * c.most), c.most));
    ASSERT_TRUE(DvWriteAudio(frame, c.system, c.rate, {}, c.least));
    frame[DvFrameBuilder::audioBlockAt(0, 3) + 4] = static_cast<std::uint8_t>(0x40 | (c.most - c.least));
    const auto longer = DvReadAudio(frame);
    ASSERT_TRUE(longer.has_value());
    EXPECT_EQ(longer->firstPair, std::vector<std::int16_t>(2 * static_cast<std::size_t>(c.most), 0));
}

INSTANTIATE_TEST_SUITE_P(Rates, DvAudioRoundTrip, ::testing::ValuesIn(kRateCases), rateCaseName);

// Every byte of the frame other than the audio blocks' samples and their source and source-control pack
// slots stays as it was: header, subcode, VAUX, video blocks and the other AAUX packs.
TEST(DvAudioWriter, TouchesNothingButSamplesAndItsTwoPacks) {
    for (const DvSystem system : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        std::vector<std::uint8_t> frame(frameBytesOf(system));
        Noise noise(7);
        for (auto& b : frame) b = noise.byte();
        const auto before = frame;
        const std::uint32_t count = DvAudioSamplesPerFrame(system, 48000, 0);
        ASSERT_TRUE(
            DvWriteAudio(frame, system, 48000, noisePcm(3, 2 * static_cast<std::size_t>(count)), count));

        std::vector<bool> mayChange(frame.size(), false);
        const int sequences = system == DvSystem::Pal625 ? 12 : 10;
        for (int s = 0; s < sequences; ++s) {
            for (int b = 0; b < 9; ++b) {
                const std::size_t block = DvFrameBuilder::audioBlockAt(s, b);
                for (std::size_t i = 8; i < 80; ++i) mayChange[block + i] = true;
                const bool packSlot = s % 2 == 0 ? (b == 3 || b == 4) : (b == 0 || b == 1);
                if (packSlot) {
                    for (std::size_t i = 3; i < 8; ++i) mayChange[block + i] = true;
                }
            }
        }
        std::size_t changedOutside = 0;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            if (!mayChange[i] && frame[i] != before[i]) ++changedOutside;
        }
        EXPECT_EQ(changedOutside, 0u);
        // The packs went where ffmpeg and cameras look for them.
        EXPECT_EQ(frame[DvFrameBuilder::audioBlockAt(0, 3) + 3], 0x50);
        EXPECT_EQ(frame[DvFrameBuilder::audioBlockAt(0, 4) + 3], 0x51);
        EXPECT_EQ(frame[DvFrameBuilder::audioBlockAt(1, 0) + 3], 0x50);
        EXPECT_EQ(frame[DvFrameBuilder::audioBlockAt(sequences - 1, 1) + 3], 0x51);
    }
}

TEST(DvAudioWriter, RefusesWhatItCannotWriteAndLeavesTheFrameAlone) {
    struct Case {
        const char* what;
        DvSystem system;
        std::size_t frameBytes;
        std::uint32_t rate;
        std::size_t values;
        std::uint32_t count;
    };
    const Case cases[] = {
        {"unknown system", DvSystem::Unknown, kDvPalFrameBytes, 48000, 3840, 1920},
        {"PAL frame one byte short", DvSystem::Pal625, kDvPalFrameBytes - 1, 48000, 3840, 1920},
        {"NTSC frame one byte short", DvSystem::Ntsc525, kDvNtscFrameBytes - 1, 48000, 3200, 1600},
        {"PAL shape asked of an NTSC-sized buffer", DvSystem::Pal625, kDvNtscFrameBytes, 48000, 3840, 1920},
        {"rate DV has not", DvSystem::Pal625, kDvPalFrameBytes, 22050, 1764, 882},
        {"count below the least", DvSystem::Pal625, kDvPalFrameBytes, 48000, 3790, 1895},
        {"count above the most", DvSystem::Pal625, kDvPalFrameBytes, 48000, 3890, 1945},
        {"NTSC 44.1 kHz count above the most", DvSystem::Ntsc525, kDvNtscFrameBytes, 44100, 2980, 1490},
        {"more samples than the count", DvSystem::Pal625, kDvPalFrameBytes, 48000, 3842, 1920},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> frame(c.frameBytes, 0x5A);
        const auto before = frame;
        EXPECT_FALSE(DvWriteAudio(frame, c.system, c.rate, noisePcm(1, c.values), c.count)) << c.what;
        EXPECT_EQ(frame, before) << c.what;
    }
}

// ---- hostile packs and buffers
// -----------------------------------------------------------------------------

// A frame from the builder with our sound written in, so that only the case's change can make it unreadable.
std::vector<std::uint8_t> soundFrame(DvSystem system, std::uint32_t rate = 48000) {
    auto frame = DvFrameBuilder(system).bytes();
    const std::uint32_t count = DvAudioSamplesPerFrame(system, rate, 0);
    EXPECT_TRUE(DvWriteAudio(frame, system, rate, noisePcm(5, 2 * static_cast<std::size_t>(count)), count));
    return frame;
}

// Sets byte `index` (1..4) of every source pack the writer placed.
void setSourcePackByte(std::vector<std::uint8_t>& frame, int sequences, std::size_t index,
                       std::uint8_t value) {
    for (int s = 0; s < sequences; ++s)
        frame[DvFrameBuilder::audioBlockAt(s, s % 2 == 0 ? 3 : 0) + 3 + index] = value;
}

TEST(DvAudioReader, BrokenPacksGiveNoSound) {
    struct Case {
        const char* what;
        DvSystem system;
        std::size_t byte;  // which source pack byte to set
        std::uint8_t value;
    };
    const Case cases[] = {
        {"reserved rate code 3", DvSystem::Pal625, 4, 0x98},
        {"reserved rate code 7", DvSystem::Ntsc525, 4, 0xB8},
        {"quantisation code 2", DvSystem::Pal625, 4, 0x82},
        {"12 bits at 48 kHz", DvSystem::Pal625, 4, 0x81},
        {"12 bits at 44.1 kHz", DvSystem::Ntsc525, 4, 0x89},
        {"PAL 48 kHz AF_SIZE 49: 1945 samples", DvSystem::Pal625, 1, 0x40 | 49},
        {"PAL 48 kHz AF_SIZE 63", DvSystem::Pal625, 1, 0x7F},
        {"NTSC 48 kHz AF_SIZE 41: 1621 samples", DvSystem::Ntsc525, 1, 0x40 | 41},
        {"pack says 50 fields in an NTSC frame", DvSystem::Ntsc525, 3, 0xE0},
        {"pack says 60 fields in a PAL frame", DvSystem::Pal625, 3, 0xC0},
    };
    for (const auto& c : cases) {
        auto frame = soundFrame(c.system);
        ASSERT_TRUE(DvReadAudio(frame).has_value()) << c.what;
        setSourcePackByte(frame, c.system == DvSystem::Pal625 ? 12 : 10, c.byte, c.value);
        EXPECT_FALSE(DvReadAudioFormat(frame).has_value()) << c.what;
        EXPECT_FALSE(DvReadAudio(frame).has_value()) << c.what;
    }
    // The largest counts DV allows still read.
    auto most = soundFrame(DvSystem::Pal625);
    setSourcePackByte(most, 12, 1, 0x40 | 48);
    ASSERT_TRUE(DvReadAudio(most).has_value());
    EXPECT_EQ(DvReadAudio(most)->firstPair.size(), 2u * 1944);
}

TEST(DvAudioReader, FindsTheSourcePackInALaterSequenceAndNothingWithoutOne) {
    const auto silent = DvFrameBuilder(DvSystem::Pal625).recDate(0, 2004, 7, 15, 13, 5, 9).bytes();
    EXPECT_FALSE(DvReadAudioFormat(silent).has_value());
    EXPECT_FALSE(DvReadAudio(silent).has_value());

    // Only sequence 5's copy (audio block 0 of an odd sequence) is left.
    auto frame = soundFrame(DvSystem::Pal625, 44100);
    for (int s = 0; s < 12; ++s) {
        if (s != 5) frame[DvFrameBuilder::audioBlockAt(s, s % 2 == 0 ? 3 : 0) + 3] = 0xFF;
    }
    const auto format = DvReadAudioFormat(frame);
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->sampleRate, 44100u);
    EXPECT_EQ(format->samplesInFrame, 1764u);

    // A header that names no system gives no sound either: the frame's shape is unknown.
    auto noSystem = soundFrame(DvSystem::Pal625);
    noSystem[3] = 0x00;
    EXPECT_FALSE(DvReadAudio(noSystem).has_value());
}

TEST(DvAudioReader, ABufferShorterThanItsSystemGivesNothing) {
    for (const DvSystem system : {DvSystem::Pal625, DvSystem::Ntsc525}) {
        const auto whole = soundFrame(system);
        const std::size_t size = whole.size();
        struct Length {
            std::size_t bytes;
            bool readable;
        };
        const Length lengths[] = {{0, false},
                                  {kDvMinFrameBytes - 1, false},
                                  {kDvMinFrameBytes, system == DvSystem::Ntsc525},
                                  {size - 80, false},
                                  {size - 1, false},
                                  {size, true},
                                  {size + 1, true}};
        for (const auto& l : lengths) {
            // A buffer of exactly that size on the heap, so that a read past its end is caught by the
            // sanitizers.
            std::vector<std::uint8_t> buffer(
                whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(std::min(l.bytes, size)));
            buffer.resize(l.bytes, 0);
            EXPECT_EQ(DvReadAudioFormat(buffer).has_value(), l.readable) << l.bytes;
            EXPECT_EQ(DvReadAudio(buffer).has_value(), l.readable) << l.bytes;
        }
    }
}

TEST(DvAudioReader, SamplesMarkedAsErrorsGiveSilence) {
    // 16 bits: the first sample of audio block 0 of sequence 0 is the left channel's sample 0, and the same
    // place in the second half's first sequence is the right channel's.
    auto frame = soundFrame(DvSystem::Pal625);
    const auto clean = DvReadAudio(frame)->firstPair;
    ASSERT_NE(clean[0], 0);
    ASSERT_NE(clean[1], 0);
    for (const int s : {0, 6}) {
        frame[DvFrameBuilder::audioBlockAt(s, 0) + 8] = 0x80;
        frame[DvFrameBuilder::audioBlockAt(s, 0) + 9] = 0x00;
    }
    auto expected = clean;
    expected[0] = expected[1] = 0;
    EXPECT_EQ(DvReadAudio(frame)->firstPair, expected);

    // 12 bits: code 0x800 in either channel of a group reads as silence, its neighbour as its code says.
    // LF 1, AF_SIZE 16 (1280 samples); CHN 1; 50 fields; 32 kHz, 12 bits.
    auto twelve = DvFrameBuilder(DvSystem::Pal625).audioPack(0, 3, {0x50, 0xD0, 0x20, 0xE0, 0x91}).bytes();
    const std::size_t group = DvFrameBuilder::audioBlockAt(0, 0) + 8;
    twelve[group] = 0x80;      // left high bits
    twelve[group + 1] = 0x7F;  // right high bits
    twelve[group + 2] = 0x0F;  // left low nibble 0, right low nibble F: left 0x800, right 0x7FF
    const auto read = DvReadAudio(twelve);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->firstPair[0], 0);
    EXPECT_EQ(read->firstPair[1], 32704);
}

TEST(DvAudioReader, TwelveBitFourChannelSoundFillsBothPairs) {
    // Sample 0 of each pair sits in the first group of audio block 0 of the first sequence of its half.
    auto frame = DvFrameBuilder(DvSystem::Ntsc525).audioPack(0, 3, {0x50, 0xCE, 0x20, 0xC0, 0x91}).bytes();
    const std::size_t first = DvFrameBuilder::audioBlockAt(0, 0) + 8;
    const std::size_t second = DvFrameBuilder::audioBlockAt(5, 0) + 8;
    // Codes 0x7FF and 0x801 in the first pair, 0x123 and 0xFFF in the second.
    for (const auto& [at, bytes] : {std::pair{first, std::array<std::uint8_t, 3>{0x7F, 0x80, 0xF1}},
                                    std::pair{second, std::array<std::uint8_t, 3>{0x12, 0xFF, 0x3F}}}) {
        std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
    }
    const auto read = DvReadAudio(frame);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->format, (DvAudioFormat{32000, DvSampleQuantization::NonLinear12, DvSystem::Ntsc525,
                                           1053 + 14, false, 2}));
    ASSERT_EQ(read->firstPair.size(), 2u * 1067);
    ASSERT_EQ(read->secondPair.size(), 2u * 1067);
    EXPECT_EQ(read->firstPair[0], 32704);
    EXPECT_EQ(read->firstPair[1], -32641);
    EXPECT_EQ(read->secondPair[0], 0x123);
    EXPECT_EQ(read->secondPair[1], -1);

    // CHN 0: one pair only.
    frame[DvFrameBuilder::audioBlockAt(0, 3) + 5] = 0x00;
    const auto onePair = DvReadAudio(frame);
    ASSERT_TRUE(onePair.has_value());
    EXPECT_EQ(onePair->format.stereoPairs, 1);
    EXPECT_TRUE(onePair->secondPair.empty());
    EXPECT_EQ(onePair->firstPair[0], 32704);
}

// ---- against ffmpeg
// ----------------------------------------------------------------------------------------

struct FfmpegCase {
    bool ntsc;
    std::uint32_t rate;  // the sound we write
    std::uint32_t
        clipRate;  // the sound of ffmpeg's clip whose frames we take (ffmpeg writes 48 kHz only for NTSC)
};

std::string ffmpegCaseName(const ::testing::TestParamInfo<FfmpegCase>& info) {
    return std::string(info.param.ntsc ? "Ntsc" : "Pal") + std::to_string(info.param.rate);
}

struct RawClip {
    std::string path;
    std::vector<std::vector<std::uint8_t>> frames;
};

RawClip makeClip(const test::TempDir& dir, bool ntsc, std::uint32_t rate, int frames) {
    test::DvClipOptions options;
    options.ntsc = ntsc;
    options.sampleRate = static_cast<int>(rate);
    options.frames = frames;
    options.rightFrequency = 440;
    RawClip clip;
    clip.path = test::makeRawDvWithFfmpeg(dir.path().string(), "clip.dv", options);
    const auto bytes = test::readWholeFile(clip.path);
    const std::size_t frameBytes = ntsc ? kDvNtscFrameBytes : kDvPalFrameBytes;
    for (std::size_t at = 0; frameBytes <= bytes.size() - at; at += frameBytes) {
        clip.frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    }
    return clip;
}

std::vector<std::uint8_t> joined(const std::vector<std::vector<std::uint8_t>>& frames) {
    std::vector<std::uint8_t> bytes;
    for (const auto& f : frames) bytes.insert(bytes.end(), f.begin(), f.end());
    return bytes;
}

class DvAudioFfmpegRead : public ::testing::TestWithParam<FfmpegCase> {};

TEST_P(DvAudioFfmpegRead, EveryFrameOfFfmpegsFileReadsAsFfmpegDecodesIt) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const FfmpegCase c = GetParam();
    test::TempDir dir;
    const RawClip clip = makeClip(dir, c.ntsc, c.rate, 12);
    ASSERT_GE(clip.frames.size(), 10u);

    std::vector<std::int16_t> ours;
    for (const auto& frame : clip.frames) {
        const auto sound = DvReadAudio(frame);
        ASSERT_TRUE(sound.has_value());
        EXPECT_EQ(sound->format.sampleRate, c.rate);
        EXPECT_EQ(sound->format.quantization, DvSampleQuantization::Linear16);
        ours.insert(ours.end(), sound->firstPair.begin(), sound->firstPair.end());
    }
    const auto theirs = test::decodeSoundWithFfmpeg(clip.path, 0, "dv");
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs);
    // The two channels carry different tones, so a swap of left and right would have shown.
    std::size_t differing = 0;
    for (std::size_t i = 0; i + 1 < ours.size(); i += 2) differing += ours[i] != ours[i + 1] ? 1 : 0;
    EXPECT_GT(differing, ours.size() / 4);
}

INSTANTIATE_TEST_SUITE_P(Clips, DvAudioFfmpegRead,
                         ::testing::Values(FfmpegCase{false, 48000, 48000}, FfmpegCase{false, 44100, 44100},
                                           FfmpegCase{false, 32000, 32000}, FfmpegCase{true, 48000, 48000}),
                         ffmpegCaseName);

class DvAudioFfmpegWrite : public ::testing::TestWithParam<FfmpegCase> {};

TEST_P(DvAudioFfmpegWrite, FfmpegDecodesTheSoundWeWroteIntoItsFrames) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const FfmpegCase c = GetParam();
    test::TempDir dir;
    RawClip clip = makeClip(dir, c.ntsc, c.clipRate, 12);
    ASSERT_GE(clip.frames.size(), 10u);
    const DvSystem system = c.ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625;

    std::vector<std::int16_t> source;
    for (std::size_t n = 0; n < clip.frames.size(); ++n) {
        const std::uint32_t count = DvAudioSamplesPerFrame(system, c.rate, n);
        auto pcm = noisePcm(static_cast<std::uint32_t>(n + 11), 2 * static_cast<std::size_t>(count));
        for (auto& v : pcm)
            v = std::max(v, static_cast<std::int16_t>(-32767));  // 0x8000 would be a lost sample
        ASSERT_TRUE(DvWriteAudio(clip.frames[n], system, c.rate, pcm, count));
        source.insert(source.end(), pcm.begin(), pcm.end());

        const auto back = DvReadAudio(clip.frames[n]);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->firstPair, pcm) << "frame " << n;
    }
    const std::string path = dir.write("ours.dv", joined(clip.frames));
    const auto decoded = test::decodeSoundWithFfmpeg(path, 0, "dv");
    ASSERT_EQ(decoded.size(), source.size());
    EXPECT_TRUE(decoded == source);
}

INSTANTIATE_TEST_SUITE_P(Clips, DvAudioFfmpegWrite,
                         ::testing::Values(FfmpegCase{false, 48000, 48000}, FfmpegCase{false, 44100, 44100},
                                           FfmpegCase{false, 32000, 32000}, FfmpegCase{true, 48000, 48000},
                                           FfmpegCase{true, 44100, 48000}, FfmpegCase{true, 32000, 48000}),
                         ffmpegCaseName);

// 12-bit four-channel sound made by hand in ffmpeg's PAL frames: source packs (32 kHz, QU 1, CHN 1) where
// ffmpeg and cameras put them, every group of every audio block random codes (0x800 included by chance).
TEST(DvAudioFfmpeg12Bit, BothPairsMatchFfmpegsDecode) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir dir;
    RawClip clip = makeClip(dir, false, 32000, 6);
    ASSERT_GE(clip.frames.size(), 5u);
    Noise noise(12);
    std::vector<std::int16_t> first;
    std::vector<std::int16_t> second;
    std::size_t errorCodes = 0;
    for (auto& frame : clip.frames) {
        for (int s = 0; s < 12; ++s) {
            for (int b = 0; b < 9; ++b) {
                const std::size_t block = DvFrameBuilder::audioBlockAt(s, b);
                const bool sourceSlot = b == (s % 2 == 0 ? 3 : 0);
                // LF 1, AF_SIZE 16: 1280 samples; CHN 1, audio mode of the half; 50 fields; 32 kHz, 12 bits.
                const std::array<std::uint8_t, 5> pack{0x50, 0xD0, static_cast<std::uint8_t>(0x20 | (s / 6)),
                                                       0xE0, 0x91};
                if (sourceSlot)
                    std::copy(pack.begin(), pack.end(),
                              frame.begin() + static_cast<std::ptrdiff_t>(block + 3));
                for (std::size_t i = 8; i < 80; ++i) frame[block + i] = noise.byte();
                // A few error codes on purpose: 0x80 high bits and a zero high nibble of the low byte.
                if (b == 2) {
                    frame[block + 8] = 0x80;
                    frame[block + 10] &= 0x0F;
                    ++errorCodes;
                }
            }
        }
        const auto sound = DvReadAudio(frame);
        ASSERT_TRUE(sound.has_value());
        ASSERT_EQ(sound->format.stereoPairs, 2);
        first.insert(first.end(), sound->firstPair.begin(), sound->firstPair.end());
        second.insert(second.end(), sound->secondPair.begin(), sound->secondPair.end());
    }
    ASSERT_GT(errorCodes, 0u);
    const std::string path = dir.write("twelve.dv", joined(clip.frames));
    const auto theirFirst = test::decodeSoundWithFfmpeg(path, 0, "dv");
    ASSERT_EQ(theirFirst.size(), first.size());
    EXPECT_TRUE(theirFirst == first);
    // ffmpeg gives the second pair as a second stereo stream.
    const auto theirSecond = test::decodeSoundWithFfmpeg(path, 1, "dv");
    ASSERT_EQ(theirSecond.size(), second.size());
    EXPECT_TRUE(theirSecond == second);
}

}  // namespace
}  // namespace moraven

namespace moraven {
namespace {

// Two stereo pairs written as 12-bit codes read back as the codes' values, by our reader and by ffmpeg's (which
// gives the second pair as a second stream), in PAL and NTSC.
TEST(DvAudioFfmpeg12Bit, TwoPairsWeWriteReadBackThroughTheTwelveBitCurve) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    for (const bool ntsc : {false, true}) {
        SCOPED_TRACE(ntsc ? "NTSC" : "PAL");
        test::TempDir dir;
        RawClip clip = makeClip(dir, ntsc, ntsc ? 48000 : 32000, 6);
        ASSERT_GE(clip.frames.size(), 5u);
        const DvSystem system = ntsc ? DvSystem::Ntsc525 : DvSystem::Pal625;
        std::vector<std::int16_t> expectedFirst;
        std::vector<std::int16_t> expectedSecond;
        for (std::size_t n = 0; n < clip.frames.size(); ++n) {
            const std::uint32_t count = DvAudioSamplesPerFrame(system, 32000, n);
            const auto first = noisePcm(static_cast<std::uint32_t>(n + 3), 2 * std::size_t{count});
            // The second pair one sample short: the rest of the frame is silence.
            const auto second = noisePcm(static_cast<std::uint32_t>(n + 50), 2 * std::size_t{count} - 2);
            ASSERT_TRUE(DvWriteAudio12(clip.frames[n], system, first, second, count));
            const auto back = DvReadAudio(clip.frames[n]);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->format.quantization, DvSampleQuantization::NonLinear12);
            ASSERT_EQ(back->format.stereoPairs, 2);
            ASSERT_EQ(back->format.samplesInFrame, count);
            for (std::size_t i = 0; i < 2 * std::size_t{count}; ++i) {
                const std::int16_t a = DvExpand12(DvCompress12(first[i]));
                const std::int16_t b = i < second.size() ? DvExpand12(DvCompress12(second[i])) : std::int16_t{0};
                ASSERT_EQ(back->firstPair[i], a) << "frame " << n << " value " << i;
                ASSERT_EQ(back->secondPair[i], b) << "frame " << n << " value " << i;
                expectedFirst.push_back(a);
                expectedSecond.push_back(b);
            }
        }
        const std::string path = dir.write("ours12.dv", joined(clip.frames));
        EXPECT_TRUE(test::decodeSoundWithFfmpeg(path, 0, "dv") == expectedFirst);
        EXPECT_TRUE(test::decodeSoundWithFfmpeg(path, 1, "dv") == expectedSecond);
    }
    std::vector<std::uint8_t> frame(kDvPalFrameBytes, 0);
    const std::vector<std::int16_t> tooMany(2 * 1281, 0);
    EXPECT_FALSE(DvWriteAudio12(frame, DvSystem::Pal625, tooMany, {}, 1280));
    EXPECT_FALSE(DvWriteAudio12(frame, DvSystem::Pal625, {}, {}, 1200));
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace moraven
