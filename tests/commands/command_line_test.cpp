#include "commands/command_line.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::FakeListRecord;
using Names = std::vector<std::string>;

class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest() {
        settings.formatPourAjouterDatecode = "yyyymmdd";
        FakeListRecord::Facts dv;
        dv.datecode = *encodeDateTime({2006, 3, 12, 15, 46, 37, 0});
        dv.datecodeText = "12/03/2006";
        dv.timecodeText = "00.01.02.03";
        records.setDefault(dv);
    }

    std::unique_ptr<CommandCore> core() {
        return std::make_unique<CommandCore>(settings, locale, ui, records.factory());
    }
    std::string file(const std::string& name) { return dir.write(name, {'R', 'I', 'F', 'F'}); }
    Names listed(const CommandCore& c) const {
        Names names;
        for (int i = 0; i < c.list.rowCount(); ++i) names.push_back(c.list.caption(i));
        return names;
    }
    std::string letters(const CommandCore& c) const {
        std::string result;
        for (const SwitchEntry& entry : c.switches) result += entry.letter;
        return result;
    }

    test::TempDir dir;
    Settings settings;
    DateFormatLocale locale = englishDateFormatLocale();
    test::ScriptedInteraction ui;  // any question would throw: hidden mode asks none
    struct Records : test::FakeRecordFactory {
        void setDefault(const FakeListRecord::Facts& facts) { defaults = facts; }
        RecordFactory factory() {
            return [this](const std::string& path) -> std::unique_ptr<ListRecord> {
                if (path.find("locked") != std::string::npos) throw std::runtime_error("cannot open " + path);
                return std::make_unique<FakeListRecord>(path, defaults);
            };
        }
        FakeListRecord::Facts defaults;
    } records;
};

TEST_F(CommandLineTest, SwitchParametersBeginWithPlusOrWithASlashThatNamesNothing) {
    const std::string folder = dir.path().string();
    const auto exists = [&](const std::string& p) { return p == folder || p == "/d"; };
    struct Case {
        std::string parameter;
        bool isSwitch;
    };
    const std::vector<Case> cases{{"+dc", true},
                                  {"/c", true},
                                  {"/help", true},
                                  {"+?", true},
                                  {"+r.avi", false},
                                  {"/x.y", false},
                                  {folder, false},
                                  {"/d", false},
                                  {"d", false},
                                  {"", false},
                                  {"+", true},
                                  // A second "/" makes a path, whether it exists or not; after a first
                                  // "/" only letters, digits and "?" make a switch.
                                  {"/videos/archive", false},
                                  {"/home/", false},
                                  {"+a/b", false},
                                  {"/d-x", false},
                                  {"/my clips", false},
                                  {"/?", true},
                                  {"/h2", true}};
    for (const Case& c : cases) EXPECT_EQ(isSwitchParameter(c.parameter, exists), c.isSwitch) << c.parameter;

    const Names help{"/help"};
    for (char letter : {'h', 'e', 'l', 'p'}) EXPECT_TRUE(switchesHold(help, letter, exists)) << letter;
    EXPECT_FALSE(switchesHold(help, 'd', exists));
    EXPECT_FALSE(switchesHold({folder}, 'h', exists)) << "an absolute path is never read as letters";
    EXPECT_TRUE(switchesHold({"+HD"}, 'h', exists)) << "letters count in any case";
}

