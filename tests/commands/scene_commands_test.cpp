#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/command_line.h"
#include "commands/scene_commands.h"
#include "formats/scene_file.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "window/video_record.h"

namespace moraven {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string textOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = test::readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// A real list over real DV files, the command table and the runner, asking through a script.
class SceneCommandsTest : public ::testing::Test {
protected:
    // A PAL DV type 2 file: 40 frames recorded on 15 July 2004 at 13:05:09 (timecode 01:02:03:04), 30
    // frames on 12 March 2006 at 15:46:37 (timecode 05:06:07:08), 20 frames on 12 March 2006 at 16:00:00.
    std::string threeRecordings(const std::string& name) {
        test::DvFrameBuilder first;
        first.recDate(0, 2004, 7, 15, 13, 5, 9).timecode(0, 1, 2, 3, 4);
        test::DvFrameBuilder second;
        second.recDate(0, 2006, 3, 12, 15, 46, 37).timecode(0, 5, 6, 7, 8);
        test::DvFrameBuilder third;
        third.recDate(0, 2006, 3, 12, 16, 0, 0).timecode(0, 6, 0, 0, 0);
        const std::string path = dir.file(name);
        test::writeDvAvi(path, 90, [&](std::size_t i) -> const std::vector<std::uint8_t>& {
            return i < 40 ? first.bytes() : i < 70 ? second.bytes() : third.bytes();
        });
        return path;
    }

    void load(const std::string& path) {
        core.list.BeginListLoad("Loading files");
        ASSERT_GE(core.list.AddFile(path), 0);
        core.list.EndListLoad();
    }

    void run(const std::string& switches) { core.runSwitches({switches}); }

    // A trash that removes the file, or refuses it when `trashRefuses`.
    RunnerHooks hooks() {
        RunnerHooks h;
        h.MoveToRecycleBin = [this](const std::string& path) {
            trashed.push_back(path);
            return !trashRefuses && std::filesystem::remove(path);
        };
        return h;
    }
    bool hasScenes() const {
        const auto* record = dynamic_cast<const VideoFileRecord*>(&core.list.record(0));
        return record != nullptr && record->fichier().HasScenes();
    }

