#include "pipeline/conversion/tcdm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/byte_order.h"
#include "formats/dvcodes.h"
#include "support/dv_avi_file.h"
#include "support/dv_clip.h"
#include "support/external_tools.h"
#include "support/riff_builder.h"
#include "support/stream_samples.h"
#include "support/temp_dir.h"

// Damaged recordings, as tape captures are, through every conversion: a frame of the other TV system, a frame
// whose DIF sequences are zeroed, a chunk declaring several GB (in a sparse file that holds it), and a file
// cut short. Each conversion runs to its end, writes the frames it should, keeps every other frame's datecode
// and timecode, and names the damage in one warning.
namespace moraven {
namespace {

using test::runProgram;
using test::TempDir;

constexpr std::size_t kFrames = 8;
constexpr std::size_t kDamaged = 3;
constexpr std::size_t kWholeFramesAfterCut = 6;
// The codec stages' workers of the conversions that code pictures, as users' machines have them.
constexpr std::size_t kWorkerCounts[] = {1, 2, 4, 8, 16};
const std::string kOneReplaced = "1 frame could not be decoded and was replaced";
const std::string kCutShort = "the file is truncated: 6 of 8 frames could be read";

bool tools() { return test::programAvailable("ffmpeg") && test::programAvailable("ffprobe"); }

enum class Damage { OtherSystem, ZeroedSequences, HugeChunk, CutShort };

struct DamageCase {
    const char* name;
    Damage damage;
};

// The chunk header of sample `index` of the file's first stream and its index entries all declare `size`, and
// the file holds that many bytes after the chunk (a hole that takes no disk space), so that only the size can
// refuse it.
void declareSampleSize(const std::string& path, std::size_t index, std::uint32_t size) {
    auto bytes = test::readWholeFile(path);
    AviSample sample;
    {
        const AviDemuxer demuxer(path);
        sample = demuxer.streams().front().samples.at(index);
    }
    const std::size_t header = static_cast<std::size_t>(sample.offset) - 8;
    const std::uint32_t id = u32le(bytes, header);
    putU32le(bytes, header + 4, size);
    // idx1: entries of 16 bytes (id, flags, offset, size); the index-th of the chunk's id.
    for (const std::size_t idx1 : test::chunkPositions(bytes, "idx1")) {
        std::size_t seen = 0;
        const std::size_t end = idx1 + 8 + u32le(bytes, idx1 + 4);
        for (std::size_t at = idx1 + 8; at + 16 <= end; at += 16) {
            if (u32le(bytes, at) == id && seen++ == index) putU32le(bytes, at + 12, size);
        }
    }
    // ix00: 24 bytes of header after the chunk header, then entries of 8 bytes (offset, size).
    for (const std::size_t ix : test::chunkPositions(bytes, "ix00")) {
        const std::size_t entry = ix + 8 + 24 + 8 * index;
        if (entry + 8 <= ix + 8 + u32le(bytes, ix + 4)) putU32le(bytes, entry + 4, size);
    }
    test::writeWholeFile(path, bytes);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(sample.offset + size + 16)), 0);
}