TEST_F(CommandLineTest, TheSwitchTableFollowsTheActionListAndLeavesUncheckedCommandsOut) {
    EXPECT_EQ(letters(*core()), "edtqbr12npigszwx");
    settings.actions = {{"amAjouterTimecode", 0}};
    const auto c = core();
    EXPECT_EQ(letters(*c), "edqbr12npigszwx");
    const auto rows = commandLineHelpRows(c->switches, c->al);
    const std::vector<std::pair<std::string, std::string>> expected{{"Add datecode", " +d"},
                                                                    {"Close after commands", " +c"},
                                                                    {"Convert in DV type 1", " +1"},
                                                                    {"Convert in DV type 2", " +2"},
                                                                    {"Convert in NTSC", " +n"},
                                                                    {"Convert in Pal", " +p"},
                                                                    {"Create a scn file", " +s"},
                                                                    {"Delete the file", " +e"},
                                                                    {"Delete the scn file", " +z"},
                                                                    {"Export the scenes to text", " +x"},
                                                                    {"Extact audio", " +w"},
                                                                    {"Help", " +?"},
                                                                    {"Hide the window", " +h"},
                                                                    {"Inlay", " +i"},
                                                                    {"Modify the date of file", " +b"},
                                                                    {"No confirmation", " +m"},
                                                                    {"Recompress in DV type 2", " +g"},
                                                                    {"Rename", " +r"},
                                                                    {"Shorten the name", " +q"}};
    EXPECT_EQ(rows, expected);
}

TEST_F(CommandLineTest, HiddenModeAddsTheFilesAndRunsTheLettersInTableOrder) {
    const auto c = core();
    const Names parameters{"+htd", file("a.avi"), file("notes.txt"), dir.file("missing.avi"),
                           "/no/such/file.txt"};
    c->runHidden(parameters, pathExistsOnDisk);
    EXPECT_TRUE(c->state.NoConfirmation);
    EXPECT_EQ(listed(*c), Names{"a_20060312_00.01.02.03.avi"}) << "d runs before t";
    EXPECT_TRUE(std::filesystem::exists(dir.file("a_20060312_00.01.02.03.avi")));
    EXPECT_TRUE(ui.yesNoQuestions.empty());
    EXPECT_TRUE(ui.severalQuestions.empty());
    // The files given by name that are not there are told; a file that is there but not a video is not.
    std::vector<std::string> errors;
    for (const auto& message : ui.messages) {
        if (message.kind == MessageKind::Error) errors.push_back(message.text);
    }
    EXPECT_EQ(errors, (Names{"Cannot use the file " + dir.file("missing.avi") + ": the file does not exist",
                             "Cannot use the file /no/such/file.txt: the file does not exist"}));
}

TEST_F(CommandLineTest, AMissingPathIsToldAndNeverReadAsLetters) {
    const auto c = core();
    std::vector<std::string> trashed;
    c->context.MoveToRecycleBin = [&](const std::string& path) {
        trashed.push_back(path);
        return false;
    };
    const std::string clip = file("clip.avi");
    const std::string archive = dir.file("archive");  // absolute, no ".", holds "e" and "h": no switch
    c->runHidden({"+h", clip, archive}, pathExistsOnDisk);
    EXPECT_TRUE(trashed.empty());
    EXPECT_TRUE(std::filesystem::exists(clip));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Cannot use the file " + archive + ": the file does not exist");
    EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
}

TEST_F(CommandLineTest, HiddenModeReportsTheFailuresThatTheWindowPassesOverInSilence) {
    settings.formatPourAjouterDatecode = "'" + std::string(300, 'n') + "'";  // a name no folder takes
    const std::string clip = file("a.avi");
    {
        const auto c = core();
        c->runVisible({"+dm", clip}, pathExistsOnDisk);
        EXPECT_TRUE(ui.messages.empty()) << "the window says nothing";
    }
    const auto c = core();
    c->runHidden({"+hd", clip}, pathExistsOnDisk);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(ui.messages[0].text.rfind("Cannot rename " + clip + " to a_nnn", 0), 0u) << ui.messages[0].text;
    EXPECT_EQ(listed(*c), Names{"a.avi"});
}

TEST_F(CommandLineTest, ALetterGivenTwiceRunsTwiceOnEveryQualifyingEntry) {
    const auto c = core();
    c->runHidden({"+hd", file("a.avi"), file("b.avi"), "/d"}, pathExistsOnDisk);
    EXPECT_EQ(listed(*c), (Names{"a_20060312_20060312.avi", "b_20060312_20060312.avi"}));
}