    test::TempDir dir;
    Settings settings;
    DateFormatLocale locale = englishDateFormatLocale();
    test::ScriptedInteraction ui;
    std::vector<std::string> trashed;
    bool trashRefuses = false;
    CommandCore core{settings, locale, ui, videoRecordFactory(FileRecordOptions{}), hooks()};
};

TEST_F(SceneCommandsTest, TheLettersSAndXFollowTheNamingCommandsInTheSwitchTable) {
    std::string letters;
    for (const SwitchEntry& entry : core.switches) letters += entry.letter;
    EXPECT_EQ(letters, "edtqbr12npigszwx");
    const tFileAction* text = core.tch.findByName("ScenesText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->param.Name, "ScenesText");
    EXPECT_EQ(core.tch.findByName("CreerScenes")->param.Name, "CreerScenes");
    EXPECT_TRUE(text->OnExecution);  // taken from CreerScenes
    EXPECT_EQ(core.al.find("amScenesText")->shortcut, "Ctrl+X");
    EXPECT_EQ(core.al.find("amCreerScenes")->shortcut, "Ctrl+S");
}

TEST_F(SceneCommandsTest, TheSceneListHasElevenHeaderLinesOneLinePerSceneAndFiveClosingLines) {
    const std::string video = threeRecordings("Holiday Clip.avi");
    load(video);
    core.tch.scenes().textWriter().now = [] { return *encodeDateTime({2007, 1, 2, 3, 4, 5, 0}); };
    run("+x");

    const std::string path = dir.file("Holiday Clip_scn.txt");
    const std::vector<std::string> expected{
        "//--------------------------------------------------",
        "// List of scenes of the video file:",
        "//",
        "// ***   " + asciiLower(video) + "   ***",
        "//",
        "// exported by Moraven version 6.0.4 En",
        "// with format:",
        "// scene number, start, end, datecode, timecode, duration",
        "//",
        "//--------------------------------------------------",
        "",
        "  1,00.00.00.00,00.00.01.14,7/15/2004 13:05:09,01.02.03.04,00.00.01.14",
        "  2,00.00.01.15,00.00.02.19,3/12/2006 15:46:37,05.06.07.08,00.00.01.04",
        "  3,00.00.02.20,00.00.03.14,3/12/2006 16:00:00,06.00.00.00,00.00.00.19",
        "",
        "//--------------------------------------------------",
        "// Terminated on Tuesday, January 2, 2007 at 03:04:05",
        "// Visit my web site https://moraven.example.org/",
        "//",
    };
    EXPECT_EQ(linesOf(textOf(path)), expected);
    // The text export runs the detection itself and writes no scene file.
    EXPECT_FALSE(std::filesystem::exists(dir.file("Holiday Clip.scn")));
    EXPECT_TRUE(ui.yesNoQuestions.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(core.list.rowCount(), 1);
}

TEST_F(SceneCommandsTest, EachSceneCommandCarriesItsOwnWriterAndNoOtherCommandHasOne) {
    const tFileAction* creer = core.tch.findByName("CreerScenes");
    const tFileAction* text = core.tch.findByName("ScenesText");
    ASSERT_NE(creer, nullptr);
    ASSERT_NE(text, nullptr);
    const TSceneWriter* fileWriter = sceneWriterOf(creer->param);
    ASSERT_NE(fileWriter, nullptr);
    EXPECT_EQ(fileWriter->name(), "CreerScenes");
    EXPECT_EQ(sceneWriterOf(text->param), &core.tch.scenes().textWriter());
    for (const tFileAction& command : core.tch.commands()) {
        if (&command == creer || &command == text) continue;
        EXPECT_EQ(sceneWriterOf(command.param), nullptr) << command.Name;
    }

    // The shared execution given a parameter without a writer scans nothing, and the entry is still
    // read again.
    const std::string video = threeRecordings("clip.avi");
    load(video);
    std::string newfichier;
    TchUpdateType update = TchUpdateType::utNone;
    text->OnExecution(TParam{"ScenesText", {}}, core.list.record(0), newfichier, update);
    EXPECT_EQ(update, TchUpdateType::utModify);
    EXPECT_EQ(newfichier, video);
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip_scn.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip.scn")));
}

TEST_F(SceneCommandsTest, CreateScnWritesTheSceneFileAndTheEntryShowsIt) {
    const std::string video = threeRecordings("clip.avi");
    load(video);
    run("+s");
    const auto contents = readSceneFile(dir.file("clip.scn"));
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->videoPath, video);
    EXPECT_EQ(contents->sceneCount, 3);
    // The first scene's end, then the start of the second and third scenes.
    EXPECT_EQ(contents->boundaries, (std::vector<std::int32_t>{40, 40, 70}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("clip_scn.txt")));
    ASSERT_EQ(core.list.rowCount(), 1);
    EXPECT_TRUE(hasScenes());  // read again after the command
}

TEST_F(SceneCommandsTest, DeleteScnMovesTheSceneFileToTheTrashAfterTheQuestion) {
    const std::string video = threeRecordings("clip.avi");
    load(video);
    run("+z");  // no scene file: the command does not apply
    EXPECT_TRUE(ui.yesNoQuestions.empty());
    EXPECT_TRUE(trashed.empty());

    run("+s");
    load(video);  // read again: it now has a scene file
    ASSERT_TRUE(hasScenes());
    const std::string scn = dir.file("clip.scn");
    ui.answer({Answer::No, Answer::Yes});
    run("+z");
    EXPECT_TRUE(trashed.empty());
    EXPECT_TRUE(std::filesystem::exists(scn));
    run("+z");
    EXPECT_EQ(ui.yesNoQuestions, std::vector<std::string>(2, "Do you really want to move the file " + scn +
                                                                 " to the recycle bin?"));
    EXPECT_EQ(trashed, std::vector<std::string>{scn});
    EXPECT_FALSE(std::filesystem::exists(scn));
    EXPECT_FALSE(hasScenes());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SceneCommandsTest, ASceneFileThatCannotBeMovedShowsTheErrorAndLeavesTheEntry) {
    const std::string video = threeRecordings("clip.avi");
    const std::string scn = dir.write("clip.scn", {1, 2, 3});
    load(video);
    trashRefuses = true;
    ui.answer({Answer::Yes});
    run("+z");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "Impossible to delete " + scn + "\r\nThe file may be presently in use or may be read only");
    EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
    EXPECT_TRUE(std::filesystem::exists(scn));
    EXPECT_TRUE(hasScenes());
}

TEST_F(SceneCommandsTest, OutputsStayInTheVideosFolderWhateverTheSaveFolder) {
    test::TempDir other;
    settings.sauverDansLeMemeDossier = false;
    settings.dossierPourSauver = other.path().string() + "/";
    const std::string video = threeRecordings("clip.avi");
    load(video);
    run("+sx");
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip.scn")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("clip_scn.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(other.path()));
}

