#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "formats/dvcodes.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/external_tools.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

test::ProgramResult moraven(std::vector<std::string> args) {
    args.insert(args.begin(), MORAVEN_EXECUTABLE);
    return test::runProgram(args);
}

TEST(CommandLineCliTest, WithoutTheLetterHAndWithoutADisplayTheWindowCannotStart) {
    test::ScopedEnvironment environment;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.unset(name);
    test::TempDir dir;
    const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
    // "/home..." style parameters that name an existing folder are paths, not the letters h, o, m, e.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"+dc", clip},
                                                 {"/d", "/c", clip},
                                                 {clip},
                                                 {dir.path().string(), clip},
                                                 {}}) {
        const auto result = moraven(args);
        EXPECT_EQ(result.exitCode, 2) << (args.empty() ? "" : args.front());
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errors.find("no display is available"), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find("+hd FILE"), std::string::npos) << result.errors;
    }
    EXPECT_EQ(test::readWholeFile(clip).size(), 4u);
}

TEST(CommandLineCliTest, TheWindowRunsTheLettersOnItsFilesAndClosesAfterC) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir config;
    test::TempDir data;
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());
    environment.set("XDG_DATA_HOME", data.path().string());
    environment.set("QT_QPA_PLATFORM", "offscreen");
    test::TempDir dir;
    test::DvClipOptions options;
    options.creationTime = "2004-07-15T13:05:09Z";
    const std::string clip = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);

    // m: no question (nobody is there to answer one); c: the window closes when the commands are done.
    const auto result = moraven({"+dmc", clip});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_2004.07.15_01.05.09_pm.avi")));
    EXPECT_FALSE(std::filesystem::exists(clip));
    // The settings were saved when the window closed.
    EXPECT_TRUE(std::filesystem::exists(config.file("registry.reg")));
}

TEST(CommandLineCliTest, HiddenModeRenamesAfterTheDatecodeWithoutAnyDisplay) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir config;
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());  // no registry file: the defaults
    test::TempDir data;
    environment.set("XDG_DATA_HOME", data.path().string());  // the Send To entry of a first run
    environment.unset("DISPLAY");
    environment.unset("WAYLAND_DISPLAY");
    test::TempDir dir;
    test::DvClipOptions options;
    options.creationTime = "2004-07-15T13:05:09Z";
    const std::string clip = test::makeDvAviWithFfmpeg(dir.path().string(), "clip.avi", options);
    dir.write("clip.scn", {1, 2, 3});
    const std::string notes = dir.write("notes.txt", {'n'});

    const auto result = moraven({"+hd", clip, notes, dir.file("missing.avi")});
    // The missing file is told and fails the run; the others are done all the same.
    EXPECT_EQ(result.exitCode, 1) << result.errors;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors,
              "moraven: Cannot use the file " + dir.file("missing.avi") + ": the file does not exist\n");
    // "Format pour Ajouter Datecode" at its default, yyyy.mm.dd_hh.nn.ss_am/pm.
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_2004.07.15_01.05.09_pm.avi")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_2004.07.15_01.05.09_pm.scn")));
    EXPECT_FALSE(std::filesystem::exists(clip));
    EXPECT_TRUE(std::filesystem::exists(notes));

    // Run again on the renamed file with the letter given twice: two more datecodes.
    const auto twice = moraven({"/hd", dir.file("clip_2004.07.15_01.05.09_pm.avi"), "+d"});
    EXPECT_EQ(twice.exitCode, 0) << twice.errors;
    EXPECT_TRUE(std::filesystem::exists(
        dir.file("clip_2004.07.15_01.05.09_pm_2004.07.15_01.05.09_pm_2004.07.15_01.05.09_pm.avi")));
    // The shortened name is free again: "Shorten the name" brings the file back to its first name.
    const auto shortened = moraven(
        {"+hq", dir.file("clip_2004.07.15_01.05.09_pm_2004.07.15_01.05.09_pm_2004.07.15_01.05.09_pm.avi")});
    EXPECT_EQ(shortened.exitCode, 0) << shortened.errors;
    EXPECT_TRUE(std::filesystem::exists(clip));
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip.scn")));
}