class DamagedRecordingsTest : public ::testing::TestWithParam<DamageCase> {
protected:
    static void SetUpTestSuite() {
        if (!tools()) return;
        s_dir = new TempDir();
        test::DvClipOptions options;
        options.frames = static_cast<int>(kFrames);
        s_pal = new test::DvClip(test::makeDvClipWithFfmpeg(s_dir->path().string(), options));
        options.ntsc = true;
        options.frames = 1;
        options.timecode = "05:06:07:08";
        options.creationTime = "1999-12-31T23:59:58Z";
        s_ntsc = new test::DvClip(test::makeDvClipWithFfmpeg(s_dir->path().string(), options));
    }
    static void TearDownTestSuite() {
        delete s_pal;
        delete s_ntsc;
        delete s_dir;
        s_pal = s_ntsc = nullptr;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!tools()) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }

    // The frame that takes frame kDamaged's place in the file: a frame of the other system, or a zeroed one.
    std::vector<std::uint8_t> damagedFrame() const {
        if (GetParam().damage == Damage::OtherSystem) return s_ntsc->frames.front();
        return std::vector<std::uint8_t>(kDvPalFrameBytes, 0);
    }
    // The PAL clip with the damage, as a DV type 1 or type 2 file.
    std::string source(bool type1) {
        const Damage damage = GetParam().damage;
        std::vector<std::vector<std::uint8_t>> frames = s_pal->frames;
        if (damage == Damage::OtherSystem || damage == Damage::ZeroedSequences)
            frames[kDamaged] = damagedFrame();
        const std::string path = dir.file(std::string(type1 ? "source_type1_" : "source_type2_") +
                                          std::to_string(++m_sources) + ".avi");
        test::DvAviOptions options;
        options.type1 = type1;
        test::writeDvAvi(
            path, frames.size(), [&](std::size_t i) -> const std::vector<std::uint8_t>& { return frames[i]; },
            options);
        if (damage == Damage::HugeChunk) {
            declareSampleSize(path, kDamaged, 3'000'000'000u);
            // The index is believed but for the size: the frame keeps its place, empty, and is never read.
            const AviDemuxer demuxer(path);
            EXPECT_EQ(demuxer.streams().front().sampleCount(), kFrames);
            EXPECT_EQ(demuxer.streams().front().samples.at(kDamaged).size, 0u);
        }
        if (damage == Damage::CutShort) {
            // Cut in the middle of frame 6: its index at the end of the file is lost too.
            const AviDemuxer demuxer(path);
            const AviSample cut = demuxer.streams().front().samples.at(kWholeFramesAfterCut);
            EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut.offset + cut.size / 2)), 0);
        }
        return path;
    }
    std::vector<std::string> damageWarnings() const {
        switch (GetParam().damage) {
            case Damage::CutShort:
                return {kCutShort};
            default:
                return {kOneReplaced};
        }
    }
    std::size_t sourceFrames() const {
        return GetParam().damage == Damage::CutShort ? kWholeFramesAfterCut : kFrames;
    }
    // Whether output frame k of a same-system conversion is to keep source frame k's facts.
    bool kept(std::size_t k) const { return GetParam().damage == Damage::CutShort || k != kDamaged; }

    static ConversionResult run(TCdm& cdm) {
        const ConversionResult result = cdm.RunConversionGraph([](int) { return false; });
        EXPECT_EQ(result.outcome, ConversionOutcome::Completed) << result.message;
        return result;
    }

    static TempDir* s_dir;
    static test::DvClip* s_pal;
    static test::DvClip* s_ntsc;
    TempDir dir;

private:
    int m_sources = 0;
};

TempDir* DamagedRecordingsTest::s_dir = nullptr;
test::DvClip* DamagedRecordingsTest::s_pal = nullptr;
test::DvClip* DamagedRecordingsTest::s_ntsc = nullptr;

INSTANTIATE_TEST_SUITE_P(Cases, DamagedRecordingsTest,
                         ::testing::Values(DamageCase{"OtherSystem", Damage::OtherSystem},
                                           DamageCase{"ZeroedSequences", Damage::ZeroedSequences},
                                           DamageCase{"HugeChunk", Damage::HugeChunk},
                                           DamageCase{"CutShort", Damage::CutShort}),
                         [](const auto& test) { return std::string(test.param.name); });

// The conversions that keep the system: every frame but the damaged one keeps its datecode and timecode.
TEST_P(DamagedRecordingsTest, SameSystemConversionsWriteEveryFrameAndWarnOnce) {
    struct Conversion {
        const char* name;
        bool codes;  // codes pictures: run at every worker count
        bool type1Source;
        std::function<bool(TCdm&, const std::string&, const std::string&)> build;
        AviStreamKind outputKind;
    };
    const std::vector<Conversion> conversions{
        {"type 1", false, false,
         [](TCdm& c, const std::string& in, const std::string& out) { return c.BuildType1Graph(in, out); },
         AviStreamKind::Interleaved},
        {"type 2", false, true,
         [](TCdm& c, const std::string& in, const std::string& out) { return c.BuildType2Graph(in, out); },
         AviStreamKind::Video},
        {"inlay", true, false,
         [](TCdm& c, const std::string& in, const std::string& out) {
             return c.BuildInlayGraph(in, out, DvSystem::Pal625, false);
         },
         AviStreamKind::Video},
        {"inlay of type 1", true, true,
         [](TCdm& c, const std::string& in, const std::string& out) {
             return c.BuildInlayGraph(in, out, DvSystem::Pal625, true);
         },
         AviStreamKind::Interleaved},
    };
    for (const Conversion& c : conversions) {
        for (const std::size_t workers :
             c.codes ? std::vector<std::size_t>(std::begin(kWorkerCounts), std::end(kWorkerCounts))
                     : std::vector<std::size_t>{1}) {
            SCOPED_TRACE(std::string(c.name) + ", workers " + std::to_string(workers));
            TCdm cdm(workers);
            cdm.Superposer().SetEnabled(true);
            cdm.setHourShift(0);
            const std::string input = source(c.type1Source);
            const std::string output = dir.file("out_" + std::to_string(workers) +
                                                (c.type1Source ? "_1_" : "_2_") + c.name + ".avi");
            ASSERT_TRUE(c.build(cdm, input, output)) << cdm.lastBuildError();
            EXPECT_EQ(run(cdm).warnings, damageWarnings());
            EXPECT_EQ(runProgram({"ffprobe", "-v", "warning", output}).errors, "");

            const auto frames = test::samplesOfFirstStream(output, c.outputKind);
            ASSERT_EQ(frames.size(), sourceFrames());
            // A copy carries a frame of the other system or a zeroed one as it is.
            const Damage damage = GetParam().damage;
            if (!c.codes && (damage == Damage::OtherSystem || damage == Damage::ZeroedSequences)) {
                EXPECT_EQ(frames[kDamaged], damagedFrame());
            }
            for (std::size_t k = 0; k < frames.size(); ++k) {
                if (!kept(k)) continue;
                EXPECT_EQ(DvFindRecDate(frames[k]), DvFindRecDate(s_pal->frames[k])) << k;
                EXPECT_EQ(DvFindTimecode(frames[k]), DvFindTimecode(s_pal->frames[k])) << k;
            }
        }
    }
}