TEST_F(SceneCommandsTest, AnExistingOutputIsReplacedOnlyAfterYes) {
    const std::string video = threeRecordings("clip.avi");
    load(video);
    const std::string scn = dir.write("clip.scn", {'o', 'l', 'd'});
    const std::string txt = dir.write("clip_scn.txt", {'o', 'l', 'd'});

    ui.answer({Answer::No, Answer::No});
    run("+sx");
    EXPECT_EQ(ui.yesNoQuestions,
              (std::vector<std::string>{"Do you want to replace the existing file " + scn + " ?",
                                        "Do you want to replace the existing file " + txt + " ?"}));
    EXPECT_EQ(test::readWholeFile(scn).size(), 3u);
    EXPECT_EQ(textOf(txt), "old");

    ui.answer({Answer::Yes, Answer::Yes});
    run("+sx");
    EXPECT_EQ(ui.answersLeft(), 0u);
    EXPECT_EQ(readSceneFile(scn)->sceneCount, 3);
    EXPECT_EQ(linesOf(textOf(txt)).size(), 11u + 3u + 5u);
}

TEST_F(SceneCommandsTest, AQuestionOf255CharactersGivesWayToTheShortOne) {
    // A folder deep enough that "Do you want to replace the existing file " + path + " ?" passes 255.
    std::string relative = "deep";
    while (dir.file(relative).size() < 230) relative += "/abcdefghijklmnopqrstuvwxyz";
    const std::string folder = dir.file(relative);
    std::filesystem::create_directories(folder);
    test::DvFrameBuilder frame;
    frame.recDate(0, 2004, 7, 15, 13, 5, 9);
    const std::string video = folder + "/clip.avi";
    test::writeDvAvi(video, 20,
                     [&](std::size_t) -> const std::vector<std::uint8_t>& { return frame.bytes(); });
    load(video);
    dir.write(relative + "/clip.scn", {'o'});
    dir.write(relative + "/clip_scn.txt", {'o'});
    ui.answer({Answer::No, Answer::No});
    run("+sx");
    EXPECT_EQ(ui.yesNoQuestions, (std::vector<std::string>{"Do you want to replace the existing scn-file ?",
                                                           "Do you want to replace the existing file ?"}));
}

TEST_F(SceneCommandsTest, AListThatCannotBeCreatedEndsTheCommandSilently) {
    const std::string video = threeRecordings("clip.avi");
    load(video);
    std::filesystem::create_directory(dir.file("clip_scn.txt"));
    ui.answer({Answer::Yes});  // the folder is in the way: the replace question comes
    run("+x");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("clip_scn.txt")));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(core.list.rowCount(), 1);
}

TEST(SceneTextWriterTest, CloseWithoutOpenAndAFailedOpenWriteNothing) {
    test::TempDir dir;
    SceneTextWriter writer;
    writer.CloseScenes();
    SceneVideo video;
    video.fullPath = dir.file("missing/clip.avi");
    EXPECT_FALSE(writer.OpenScenes(video));
    writer.WriteScene(TSceneInfo{});
    writer.CloseScenes();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(replaceExtension("/a.b/clip", "_scn.txt"), "/a.b/clip_scn.txt");
    EXPECT_EQ(sceneTextPath("/v/clip.avi"), "/v/clip_scn.txt");
}

}  // namespace
}  // namespace moraven
