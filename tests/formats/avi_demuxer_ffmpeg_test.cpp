#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/binary_file.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

// Files written by ffmpeg, read by the demuxer frame for frame and compared with what ffmpeg itself copies
// out of them ("-c copy" into a raw stream).
namespace moraven {
namespace {

// Extracts the first stream of `kind` ("v" or "a") of `input` with "-c copy" into the raw format `format`.
std::string copyOut(const std::string& input, const std::string& kind, const std::string& format,
                    const std::string& output) {
    const auto result = test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", input, "-map",
                                          "0:" + kind, "-c", "copy", "-f", format, output});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    return output;
}

// Compares the samples of `stream`, one after the other, with the bytes of the file at `path`.
testing::AssertionResult samplesEqualFile(const AviDemuxer& avi, std::size_t stream,
                                          const std::string& path) {
    BinaryFile expected(path, BinaryFile::Mode::Read);
    std::vector<std::uint8_t> sample;
    std::vector<std::uint8_t> reference;
    std::uint64_t position = 0;
    const std::size_t count = avi.streams().at(stream).sampleCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (!avi.readSample(stream, i, sample))
            return testing::AssertionFailure() << "sample " << i << " unreadable";
        reference.resize(sample.size());
        if (!expected.readExact(reference)) {
            return testing::AssertionFailure()
                   << "ffmpeg's stream ends within sample " << i << " of " << count;
        }
        if (sample != reference) {
            return testing::AssertionFailure() << "sample " << i << " at byte " << position << " differs";
        }
        position += sample.size();
    }
    if (position != expected.size()) {
        return testing::AssertionFailure()
               << "ffmpeg's stream has " << expected.size() << " bytes, the samples " << position;
    }
    return testing::AssertionSuccess();
}

// Adler-32 as ffmpeg's framecrc muxer computes it: started from 0, not from the usual 1.
std::uint32_t framecrcAdler32(const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t kBlock = 5552;  // the longest run whose sums cannot overflow 32 bits
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    for (std::size_t start = 0; start < bytes.size(); start += kBlock) {
        const std::size_t end = std::min(bytes.size(), start + kBlock);
        for (std::size_t i = start; i < end; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}

// Compares the size and checksum of every sample of `stream` with the packets that ffmpeg copies out of
// `input` (its framecrc listing): a frame-for-frame check without a second copy of a large file on disk.
testing::AssertionResult samplesMatchFramecrc(const AviDemuxer& avi, std::size_t stream, const std::string& input,
                                              const std::string& kind) {
    const auto listing = test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", input, "-map", "0:" + kind,
                                           "-c", "copy", "-f", "framecrc", "-"});
    if (listing.exitCode != 0) return testing::AssertionFailure() << listing.errors;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> packets;  // size, checksum
    std::size_t begin = 0;
    while (begin < listing.output.size()) {
        std::size_t end = listing.output.find('\n', begin);
        if (end == std::string::npos) end = listing.output.size();
        const std::string line = listing.output.substr(begin, end - begin);
        begin = end + 1;
        if (line.empty() || line[0] == '#') continue;
        unsigned long long size = 0;
        unsigned int checksum = 0;
        int fields = 0;
        if (std::sscanf(line.c_str(), "%*d, %*d, %*d, %*d, %llu, 0x%x%n", &size, &checksum, &fields) < 2) {
            return testing::AssertionFailure() << "unexpected framecrc line: " << line;
        }
        packets.emplace_back(size, checksum);
    }
    const std::size_t count = avi.streams().at(stream).sampleCount();
    if (packets.size() != count) {
        return testing::AssertionFailure() << "ffmpeg copies " << packets.size() << " packets, the stream has "
                                           << count << " samples";
    }
    std::vector<std::uint8_t> sample;
    for (std::size_t i = 0; i < count; ++i) {
        if (!avi.readSample(stream, i, sample)) return testing::AssertionFailure() << "sample " << i << " unreadable";
        if (sample.size() != packets[i].first || framecrcAdler32(sample) != packets[i].second) {
            return testing::AssertionFailure() << "sample " << i << " differs from ffmpeg's packet";
        }
    }
    return testing::AssertionSuccess();
}

