#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "commands/housekeeping_commands.h"
#include "runner_fixture.h"

namespace moraven {
namespace {

class HousekeepingCommandsTest : public test::RunnerFixture {
protected:
    HousekeepingCommandsTest() {
        context.MoveToRecycleBin = [this](const std::string& path) {
            if (refusedByTrash.count(path)) return false;
            trashed.push_back(path);
            std::filesystem::remove(path);
            return true;
        };
        context.showError = [this](const std::string& text) { errors.push_back(text); };
        context.showWarning = [this](const std::string& text) { warnings.push_back(text); };
        context.openWithDesktop = [this](const std::string& path) { opened.push_back(path); };
        context.startProgram = [this](const std::string& program, const std::vector<std::string>& arguments) {
            started.emplace_back(program, arguments);
        };
    }

    void run(const char* name) { runner.executeAction(*al.find(name)); }
    void readOnly(const std::string& name) {
        test::FakeListRecord::Facts facts;
        facts.attributes = 1;
        records.setByName(name, facts);
    }

    std::set<std::string> refusedByTrash;
    std::vector<std::string> trashed, errors, warnings, opened;
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
};

TEST_F(HousekeepingCommandsTest, DeletingAsksForEachFileUntilAllAndKeepsWhatTheTrashRefused) {
    load({"a.avi", "b.avi", "c.avi", "d.avi"});
    select({"a.avi", "b.avi", "c.avi", "d.avi"});
    refusedByTrash.insert(dir.file("d.avi"));
    ui.answer({Answer::Yes, Answer::No, Answer::All});

    run("amSupprimerFichier");

    ASSERT_EQ(ui.severalQuestions.size(), 3u);
    EXPECT_EQ(ui.severalQuestions[0],
              "Do you really want to delete a.avi ?\r\nIf yes, it will be sent to the Recycle bin.\r\n"
              "If you type \"All\", no more confimation will be asked for.");
    EXPECT_EQ(trashed, (std::vector<std::string>{dir.file("a.avi"), dir.file("c.avi")}));
    EXPECT_EQ(captions(), (std::vector<std::string>{"b.avi", "d.avi"}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Impossible to delete " + dir.file("d.avi") + "\r\nIt is perhaps in use or read only");
}

TEST_F(HousekeepingCommandsTest, ALongNameGetsTheShortDeleteQuestion) {
    const std::string name = std::string(240, 'n') + ".avi";
    load({name});
    select({name});
    ui.answer({Answer::No});
    run("amSupprimerFichier");
    ASSERT_EQ(ui.yesNoQuestions.size(), 1u);
    EXPECT_EQ(ui.yesNoQuestions[0],
              "Do you really want to delete this file?\r\nIf yes, it will be sent to the Recycle bin.");
    EXPECT_TRUE(trashed.empty());
}

TEST_F(HousekeepingCommandsTest, DeletingIsNotOfferedWhenEverySelectedFileIsReadOnly) {
    readOnly("locked.avi");
    readOnly("frozen.avi");
    load({"locked.avi", "frozen.avi", "free.avi"});
    select({"locked.avi", "frozen.avi"});
    runner.UpdateActionStates();
    EXPECT_FALSE(al.find("amSupprimerFichier")->enabled);
    select({"locked.avi", "free.avi"});
    runner.UpdateActionStates();
    EXPECT_TRUE(al.find("amSupprimerFichier")->enabled);

    // A read-only file of a larger selection is passed over without a question.
    ui.answer({Answer::Yes});
    run("amSupprimerFichier");
    EXPECT_EQ(trashed, std::vector<std::string>{dir.file("free.avi")});
    EXPECT_TRUE(std::filesystem::exists(dir.file("locked.avi")));
}

TEST_F(HousekeepingCommandsTest, RemovingFromTheListNeverTouchesTheDisk) {
    load({"a.avi", "b.avi", "c.avi"});
    select({"a.avi", "c.avi"});
    run("amOterFichier");
    EXPECT_EQ(captions(), std::vector<std::string>{"b.avi"});
    EXPECT_TRUE(std::filesystem::exists(dir.file("a.avi")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("c.avi")));
    EXPECT_TRUE(trashed.empty());
    EXPECT_TRUE(ui.severalQuestions.empty());
}

TEST_F(HousekeepingCommandsTest, TheDesktopOpensTheFoldersAndFilesOfTheCurrentFile) {
    load({"a.avi", "b.avi"});
    select({"b.avi", "a.avi"});
    run("amDossierParent");
    run("amDefaultPlayer");
    EXPECT_EQ(opened, (std::vector<std::string>{dir.path().string() + "/", dir.file("b.avi")}));
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.avi", "b.avi"}));
}

TEST_F(HousekeepingCommandsTest, OpenWithStartsTheProgramOncePerSelectedFileWithItsPath) {
    settings.fichierF3 = dir.write("viewer", {'#', '!'});
    settings.fichierSnapwick = "/opt/grabber/Snap Grab.exe";
    tch.BuildCommandMenus(al);
    const std::vector<std::string> names{"a.avi", "b b.avi", "c \"q\".avi", "d.avi", "e.avi"};
    load(names);
    select(names);

    run("amOpenFichierF3");
    ASSERT_EQ(started.size(), 5u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(started[i].first, settings.fichierF3);
        EXPECT_EQ(started[i].second, std::vector<std::string>{dir.file(names[i])});
    }

    started.clear();
    run("afSnapwick");  // the window's own action runs the Snapwick command on the current file
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].first, settings.fichierSnapwick);

    applyLauncherCaptions(al, settings);
    EXPECT_EQ(al.find("amOpenFichierF3")->caption, "Open with viewer");
    EXPECT_EQ(al.find("afSnapwick")->caption, "Open with Snap Grab");
    EXPECT_EQ(al.find("amOpenFichierF4")->caption, "Open with ");
}

TEST_F(HousekeepingCommandsTest, OpenWithIsOfferedOnlyWhenItsProgramExistsAtStart) {
    for (const auto& [program, offered] :
         std::vector<std::pair<std::string, bool>>{{"", false}, {dir.file("missing"), false},
                                                   {dir.path().string(), false},
                                                   {dir.write("tool", {'x'}), true}}) {
        settings.fichierF4 = program;
        tch.BuildCommandMenus(al);
        EXPECT_EQ(al.find("amOpenFichierF4")->visible, offered) << program;
    }
}

TEST_F(HousekeepingCommandsTest, TheRiffReportOfABusyFileEndsInAWarning) {
    load({"a.avi"});
    select({"a.avi"});
    std::vector<std::string> reported;
    bool reportMade = true;
    context.showRiffReport = [&](const std::string& path) {
        reported.push_back(path);
        return reportMade;
    };
    run("amRiffHeader");
    EXPECT_TRUE(warnings.empty());
    reportMade = false;
    run("amRiffHeader");
    EXPECT_EQ(reported, (std::vector<std::string>{dir.file("a.avi"), dir.file("a.avi")}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "The file " + dir.file("a.avi") + " is busy. It may be used by another process. Please wait.");
}

}  // namespace
}  // namespace moraven