// PAL to NTSC, each source type at some of the worker counts: the duration is kept, every output frame shows
// a source frame's datecode and timecode but those fed by the damaged frame.
TEST_P(DamagedRecordingsTest, StandardsConversionWritesTheDurationAndWarnsOnce) {
    for (const auto& [type1, workers] :
         {std::pair{false, kWorkerCounts[0]}, std::pair{true, kWorkerCounts[1]},
          std::pair{false, kWorkerCounts[2]}, std::pair{true, kWorkerCounts[3]},
          std::pair{false, kWorkerCounts[4]}}) {
        SCOPED_TRACE(std::string(type1 ? "type 1" : "type 2") + ", workers " + std::to_string(workers));
        TCdm cdm(workers);
        const std::string input = source(type1);
        const std::string output = dir.file("ntsc_" + std::to_string(workers) + ".avi");
        cdm.setRestoreHeader(true);
        cdm.setHourShift(0);
        ASSERT_TRUE(cdm.BuildNtscPalGraph(input, output, DvSystem::Ntsc525, type1)) << cdm.lastBuildError();
        EXPECT_EQ(run(cdm).warnings, damageWarnings());
        EXPECT_EQ(runProgram({"ffprobe", "-v", "warning", output}).errors, "");
        const auto frames =
            test::samplesOfFirstStream(output, type1 ? AviStreamKind::Interleaved : AviStreamKind::Video);
        // round(frames x 1/25 s / (1001/30000 s))
        ASSERT_EQ(frames.size(), (sourceFrames() * 2 * 1200 + 1001) / 2002);
        std::size_t fromElsewhere = 0;
        for (const auto& frame : frames) {
            EXPECT_EQ(DvSystemOf(frame), DvSystem::Ntsc525);
            bool found = false;
            for (std::size_t k = 0; k < sourceFrames(); ++k) {
                if (!kept(k)) continue;
                found = found || (DvFindTimecode(frame) == DvFindTimecode(s_pal->frames[k]) &&
                                  DvFindRecDate(frame) == DvFindRecDate(s_pal->frames[k]));
            }
            fromElsewhere += found ? 0 : 1;
        }
        // A source frame feeds the bottom fields of one or two output frames.
        EXPECT_LE(fromElsewhere, kept(kDamaged) ? 0u : 2u);
    }
}

// The sound to WAV: a type 1 file's damaged frame gives silence of its length; a type 2 file's sound stream
// is read alone, and its picture's damage is nothing to it.
TEST_P(DamagedRecordingsTest, SoundToWavKeepsItsLength) {
    for (const bool type1 : {false, true}) {
        SCOPED_TRACE(type1 ? "type 1" : "type 2");
        const std::string input = source(type1);
        const std::string output = dir.file(type1 ? "sound1.wav" : "sound2.wav");
        TCdm cdm;
        ASSERT_TRUE(cdm.BuildAudioGraph(input, output)) << cdm.lastBuildError();
        const auto warnings = run(cdm).warnings;
        if (type1 || GetParam().damage == Damage::CutShort) {
            EXPECT_EQ(warnings, damageWarnings());
        } else {
            EXPECT_TRUE(warnings.empty()) << warnings.front();
        }
        const auto pcm = test::decodeSoundWithFfmpeg(output);
        EXPECT_EQ(pcm.size(), sourceFrames() * 48000 / 25 * 2);
    }
}

}  // namespace
}  // namespace moraven