TEST_F(CommandLineTest, AnUncheckedCommandsLetterIsIgnored) {
    settings.actions = {{"amAjouterDatecode", 0}};
    const auto c = core();
    c->runHidden({"+hdq", file("a_pm.avi")}, pathExistsOnDisk);
    EXPECT_EQ(listed(*c), Names{"a.avi"});
}

TEST_F(CommandLineTest, AParameterWithAFullStopIsAFileNameNotASwitch) {
    const auto c = core();
    c->runHidden({"+r.avi", file("a.avi")}, pathExistsOnDisk);
    EXPECT_EQ(listed(*c), Names{"a.avi"});
}

TEST_F(CommandLineTest, AFileThatCannotBeReadIsReportedAndTheOthersStillRun) {
    const auto c = core();
    const std::string locked = file("locked.avi");
    c->runHidden({"+hd", locked, file("a.avi")}, pathExistsOnDisk);
    EXPECT_EQ(listed(*c), Names{"a_20060312.avi"});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "cannot open " + locked);
    EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
}

TEST_F(CommandLineTest, TheVisibleStartRunsTheLettersWithQuestionsAndClosesAfterC) {
    struct Case {
        Names switches;
        bool asked;
        bool closeAfter;
    };
    for (const Case& c :
         {Case{{"+dc"}, true, true}, Case{{"/d", "/c"}, true, true}, Case{{"+dm"}, false, false}}) {
        test::TempDir folder;
        const std::string clip = folder.write("a.avi", {'R'});
        Names parameters = c.switches;
        parameters.push_back(clip);
        ui.yesNoQuestions.clear();
        if (c.asked) ui.answer({Answer::Yes});
        const auto core = this->core();
        const CommandCore::VisibleRun run = core->runVisible(parameters, pathExistsOnDisk);
        EXPECT_EQ(listed(*core), Names{"a_20060312.avi"}) << c.switches.front();
        EXPECT_EQ(ui.yesNoQuestions.size(), c.asked ? 1u : 0u) << c.switches.front();
        EXPECT_EQ(run.closeAfter, c.closeAfter) << c.switches.front();
        EXPECT_FALSE(run.showAbout);
        EXPECT_FALSE(core->state.NoConfirmation);  // only for the time of the run
    }
}

TEST_F(CommandLineTest, AQuestionMarkShowsTheAboutPanelInsteadOfRunningCommands) {
    struct Case {
        Names switches;
        bool closeAfter;
    };
    for (const Case& c : {Case{{"+d?"}, false}, Case{{"+c", "+?"}, true}, Case{{"+?", "+c"}, false}}) {
        test::TempDir folder;
        Names parameters = c.switches;
        parameters.push_back(folder.write("a.avi", {'R'}));
        const auto core = this->core();
        const CommandCore::VisibleRun run = core->runVisible(parameters, pathExistsOnDisk);
        EXPECT_TRUE(run.showAbout);
        EXPECT_EQ(run.closeAfter, c.closeAfter) << c.switches.front();
        EXPECT_EQ(listed(*core), Names{"a.avi"}) << "the file is added, no command runs";
    }
}

TEST_F(CommandLineTest, HiddenInteractionWritesFailuresToItsErrorStream) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* errors = open_memstream(&buffer, &size);
    ASSERT_NE(errors, nullptr);
    HiddenInteraction hidden(errors);
    EXPECT_TRUE(hidden.askYesNo("Replace?"));
    hidden.showMessage("Ready", MessageKind::Information);
    EXPECT_FALSE(hidden.failed());
    hidden.showMessage("The file cannot be deleted.\r\n", MessageKind::Error);
    EXPECT_TRUE(hidden.failed());
    std::fclose(errors);
    EXPECT_EQ(std::string(buffer, size), "moraven: The file cannot be deleted.\n");
    std::free(buffer);
}

}  // namespace
}  // namespace moraven
