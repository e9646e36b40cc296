#include "formats/wav_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "formats/fourcc.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::ByteVector;

ByteVector samples(std::size_t bytes) {
    ByteVector out(bytes);
    for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return out;
}

ByteVector writeWav(const std::string& path, const WaveFormat& format, const ByteVector& data,
                    const WavWriter::Options& options = {}) {
    WavWriter writer(path, format, options);
    // In two calls, the second larger than the write buffer.
    const std::size_t half = data.size() / 3;
    writer.write(Bytes(data.data(), half));
    writer.write(Bytes(data.data() + half, data.size() - half));
    EXPECT_EQ(writer.dataBytes(), data.size());
    writer.close();
    return test::readWholeFile(path);
}

// RIFF "WAVE", a 28-byte JUNK kept for ds64, "fmt " and "data" with their sizes; odd data gets a pad byte.
TEST(WavWriterTest, PlainFileHasItsSizesAndTheReservedJunk) {
    struct Case {
        WaveFormat format;
        std::size_t bytes;
    };
    const Case cases[] = {{WaveFormat::pcm(2, 48000, 16), 40000}, {WaveFormat::pcm(1, 8000, 8), 1001}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        test::TempDir dir;
        const ByteVector data = samples(c.bytes);
        WavWriter::Options options;
        options.writeBufferBytes = 4096;
        const ByteVector file = writeWav(dir.file("a.wav"), c.format, data, options);
        const std::size_t pad = c.bytes & 1;
        ASSERT_EQ(file.size(), 12 + 36 + 24 + 8 + c.bytes + pad);
        EXPECT_EQ(FourCC::at(file, 0), FourCC::of("RIFF"));
        EXPECT_EQ(u32le(file, 4), file.size() - 8);
        EXPECT_EQ(FourCC::at(file, 8), FourCC::of("WAVE"));
        EXPECT_EQ(FourCC::at(file, 12), FourCC::of("JUNK"));
        EXPECT_EQ(u32le(file, 16), 28u);
        EXPECT_EQ(FourCC::at(file, 48), FourCC::of("fmt "));
        EXPECT_EQ(u32le(file, 52), 16u);
        EXPECT_EQ(u16le(file, 56), 1);
        EXPECT_EQ(u16le(file, 58), c.format.channels);
        EXPECT_EQ(u32le(file, 60), c.format.samplesPerSecond);
        EXPECT_EQ(u32le(file, 64), c.format.averageBytesPerSecond);
        EXPECT_EQ(u16le(file, 68), c.format.blockAlign);
        EXPECT_EQ(u16le(file, 70), c.format.bitsPerSample);
        EXPECT_EQ(FourCC::at(file, 72), FourCC::of("data"));
        EXPECT_EQ(u32le(file, 76), c.bytes);
        EXPECT_EQ(ByteVector(file.begin() + 80, file.begin() + 80 + static_cast<std::ptrdiff_t>(c.bytes)),
                  data);
        if (pad) {
            EXPECT_EQ(file.back(), 0);
        }
    }
}

// Past the threshold the file becomes RF64: the JUNK turns into ds64 with the 64-bit sizes, and both 32-bit
// size fields say 0xFFFFFFFF. The threshold applies to the RIFF size, which counts the header too.
TEST(WavWriterTest, BecomesRf64WhenTheRiffSizePassesTheThreshold) {
    const std::size_t bytes = 4000;
    const std::uint64_t riffSize = 4 + 36 + 24 + 8 + bytes;
    for (std::uint64_t threshold : {riffSize, riffSize - 1}) {
        SCOPED_TRACE(threshold);
        test::TempDir dir;
        WavWriter::Options options;
        options.rf64Threshold = threshold;
        const ByteVector file =
            writeWav(dir.file("a.wav"), WaveFormat::pcm(2, 48000, 16), samples(bytes), options);
        ASSERT_EQ(file.size(), riffSize + 8);
        if (threshold == riffSize) {
            EXPECT_EQ(FourCC::at(file, 0), FourCC::of("RIFF"));
            EXPECT_EQ(FourCC::at(file, 12), FourCC::of("JUNK"));
            EXPECT_EQ(u32le(file, 76), bytes);
            continue;
        }
        EXPECT_EQ(FourCC::at(file, 0), FourCC::of("RF64"));
        EXPECT_EQ(u32le(file, 4), 0xFFFFFFFFu);
        EXPECT_EQ(FourCC::at(file, 12), FourCC::of("ds64"));
        EXPECT_EQ(u32le(file, 16), 28u);
        EXPECT_EQ(u64le(file, 20), riffSize);
        EXPECT_EQ(u64le(file, 28), bytes);
        EXPECT_EQ(u64le(file, 36), bytes / 4) << "sample count";
        EXPECT_EQ(u32le(file, 44), 0u) << "no table";
        EXPECT_EQ(FourCC::at(file, 72), FourCC::of("data"));
        EXPECT_EQ(u32le(file, 76), 0xFFFFFFFFu);
    }
}

TEST(WavWriterTest, NeverReplacesAFileAndLeavesNothingWhenNotClosed) {
    test::TempDir dir;
    const std::string taken = dir.write("taken.wav", {7});
    EXPECT_THROW(WavWriter(taken, WaveFormat::pcm(2, 48000, 16)), FileError);
    EXPECT_EQ(test::readWholeFile(taken), ByteVector{7});
    EXPECT_THROW(WavWriter(dir.file("b.wav"), WaveFormat::pcm(0, 48000, 16)), std::invalid_argument);
    {
        WavWriter writer(dir.file("c.wav"), WaveFormat::pcm(2, 48000, 16));
        writer.write(samples(400));
        EXPECT_FALSE(std::filesystem::exists(dir.file("c.wav")));
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"taken.wav"});
}

}  // namespace
}  // namespace moraven
