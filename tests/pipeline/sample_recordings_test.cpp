#include "pipeline/samples/sample_recordings.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "formats/date_time.h"
#include "formats/dv_audio.h"
#include "formats/dv_frame_analysis.h"
#include "formats/dvcodes.h"
#include "pipeline/media_framework_module.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

// Seconds from one recording date to the next (whole-second dates).
double secondsBetween(const TDvRecDate& from, const TDvRecDate& to) {
    const auto a = dvRecDateTime(from);
    const auto b = dvRecDateTime(to);
    return a && b ? (b->days() - a->days()) * 86'400.0 : -1e9;
}

TEST(SampleRecordingsTest, EverySampleIsDvWithDatesTimecodesAndSoundThatOtherReadersAccept) {
    const MediaFrameworkLoad& load = loadMediaFramework();
    ASSERT_NE(load.framework, nullptr) << load.error;
    test::TempDir dir;
    const std::string folder = (dir.path() / "cache" / "samples").string();
    const SampleRecordingsResult result = ensureSampleRecordings(folder, load.framework);
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.paths.size(), sampleRecordingSpecs().size());

    for (std::size_t k = 0; k < result.paths.size(); ++k) {
        const SampleRecordingSpec& spec = sampleRecordingSpecs()[k];
        const std::string& path = result.paths[k];
        SCOPED_TRACE(spec.fileName);
        const AviDemuxer demuxer(path);
        ASSERT_EQ(demuxer.streams().size(), spec.type1 ? 1u : 2u);
        const auto& samples = demuxer.streams()[0].samples;
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(spec.frames));

        std::vector<std::uint8_t> frame;
        int jumps = 0;
        TDvRecDate previous;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_TRUE(demuxer.readSample(0, i, frame));
            ASSERT_EQ(DvSystemOf(frame), spec.system);
            EXPECT_EQ(DvIs16x9(frame), spec.wide);
            const DvFoundRecDate found = DvFindRecDate(frame);
            ASSERT_EQ(found.sequence, 0);
            const TDvTimecode timecode = DvFindTimecode(frame);
            const int rate = spec.system == DvSystem::Pal625 ? 25 : 30;
            EXPECT_EQ(timecode.seconds * rate + timecode.frames, static_cast<int>(i));
            const auto format = DvReadAudioFormat(frame);
            ASSERT_TRUE(format.has_value());
            EXPECT_EQ(format->sampleRate, spec.sampleRate);
            // Dates are whole seconds: a step of one is the clock running, more is a new scene.
            if (i > 0 && secondsBetween(previous, found.date) > 1.5) ++jumps;
            previous = found.date;
        }
        EXPECT_EQ(jumps, spec.jumpAtFrame >= 0 ? 1 : 0);

        if (test::programAvailable("ffprobe")) {
            const auto probe = test::runProgram({"ffprobe", "-v", "warning", "-show_entries",
                                                 "stream=codec_name,width,height,display_aspect_ratio", "-of",
                                                 "csv=p=0", path});
            EXPECT_EQ(probe.errors, "");
            const std::string size = spec.system == DvSystem::Pal625 ? "720,576" : "720,480";
            EXPECT_NE(probe.output.find("dvvideo," + size + "," + (spec.wide ? "16:9" : "4:3")), std::string::npos)
                << probe.output;
        }
    }

    // A second call keeps what is there.
    const auto before = std::filesystem::last_write_time(result.paths.front());
    const SampleRecordingsResult again = ensureSampleRecordings(folder, load.framework);
    EXPECT_EQ(again.paths, result.paths);
    EXPECT_EQ(std::filesystem::last_write_time(result.paths.front()), before);
}

}  // namespace
}  // namespace moraven