TEST(CommandLineCliTest, LetterEMovesWritableFilesToTheTrashAndReportsThoseItCannotMove) {
    test::TempDir config;
    test::TempDir data;
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());
    environment.set("XDG_DATA_HOME", data.path().string());
    test::TempDir dir;
    const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
    const std::string kept = dir.write("kept.avi", {'R', 'I', 'F', 'F'});
    std::filesystem::permissions(kept, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);

    const auto result = moraven({"+he", clip, kept});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    EXPECT_FALSE(std::filesystem::exists(clip));
    EXPECT_TRUE(std::filesystem::exists(data.file("Trash/files/clip.avi")));
    EXPECT_TRUE(std::filesystem::exists(kept));  // a read-only file is not offered for deletion

    // No trash can be made under a regular file: the file stays, the failure is told, the status is 1.
    const std::string again = dir.write("again.avi", {'R', 'I', 'F', 'F'});
    environment.set("XDG_DATA_HOME", data.write("not-a-folder", {'x'}) + "/share");
    const auto refused = moraven({"+he", again});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.errors.find("Impossible to delete " + again), std::string::npos) << refused.errors;
    EXPECT_TRUE(std::filesystem::exists(again));
}

// Hidden mode starts and ends as the window does: the Send To entry follows "Sendto", the settings are saved
// when "Sauver préférences en quittant" is set (a first run writes the defaults), and the list becomes the
// default playlist when "Sauver Liste en quittant" is set.
TEST(CommandLineCliTest, HiddenModeStartsAndEndsAsTheWindowDoes) {
    test::TempDir config;
    test::TempDir data;
    test::TempDir playlists;
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", config.path().string());
    environment.set("XDG_DATA_HOME", data.path().string());
    environment.unset("DISPLAY");
    environment.unset("WAYLAND_DISPLAY");
    test::TempDir dir;
    const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
    const std::string entry = data.file("applications/Moraven.desktop");
    const std::string registry = config.file("registry.reg");
    const auto readText = [](const std::string& path) {
        const auto bytes = test::readWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    };

    // A first run: the defaults are saved, with "Sendto" on and its entry made.
    const auto first = moraven({"+h", clip});
    EXPECT_EQ(first.exitCode, 0) << first.errors;
    EXPECT_EQ(first.errors, "");
    ASSERT_TRUE(std::filesystem::exists(registry));
    const std::string saved = readText(registry);
    EXPECT_NE(saved.find("\"Sendto\"=dword:00000001"), std::string::npos) << saved;
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_FALSE(std::filesystem::exists(playlists.file("PlayList.txt")));

    // "Sendto" off, the list saved at the end into our playlist folder, the settings not saved.
    std::string changed =
        std::regex_replace(saved, std::regex("\"Sendto\"=dword:0000000."), "\"Sendto\"=dword:00000000");
    changed = std::regex_replace(changed, std::regex("\"Sauver Liste en quittant\"=dword:0000000."),
                                 "\"Sauver Liste en quittant\"=dword:00000001");
    changed = std::regex_replace(changed, std::regex("(\"Sauver pr[^\"\n]* en quittant\")=dword:0000000."),
                                 "$1=dword:00000000");
    changed = std::regex_replace(changed, std::regex("\"Dossier des PlayList\"=\"[^\n]*"),
                                 "\"Dossier des PlayList\"=\"" + playlists.path().string() + "/\"");
    ASSERT_NE(changed, saved);
    {
        std::ofstream out(registry, std::ios::binary | std::ios::trunc);
        out << changed;
    }
    const auto second = moraven({"+h", clip});
    EXPECT_EQ(second.exitCode, 0) << second.errors;
    EXPECT_EQ(second.errors, "");
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(readText(registry), changed) << "the settings are not saved when the setting says so";
    const std::string playlist = readText(playlists.file("PlayList.txt"));
    EXPECT_NE(playlist.find("     " + clip + "\r\n"), std::string::npos) << playlist;
}

