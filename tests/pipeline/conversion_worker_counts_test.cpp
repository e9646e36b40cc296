#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/dvcodes.h"
#include "pipeline/conversion/tcdm.h"
#include "pipeline/stages/superposer_stage.h"
#include "support/external_tools.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

// The conversions that code pictures at the worker counts users' machines have (1 to 16 hardware threads),
// whatever the machine running the tests: with many workers, hundreds of frames are on their way between the
// scene detection and the DV header stage at once, and every frame must still come out with its own
// recording date, timecode and header.
namespace moraven {
namespace {

using test::DvClipOptions;
using test::TempDir;

constexpr std::size_t kWorkerCounts[] = {1, 2, 4, 8, 16};

// More frames than 16 workers hold in flight (two packed jobs of eight frames each in the decoder, as many in
// the encoder), so that the largest count is full before the stream ends.
constexpr int kFrames = 300;

class ConversionWorkerCountsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::programAvailable("ffmpeg")) return;
        s_dir = new TempDir();
        DvClipOptions options;
        options.frames = kFrames;
        s_source = test::makeDvAviWithFfmpeg(s_dir->path().string(), "clip.avi", options);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (s_dir == nullptr) GTEST_SKIP() << "ffmpeg is needed";
    }
    static std::vector<std::vector<std::uint8_t>> videoFrames(const std::string& path) {
        return test::samplesOfFirstStream(path, AviStreamKind::Video);
    }

    static TempDir* s_dir;
    static std::string s_source;
    TempDir m_out;
};

TempDir* ConversionWorkerCountsTest::s_dir = nullptr;
std::string ConversionWorkerCountsTest::s_source;

TEST_F(ConversionWorkerCountsTest, TheInlayKeepsEveryFramesOwnHeaderAtEveryWorkerCount) {
    const auto sourceFrames = videoFrames(s_source);
    ASSERT_EQ(sourceFrames.size(), static_cast<std::size_t>(kFrames));
    for (const std::size_t workers : kWorkerCounts) {
        SCOPED_TRACE(workers);
        TCdm cdm(workers);
        // With its default settings the text touches a few segments of each frame: frames are packed eight to
        // a decoding.
        ASSERT_TRUE(cdm.SegmentSplice());
        const std::string output = m_out.file("inlaid_" + std::to_string(workers) + ".avi");
        ASSERT_TRUE(cdm.BuildInlayGraph(s_source, output, DvSystem::Pal625, false)) << cdm.lastBuildError();
        const ConversionResult result = cdm.RunConversionGraph([](int) { return false; });
        ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
        const auto frames = videoFrames(output);
        ASSERT_EQ(frames.size(), sourceFrames.size());
        std::size_t wrong = 0;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            // Header, subcode and VAUX of sequence 0 (the first 480 bytes): the source frame's own.
            const bool same = std::equal(sourceFrames[k].begin(), sourceFrames[k].begin() + 480, frames[k].begin());
            const bool packs = DvFindRecDate(frames[k]) == DvFindRecDate(sourceFrames[k]) &&
                               DvFindTimecode(frames[k]) == DvFindTimecode(sourceFrames[k]);
            if (!same || !packs) ++wrong;
        }
        EXPECT_EQ(wrong, 0u) << "frames with another frame's header";
    }
}

TEST_F(ConversionWorkerCountsTest, PalToNtscShowsEachSourceFramesTimecodeInOrderAtEveryWorkerCount) {
    const auto sourceFrames = videoFrames(s_source);
    // The timecode of each source frame, as frames from the first.
    const auto frameOfTimecode = [](const TDvTimecode& t) {
        return ((t.hours * 60 + t.minutes) * 60 + t.seconds) * 25 + t.frames;
    };
    const int first = frameOfTimecode(DvFindTimecode(sourceFrames.front()));
    std::vector<std::uint8_t> reference;
    for (const std::size_t workers : kWorkerCounts) {
        SCOPED_TRACE(workers);
        TCdm cdm(workers);
        cdm.setRestoreHeader(true);
        cdm.setHourShift(0);
        const std::string output = m_out.file("ntsc_" + std::to_string(workers) + ".avi");
        ASSERT_TRUE(cdm.BuildNtscPalGraph(s_source, output, DvSystem::Ntsc525, false)) << cdm.lastBuildError();
        const ConversionResult result = cdm.RunConversionGraph([](int) { return false; });
        ASSERT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
        const auto frames = videoFrames(output);
        ASSERT_EQ(frames.size(), 360u);  // 12 s at 30000/1001, the field rule's count
        for (std::size_t k = 0; k < frames.size(); ++k) {
            ASSERT_EQ(DvSystemOf(frames[k]), DvSystem::Ntsc525) << k;
            // The source frame shown is the one nearest in time: within one PAL frame of k NTSC frames.
            const int shown = frameOfTimecode(DvFindTimecode(frames[k])) - first;
            ASSERT_GE(shown, 0) << k;
            ASSERT_LT(shown, kFrames) << k;
            // shown / 25 s against k × 1001 / 30000 s, in 1 / 750000 s.
            EXPECT_LE(std::abs(shown * 30000.0 - static_cast<double>(k) * 1001.0 * 25), 30000.0) << k;
            EXPECT_EQ(DvFindRecDate(frames[k]), DvFindRecDate(sourceFrames[static_cast<std::size_t>(shown)])) << k;
        }
        // The same output, byte for byte, whatever the number of workers.
        std::vector<std::uint8_t> all;
        for (const auto& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
        if (reference.empty()) {
            reference = std::move(all);
        } else {
            EXPECT_TRUE(all == reference) << "the output differs from the one of a single worker";
        }
    }
}

}  // namespace
}  // namespace moraven
