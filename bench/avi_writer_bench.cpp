// Writing a DV type 2 file from frames in memory, against cp of a file of the same size.
//
// The default run writes ten minutes of PAL DV (15,000 frames of 144,000 bytes and 48 kHz stereo sound, about
// 2.2 GB) once into a temporary folder, copies it with cp, and removes both. MORAVEN_BENCH_MINUTES changes
// the length (a fraction such as 0.5 is fine); MORAVEN_BENCH_DIR the folder (default: the system's temporary
// folder). Neither the writer nor cp waits for the data to reach the disk: both measure what a user waits
// for.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/avi_demuxer.h"
#include "formats/avi_writer.h"
#include "support/dv_clip.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"

namespace {

using namespace moraven;

constexpr std::size_t kSoundBlock = 7680;  // one PAL frame of 48 kHz 16-bit stereo

double minutesToWrite() {
    const char* text = std::getenv("MORAVEN_BENCH_MINUTES");
    const double minutes = text ? std::atof(text) : 10.0;
    return minutes > 0 ? minutes : 10.0;
}

// A second of real DV frames from ffmpeg when it is there, else synthetic frames of the same size.
std::vector<std::vector<std::uint8_t>> sourceFrames(const std::string& folder) {
    if (test::programAvailable("ffmpeg")) {
        test::DvClipOptions options;
        options.frames = 25;
        try {
            auto clip = test::makeDvClipWithFfmpeg(folder, options);
            if (!clip.frames.empty()) return std::move(clip.frames);
        } catch (const std::exception&) {
        }
    }
    std::vector<std::vector<std::uint8_t>> frames;
    for (int k = 0; k < 25; ++k) frames.push_back(test::DvFrameBuilder(DvSystem::Pal625).bytes());
    return frames;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WriteDvType2AgainstCp(benchmark::State& state) {
    const char* folderSetting = std::getenv("MORAVEN_BENCH_DIR");
    const auto frameCount = static_cast<std::size_t>(minutesToWrite() * 60 * 25);
    test::TempDir scratch;
    const std::string folder = folderSetting ? std::string(folderSetting) : scratch.path().string();
    const auto frames = sourceFrames(scratch.path().string());
    std::vector<std::uint8_t> sound(kSoundBlock);
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<std::uint8_t>(i * 7);

    for (auto _ : state) {
        const std::string written = folder + "/moraven-bench-written.avi";
        const std::string copied = folder + "/moraven-bench-copied.avi";
        std::filesystem::remove(written);
        std::filesystem::remove(copied);

        const auto writeStart = std::chrono::steady_clock::now();
        {
            AviWriter writer(written);
            writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
            writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
            for (std::size_t k = 0; k < frameCount; ++k) {
                writer.writeSample(0, frames[k % frames.size()]);
                writer.writeSample(1, sound);
            }
            writer.close();
        }
        const double writeSeconds = secondsSince(writeStart);
        const double bytes = static_cast<double>(std::filesystem::file_size(written));

        // The file read back: every frame indexed, across its RIFF forms when it passed 1 GiB, and the
        // first, middle and last frames as written.
        {
            AviDemuxer demuxer(written);
            std::vector<std::uint8_t> frame;
            bool same = demuxer.streamCount() == 2 && demuxer.streams()[0].sampleCount() == frameCount &&
                        demuxer.streams()[1].sampleCount() == frameCount;
            for (std::size_t k : {std::size_t{0}, frameCount / 2, frameCount - 1}) {
                same = same && demuxer.readSample(0, k, frame) && frame == frames[k % frames.size()];
            }
            if (!same) state.SkipWithError("the written file does not read back");
            state.counters["riff_forms"] = static_cast<double>(demuxer.riffFormCount());
        }

        const auto copyStart = std::chrono::steady_clock::now();
        const auto copy = test::runProgram({"cp", written, copied});
        const double copySeconds = secondsSince(copyStart);
        if (copy.exitCode != 0) state.SkipWithError(("cp failed: " + copy.errors).c_str());

        std::filesystem::remove(written);
        std::filesystem::remove(copied);

        state.SetIterationTime(writeSeconds);
        state.counters["frames"] = static_cast<double>(frameCount);
        state.counters["GB"] = bytes / 1e9;
        state.counters["writer_MB/s"] = bytes / 1e6 / writeSeconds;
        state.counters["cp_MB/s"] = bytes / 1e6 / copySeconds;
        state.counters["writer/cp"] = copySeconds / writeSeconds;  // above 1: the writer is faster
        state.counters["frames/s"] = static_cast<double>(frameCount) / writeSeconds;
    }
}

BENCHMARK(BM_WriteDvType2AgainstCp)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