// Hidden mode over a folder of its own, with the default settings, no display and a trash of its own.
class HiddenModeCliTest : public testing::Test {
protected:
    void SetUp() override {
        m_environment.set("MORAVEN_CONFIG_HOME", m_config.path().string());
        m_environment.set("XDG_DATA_HOME", data.path().string());
        m_environment.unset("DISPLAY");
        m_environment.unset("WAYLAND_DISPLAY");
    }

    // A DV type 2 file of 20 frames recorded on 15 July 2004 at 13:05:09, PAL unless told otherwise.
    std::string dvClip(const std::string& name, DvSystem system = DvSystem::Pal625) {
        test::DvFrameBuilder frame(system);
        frame.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
        const std::string path = dir.file(name);
        test::DvAviOptions options;
        options.system = system;
        test::writeDvAvi(
            path, 20, [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); },
            options);
        return path;
    }

    test::TempDir dir;
    test::TempDir data;

private:
    test::TempDir m_config;
    test::ScopedEnvironment m_environment;
};

TEST_F(HiddenModeCliTest, AMissingPathIsToldAndNeverReadAsLetters) {
    const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
    const std::string archive = dir.file("archive");  // holds "e": once read as "send to the trash"
    const auto result = moraven({"+h", clip, archive});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "moraven: Cannot use the file " + archive + ": the file does not exist\n");
    EXPECT_TRUE(std::filesystem::exists(clip));
    EXPECT_FALSE(std::filesystem::exists(data.file("Trash/files/clip.avi")));
}

TEST_F(HiddenModeCliTest, ACapitalExtensionRenamesTheFileAskedForAndNoOther) {
    const std::string clip = dvClip("CLIP.AVI");
    const std::string other = dir.write("CLIP.avi", {'R', 'I', 'F', 'F'});
    const auto result = moraven({"+hd", clip});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.errors, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("CLIP_2004.07.15_01.05.09_pm.avi")));
    EXPECT_FALSE(std::filesystem::exists(clip));
    EXPECT_EQ(test::readWholeFile(other).size(), 4u);
}

TEST_F(HiddenModeCliTest, AFileWithoutARecordingDateKeepsItsNameAndDates) {
    const std::string other = dir.write("other.avi", {'R', 'I', 'F', 'F'});
    const std::string broken = dir.write("broken.avi", {'n', 'o', 'p', 'e'});
    const auto before = std::filesystem::last_write_time(other) - std::chrono::hours(24 * 1000);
    std::filesystem::last_write_time(other, before);
    const auto result = moraven({"+hdrb", other, broken});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    // Nothing done is said, and is no failure.
    EXPECT_EQ(result.errors, "moraven: \"Add the datecode\" applies to none of the 2 files given\n"
                             "moraven: \"Modify the filedate\" applies to none of the 2 files given\n"
                             "moraven: \"Rename\" applies to none of the 2 files given\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_EQ(std::filesystem::last_write_time(other), before);
}

TEST_F(HiddenModeCliTest, ARenameThatFailsIsToldWithItsReason) {
    // With the datecode the name passes 255 bytes. Written under a short name first: the writer's
    // temporary name is longer than the file's.
    const std::string clip = dir.file(std::string(240, 'c') + ".avi");
    std::filesystem::rename(dvClip("short.avi"), clip);
    const auto result = moraven({"+hd", clip});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors.rfind("moraven: Cannot rename " + clip + " to ", 0), 0u) << result.errors;
    EXPECT_NE(result.errors.find("File name too long"), std::string::npos) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(clip));
}

