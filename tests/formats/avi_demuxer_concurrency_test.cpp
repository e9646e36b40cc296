#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

// Several threads read samples of one demuxer at once, as the scene scan and a conversion may: each walks
// both streams in its own order, whole samples and 480-byte prefixes mixed, and checks every byte. The
// shared byte counter must add up to exactly what they all read.
TEST(AviDemuxerConcurrencyTest, SeveralThreadsReadSamplesOfOneDemuxerAtOnce) {
    test::OpenDmlOptions options;
    options.frames = 40;
    options.framesPerForm = 15;
    options.frameBytes = 700;  // video frame i: 700 bytes of value i; audio chunk i: 32 bytes of 0x80 + i
    test::TempDir dir;
    const AviDemuxer avi(dir.write("odml.avi", test::openDmlAvi(options)));
    ASSERT_EQ(avi.streamCount(), 2u);
    ASSERT_EQ(avi.streams()[0].sampleCount(), 40u);
    ASSERT_EQ(avi.streams()[1].sampleCount(), 40u);

    constexpr int kThreads = 4;
    constexpr int kRounds = 5;
    struct ThreadResult {
        int wrongSamples = 0;
        std::uint64_t bytes = 0;
    };
    std::vector<ThreadResult> results(kThreads);
    const std::uint64_t before = avi.bytesRead();

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ThreadResult& result = results[static_cast<std::size_t>(t)];
            std::vector<std::uint8_t> sample;
            std::array<std::uint8_t, 480> prefix{};
            for (int round = 0; round < kRounds; ++round) {
                for (std::size_t i = 0; i < 40; ++i) {
                    // 7 and 40 are coprime: each thread visits every sample once per round, in its own order.
                    const std::size_t index = (i * 7 + static_cast<std::size_t>(t) * 11) % 40;
                    const auto value = static_cast<std::uint8_t>(index);
                    if ((index + static_cast<std::size_t>(round)) % 2 == 0) {
                        const bool read = avi.readSample(0, index, sample);
                        result.bytes += sample.size();
                        if (!read || sample != std::vector<std::uint8_t>(700, value)) ++result.wrongSamples;
                    } else {
                        const std::size_t got = avi.readSamplePrefix(0, index, prefix);
                        result.bytes += got;
                        if (got != prefix.size() ||
                            !std::all_of(prefix.begin(), prefix.end(),
                                         [&](std::uint8_t b) { return b == value; })) {
                            ++result.wrongSamples;
                        }
                    }
                    const bool read = avi.readSample(1, index, sample);
                    result.bytes += sample.size();
                    if (!read ||
                        sample != std::vector<std::uint8_t>(32, static_cast<std::uint8_t>(0x80 + index))) {
                        ++result.wrongSamples;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::uint64_t total = 0;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[static_cast<std::size_t>(t)].wrongSamples, 0) << "thread " << t;
        total += results[static_cast<std::size_t>(t)].bytes;
    }
    // Per thread and round: 20 whole frames, 20 prefixes, 40 audio chunks.
    EXPECT_EQ(total, std::uint64_t{kThreads} * kRounds * (20 * 700 + 20 * 480 + 40 * 32));
    // Each of those reads also reads the 8-byte chunk header before the data.
    EXPECT_EQ(avi.bytesRead() - before, total + std::uint64_t{kThreads} * kRounds * 80 * 8);
}

}  // namespace
}  // namespace moraven
