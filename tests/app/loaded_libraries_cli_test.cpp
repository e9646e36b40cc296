// Which shared libraries each use of the program maps, read from the dynamic loader's own trace
// (LD_DEBUG=files names every object it loads, dlopen included): the command line must not pay for the
// window's toolkit or for FFmpeg, and the window must still get both.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

// The libraries that only the window and the media framework may bring in.
const std::vector<std::string> kHeavyLibraries = {"libQt6Widgets.so", "libQt6Gui.so", "libavcodec.so",
                                                  "libavformat.so", "libavutil.so", "libswscale.so",
                                                  "libQt6Multimedia.so"};

bool mapped(const test::ProgramResult& run, const std::string& library) {
    return run.errors.find("file=" + library) != std::string::npos ||
           run.errors.find("/" + library) != std::string::npos;
}

test::ProgramResult tracedMoraven(std::vector<std::string> args) {
    args.insert(args.begin(), MORAVEN_EXECUTABLE);
    return test::runProgram(args);
}

std::string writeClip(const test::TempDir& dir) {
    test::DvFrameBuilder frame;
    frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
    const std::string path = dir.file("clip.avi");
    test::writeDvAvi(path, 5, [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); });
    return path;
}

TEST(LoadedLibrariesCliTest, CommandLineUsesLoadNeitherTheWindowToolkitNorFfmpeg) {
    test::TempDir config;
    test::TempDir dir;
    const std::string clip = writeClip(dir);
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());
    test::TempDir data;
    environment.set("XDG_DATA_HOME", data.path().string());  // hidden mode writes the Send To entry
    environment.set("LD_DEBUG", "files");
    environment.unset("DISPLAY");
    environment.unset("WAYLAND_DISPLAY");

    const std::vector<std::vector<std::string>> uses = {
        {"--version"}, {"--help"},        {"--info", clip}, {"--info", "--json", clip},
        {"--scenes", clip}, {"--riff", clip},
        {"+h12w", clip},  // the conversions that copy frames: DV type 1 and 2, the sound to WAV
        {"+hd", clip},
    };
    for (const auto& use : uses) {
        const test::ProgramResult run = tracedMoraven(use);
        EXPECT_EQ(run.exitCode, 0) << use.front();
        // The trace is there: the program's own toolkit core shows in it.
        EXPECT_TRUE(mapped(run, "libQt6Core.so")) << use.front() << "\n" << run.errors.substr(0, 2000);
        for (const std::string& library : kHeavyLibraries) {
            EXPECT_FALSE(mapped(run, library)) << use.front() << " mapped " << library;
        }
    }
}

TEST(LoadedLibrariesCliTest, TheWindowLoadsItsToolkitAndFfmpegForTheAboutPanel) {
    test::TempDir config;
    test::TempDir data;
    test::TempDir dir;
    const std::string clip = writeClip(dir);
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());
    environment.set("XDG_DATA_HOME", data.path().string());
    environment.set("QT_QPA_PLATFORM", "offscreen");
    environment.set("LD_DEBUG", "files");

    // c: the window closes once it has taken in its parameters.
    const test::ProgramResult run = tracedMoraven({"+c", clip});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(mapped(run, "libQt6Widgets.so"));
    // The codec module, and with it FFmpeg, was loaded for the About panel's version line.
    EXPECT_TRUE(mapped(run, "libmoraven_ffmpeg.so"));
    EXPECT_TRUE(mapped(run, "libavcodec.so"));
}

}  // namespace
}  // namespace moraven