class AviDemuxerFfmpeg : public testing::Test {
protected:
    void SetUp() override {
        if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    }
    test::TempDir m_dir;
};

TEST_F(AviDemuxerFfmpeg, ReadsDvType2FrameForFrame) {
    test::DvClipOptions options;
    options.frames = 30;
    const std::string path = test::makeDvAviWithFfmpeg(m_dir.path().string(), "dv.avi", options);
    const AviDemuxer avi(path);
    ASSERT_TRUE(avi.isAvi());
    ASSERT_EQ(avi.streamCount(), 2u);
    const AviStream& video = avi.streams()[0];
    const AviStream& audio = avi.streams()[1];
    EXPECT_EQ(video.kind(), AviStreamKind::Video);
    EXPECT_EQ(video.indexSource, AviIndexSource::Idx1);
    EXPECT_EQ(video.droppedEntries, 0u);
    EXPECT_EQ(video.sampleCount(), 30u);
    for (const auto& frame : video.samples) EXPECT_EQ(frame.size, 144000u);
    EXPECT_EQ(video.duration().ticks(), 30 * 400000);
    ASSERT_TRUE(audio.mediaType.wave().has_value());
    EXPECT_EQ(audio.mediaType.wave()->samplesPerSecond, 48000u);
    EXPECT_EQ(audio.mediaType.wave()->channels, 2);
    EXPECT_TRUE(samplesEqualFile(avi, 0, copyOut(path, "v", "rawvideo", m_dir.file("video.dv"))));
    EXPECT_TRUE(samplesEqualFile(avi, 1, copyOut(path, "a", "s16le", m_dir.file("audio.pcm"))));
}

// ffmpeg goes over to OpenDML (RIFF AVIX forms, indx and ix## indexes) once the first RIFF form passes 1 GiB:
// 190 s of 320 × 240 raw BGR frames make 1.1 GB.
TEST_F(AviDemuxerFfmpeg, ReadsAnOpenDmlFileFrameForFrame) {
    const std::string path = m_dir.file("odml.avi");
    const auto made = test::runProgram({"ffmpeg",
                                        "-nostdin",
                                        "-v",
                                        "error",
                                        "-y",
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "testsrc=size=320x240:rate=25",
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "sine=frequency=1000:sample_rate=48000",
                                        "-t",
                                        "190",
                                        "-c:v",
                                        "rawvideo",
                                        "-pix_fmt",
                                        "bgr24",
                                        "-c:a",
                                        "pcm_s16le",
                                        "-ac",
                                        "2",
                                        path});
    ASSERT_EQ(made.exitCode, 0) << made.errors;
    const AviDemuxer avi(path);
    ASSERT_TRUE(avi.isAvi());
    EXPECT_GE(avi.riffFormCount(), 2u);
    EXPECT_EQ(avi.odmlTotalFrames(), 190u * 25u);
    ASSERT_EQ(avi.streamCount(), 2u);
    for (const auto& stream : avi.streams()) {
        EXPECT_EQ(stream.indexSource, AviIndexSource::OpenDml);
        EXPECT_EQ(stream.droppedEntries, 0u);
    }
    EXPECT_EQ(avi.streams()[0].sampleCount(), 190u * 25u);
    EXPECT_EQ(avi.streams()[0].duration().ticks(), 190 * 10'000'000LL);
    EXPECT_EQ(avi.streams()[1].totalBytes, 190u * 48000u * 4u);
    EXPECT_TRUE(samplesMatchFramecrc(avi, 0, path, "v"));
    EXPECT_TRUE(samplesEqualFile(avi, 1, copyOut(path, "a", "s16le", m_dir.file("audio.pcm"))));
}

}  // namespace
}  // namespace moraven