TEST_F(HiddenModeCliTest, ConversionsWriteTheirOutputsBesideTheSourceAndKeepItsPacks) {
    const std::string clip = dvClip("clip.avi");
    const auto before = test::readWholeFile(clip);
    const auto type1 = moraven({"+h1w", clip});
    EXPECT_EQ(type1.exitCode, 0) << type1.errors;
    EXPECT_EQ(type1.errors, "");
    EXPECT_EQ(test::readWholeFile(clip), before) << "the source is never changed";
    AviDemuxer converted(dir.file("clip_type1.avi"));
    ASSERT_NE(converted.firstStream(AviStreamKind::Interleaved), nullptr);
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(converted.readSample(0, 19, frame));
    EXPECT_EQ(DvFindRecDate(frame).date, (TDvRecDate{2004, 7, 15, 13, 5, 9}));
    // "w" runs on every file of the list, the type 1 output that "1" added included.
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip.wav")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_type1.wav")));

    // Again: the outputs exist, hidden mode asks nothing and replaces them, leaving nothing else behind.
    const auto again = moraven({"+h12", clip, dir.file("clip_type1.avi")});
    EXPECT_EQ(again.exitCode, 0) << again.errors;
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_type1_type2.avi")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

// Ctrl+C while a file is being written: the conversion ends as Esc ends it, the output is a whole AVI file
// under its own name whose picture and sound end together, nothing is left behind, no further file is started,
// and the status is the shell's 130.
TEST_F(HiddenModeCliTest, AnInterruptionClosesTheFileBeingWrittenWhole) {
    if (!test::programAvailable("ffmpeg") || !test::programAvailable("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    test::DvClipOptions options;
    options.frames = 250;
    const std::string first = test::makeDvAviWithFfmpeg(dir.path().string(), "first.avi", options);
    const std::string second = dir.file("second.avi");
    std::filesystem::copy_file(first, second);
    const auto result = test::runProgram({MORAVEN_EXECUTABLE, "+hi", first, second}, [this](pid_t pid) {
        // Once the first output holds a few frames.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(dir.path(), error)) {
                if (entry.path().filename().string().find("first_in") != std::string::npos &&
                    entry.file_size(error) > 1'000'000) {
                    ::kill(pid, SIGINT);
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(result.exitCode, 130) << result.errors;
    EXPECT_NE(result.errors.find("interrupted"), std::string::npos) << result.errors;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"first.avi", "first_in.avi", "second.avi"}));
    const auto probe = test::runProgram({"ffprobe", "-v", "warning", "-show_entries", "stream=nb_frames", "-of",
                                         "csv=p=0", dir.file("first_in.avi")});
    EXPECT_EQ(probe.errors, "");
    int frames = 0;
    int samples = 0;
    ASSERT_EQ(std::sscanf(probe.output.c_str(), "%d %d", &frames, &samples), 2) << probe.output;
    EXPECT_GT(frames, 0);
    EXPECT_LE(frames, options.frames);
    EXPECT_NEAR(samples, frames * 1920, 1920) << frames << " frames";
}

// The conversions that decode and encode pictures write their file beside each input they apply to, of the
// system and shape ffprobe then reads; the others leave a file alone and say that they do not apply to it, and a
// file that cannot be read is told.
TEST_F(HiddenModeCliTest, TheReencodingLettersWriteTheirConvertedFiles) {
    if (!test::programAvailable("ffmpeg") || !test::programAvailable("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    const std::string pal = dvClip("pal.avi");
    const std::string ntsc = dvClip("ntsc.avi", DvSystem::Ntsc525);
    const std::string mjpeg = dir.file("other.avi");
    ASSERT_EQ(test::runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t",
                                "0.4", "-c:v", "mjpeg", mjpeg})
                  .exitCode,
              0);
    const std::string broken = dir.write("broken.avi", {'R', 'I', 'F', 'F'});
    struct Case {
        const char* letters;
        std::string file;
        const char* written;  // empty: the command does not apply to the file
        const char* probed;   // the written file's video as ffprobe reads it
    };
    for (const Case& c : {Case{"+hn", pal, "pal_ntsc.avi", "dvvideo,720,480"},
                          Case{"+hp", ntsc, "ntsc_pal.avi", "dvvideo,720,576"},
                          Case{"+hi", pal, "pal_in.avi", "dvvideo,720,576"},
                          Case{"+hi", ntsc, "ntsc_in.avi", "dvvideo,720,480"},
                          Case{"+hg", mjpeg, "other_dvtype2.avi", "dvvideo,720,576"},
                          Case{"+hn", ntsc, "", ""}, Case{"+hp", pal, "", ""}, Case{"+hg", pal, "", ""}}) {
        SCOPED_TRACE(std::string(c.letters) + " " + c.file);
        const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
        const auto result = moraven({c.letters, c.file});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.output, "");
        const auto after = std::distance(std::filesystem::directory_iterator(dir.path()), {});
        if (*c.written == 0) {
            EXPECT_NE(result.errors.find("\" does not apply to " + c.file + "\n"), std::string::npos)
                << result.errors;
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(after, before + 1);
        const auto probe = test::runProgram({"ffprobe", "-v", "warning", "-select_streams", "v:0", "-show_entries",
                                             "stream=codec_name,width,height", "-of", "csv=p=0", dir.file(c.written)});
        EXPECT_EQ(probe.errors, "");
        EXPECT_EQ(probe.output, std::string(c.probed) + "\n");
    }
    const auto result = moraven({"+hg", broken});
    EXPECT_EQ(result.exitCode, 1);
    const std::string told = "moraven: Cannot convert " + broken + ": ";
    EXPECT_EQ(result.errors.rfind(told, 0), 0u) << result.errors;
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken_dvtype2.avi")));
}

// Tape captures hold damaged frames: a frame of the other system and a zeroed one neither stop a conversion
// nor fail the run; each conversion names them in one warning. A capture cut short still converts.
TEST_F(HiddenModeCliTest, DamagedAndCutShortRecordingsConvertWithOneWarning) {
    if (!test::programAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed";
    test::DvFrameBuilder good(DvSystem::Pal625);
    good.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
    test::DvFrameBuilder other(DvSystem::Ntsc525);
    other.recDate(0, 2004, 7, 15, 13, 5, 9);
    const std::vector<std::uint8_t> zeroed(kDvPalFrameBytes, 0);
    const std::string damaged = dir.file("damaged.avi");
    test::writeDvAvi(damaged, 20, [&](std::size_t i) -> const std::vector<std::uint8_t>& {
        return i == 5 ? other.bytes() : (i == 9 ? zeroed : good.bytes());
    });
    const std::string cut = dvClip("cut.avi");
    {
        const AviDemuxer demuxer(cut);
        const AviSample last = demuxer.streams().front().samples.back();
        std::filesystem::resize_file(cut, last.offset + last.size / 2);
    }
    struct Case {
        const char* letters;
        std::string file;
        const char* written;
        std::string warning;  // on standard error after "moraven: " and the output's path
    };
    const std::string twoReplaced = "2 frames could not be decoded and were replaced";
    const std::string truncated = "the file is truncated: 19 of 20 frames could be read";
    for (const Case& c : {Case{"+hn", damaged, "damaged_ntsc.avi", twoReplaced},
                          Case{"+hi", damaged, "damaged_in.avi", twoReplaced},
                          Case{"+h1", damaged, "damaged_type1.avi", twoReplaced},
                          Case{"+hn", cut, "cut_ntsc.avi", truncated},
                          Case{"+hi", cut, "cut_in.avi", truncated}}) {
        SCOPED_TRACE(std::string(c.letters) + " " + c.file);
        const auto result = moraven({c.letters, c.file});
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.errors, "moraven: " + dir.file(c.written) + ": " + c.warning + "\n");
        const AviDemuxer written(dir.file(c.written));
        ASSERT_FALSE(written.streams().empty());
        EXPECT_GE(written.streams().front().sampleCount(), 19u);
    }
}

TEST_F(HiddenModeCliTest, AConversionThatCannotWriteIsToldAndFailsTheRun) {
    const std::string clip = dvClip("clip.avi");
    std::filesystem::create_directory(dir.file("clip_type1.avi"));  // a folder where the output goes
    const auto result = moraven({"+h1", clip});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("clip_type1.avi"), std::string::npos) << result.errors;
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("clip_type1.avi")));
}

}  // namespace
}  // namespace moraven
