#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/scene_file.h"
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

// Hidden mode with the default settings and no display.
class SceneCommandsCliTest : public testing::Test {
protected:
    void SetUp() override {
        m_environment.set("MORAVEN_CONFIG_HOME", m_config.path().string());
        m_environment.set("XDG_DATA_HOME", m_data.path().string());  // hidden mode writes the Send To entry
        m_environment.unset("DISPLAY");
        m_environment.unset("WAYLAND_DISPLAY");
    }

    // A PAL DV type 2 file: 40 frames recorded on 15 July 2004, then 30 frames on 12 March 2006.
    std::string twoRecordings(const std::string& name) {
        test::DvFrameBuilder first;
        first.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
        test::DvFrameBuilder second;
        second.recDate(0, 2006, 3, 12, 15, 46, 37).timecode(0, 5, 6, 7, 8);
        const std::string path = dir.file(name);
        test::writeDvAvi(path, 70, [&](std::size_t i) -> const std::vector<std::uint8_t>& {
            return i < 40 ? first.bytes() : second.bytes();
        });
        return path;
    }

    test::TempDir dir;

private:
    test::TempDir m_config;
    test::TempDir m_data;
    test::ScopedEnvironment m_environment;
};

TEST_F(SceneCommandsCliTest, HiddenSWritesTheSceneFileAndXTheSceneList) {
    const std::string clip = twoRecordings("clip.avi");

    const auto scenes = moraven({"+hs", clip});
    EXPECT_EQ(scenes.exitCode, 0) << scenes.errors;
    EXPECT_EQ(scenes.output, "");
    EXPECT_EQ(scenes.errors, "");
    const auto contents = readSceneFile(dir.file("clip.scn"));
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->sceneCount, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip_scn.txt")));

    // An existing list is replaced without a question in hidden mode.
    dir.write("clip_scn.txt", {'o', 'l', 'd'});
    const auto text = moraven({"+hx", clip});
    EXPECT_EQ(text.exitCode, 0) << text.errors;
    EXPECT_EQ(text.errors, "");
    const std::vector<std::uint8_t> bytes = test::readWholeFile(dir.file("clip_scn.txt"));
    const std::string list(bytes.begin(), bytes.end());
    std::size_t lines = 0;
    for (std::size_t at = list.find("\r\n"); at != std::string::npos; at = list.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 11u + 2u + 5u) << list;
    EXPECT_NE(list.find("\r\n  1,00.00.00.00,00.00.01.14,"), std::string::npos) << list;
    EXPECT_NE(list.find("\r\n  2,00.00.01.15,00.00.02.19,"), std::string::npos) << list;
    EXPECT_EQ(list.rfind("//\r\n"), list.size() - 4);
}

TEST_F(SceneCommandsCliTest, TheSceneListReplacesALinkInsteadOfWritingThroughIt) {
    const std::string clip = twoRecordings("clip.avi");
    const std::string victim = dir.write("victim.txt", {'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink(victim, dir.file("clip_scn.txt"));

    const auto text = moraven({"+hx", clip});
    EXPECT_EQ(text.exitCode, 0) << text.errors;
    EXPECT_EQ(test::readWholeFile(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("clip_scn.txt")));
    const std::vector<std::uint8_t> bytes = test::readWholeFile(dir.file("clip_scn.txt"));
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("\r\n  2,00.00.01.15,"), std::string::npos);
    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST_F(SceneCommandsCliTest, OutputsThatCannotBeWrittenAreToldWithStatus1) {
    // The list's name is three bytes longer than the video's: 252 bytes of name give 256.
    // Written under a short name first: the writer's temporary name is longer than the file's.
    const std::string longName = dir.file(std::string(248, 'x') + ".avi");
    std::filesystem::rename(twoRecordings("long.avi"), longName);
    const auto text = moraven({"+hx", longName});
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_NE(text.errors.find("_scn.txt"), std::string::npos) << text.errors;
    EXPECT_NE(text.errors.find("File name too long"), std::string::npos) << text.errors;

    // A scene file holds the video's path after a one-byte length: a longer path cannot be written.
    std::filesystem::create_directory(dir.file(std::string(200, 'f')));
    const std::string deep = dir.file(std::string(200, 'f') + "/" + std::string(60, 'd') + ".avi");
    std::filesystem::rename(twoRecordings("deep.avi"), deep);
    const auto scenes = moraven({"+hs", deep});
    EXPECT_EQ(scenes.exitCode, 1);
    EXPECT_NE(scenes.errors.find("cannot write the scene file"), std::string::npos) << scenes.errors;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file(std::string(200, 'f'))), {}), 1);
}

}  // namespace
}  // namespace moraven
