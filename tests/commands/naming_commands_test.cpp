#include "commands/naming_commands.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include <gtest/gtest.h>

#include "runner_fixture.h"
#include "support/unprivileged.h"

namespace moraven {
namespace {

using test::FakeListRecord;
using test::RunnerFixture;
using Names = std::vector<std::string>;

DateTime recordingDate() { return *encodeDateTime({2006, 3, 12, 15, 46, 37, 0}); }

FakeListRecord::Facts dvFacts() {
    FakeListRecord::Facts facts;
    facts.datecode = recordingDate();
    facts.datecodeText = "12/03/2006 15:46:37";
    facts.timecodeText = "00.12.34.05";
    facts.created = *encodeDateTime({2007, 1, 2, 3, 4, 5, 0});
    facts.modified = *encodeDateTime({2007, 1, 2, 3, 4, 6, 0});
    return facts;
}

class NamingTest : public RunnerFixture {
protected:
    NamingTest() { state.NoConfirmation = true; }

    void setDv(const std::string& name) { records.setByName(name, dvFacts()); }
    void run(const std::string& command, const Names& names) {
        select(names);
        ASSERT_TRUE(runner.executeAction(*al.find("am" + command)));
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.file(name)); }
    FakeListRecord recordOf(const std::string& name, const FakeListRecord::Facts& facts = dvFacts()) {
        return FakeListRecord(dir.file(name), facts);
    }
};

TEST_F(NamingTest, FreeNamesCountTheFileItselfAndTakeTheFirstFreeNumber) {
    const std::string candidate = dir.file("clip_X");
    EXPECT_EQ(freeName(candidate), candidate);
    file("clip_X.avi");
    EXPECT_EQ(freeName(candidate), candidate + "(1)");
    file("clip_X(1).avi");
    EXPECT_EQ(freeName(candidate), candidate + "(2)");
    std::filesystem::create_directory(dir.file("clip_X(2).avi"));  // a folder takes the name as well
    EXPECT_EQ(freeName(candidate), candidate + "(3)");
}

TEST_F(NamingTest, SevenCharactersOfTheDateBecomeFullStops) {
    EXPECT_EQ(replaceForbiddenCharacters("a<b>c:d\"e/f\\g|h i_j.k"), "a.b.c.d.e.f.g.h i_j.k");
}

TEST_F(NamingTest, AddDatecodeRenamesTheFileAndItsSceneFileAndMovesTheRow) {
    settings.formatPourAjouterDatecode = "yyyy/mm/dd hh:nn:ss";
    setDv("clip.avi");
    load({"clip.avi", "other.avi"});
    file("clip.scn");
    file("other.scn");
    run("AjouterDatecode", {"clip.avi"});
    EXPECT_TRUE(exists("clip_2006.03.12 15.46.37.avi"));
    EXPECT_TRUE(exists("clip_2006.03.12 15.46.37.scn"));
    EXPECT_FALSE(exists("clip.avi"));
    EXPECT_FALSE(exists("clip.scn"));
    EXPECT_TRUE(exists("other.scn"));
    EXPECT_EQ(captions(), (Names{"clip_2006.03.12 15.46.37.avi", "other.avi"}));
    EXPECT_EQ(selectedNames(), Names{"clip_2006.03.12 15.46.37.avi"});
}

TEST_F(NamingTest, AddingTheDatecodeTwiceAppendsItTwiceAndShortenRemovesBoth) {
    settings.formatPourAjouterDatecode = "yyyymmdd";
    setDv("clip.avi");
    setDv("clip_20060312.avi");
    setDv("clip_20060312_20060312.avi");
    load({"clip.avi"});
    run("AjouterDatecode", {"clip.avi"});
    run("AjouterDatecode", {"clip_20060312.avi"});
    EXPECT_EQ(captions(), Names{"clip_20060312_20060312.avi"});
    run("PurgerNom", {"clip_20060312_20060312.avi"});
    EXPECT_EQ(captions(), Names{"clip.avi"});
    EXPECT_TRUE(exists("clip.avi"));
}

TEST_F(NamingTest, ATakenNameGetsTheNextNumber) {
    settings.formatPourAjouterDatecode = "'X'";
    setDv("clip.avi");
    load({"clip.avi"});
    file("clip_X.avi");
    file("clip_X(1).avi");
    run("AjouterDatecode", {"clip.avi"});
    EXPECT_EQ(captions(), Names{"clip_X(2).avi"});
}

TEST_F(NamingTest, AddTimecodeAppendsTheTimecodeTextUnchanged) {
    setDv("clip.avi");
    load({"clip.avi"});
    run("AjouterTimecode", {"clip.avi"});
    EXPECT_EQ(captions(), Names{"clip_00.12.34.05.avi"});
}

TEST_F(NamingTest, RenameUsesRootAndDateAndCountsTheFileItselfAsExisting) {
    settings.racinePourRenommer = "ClipDV_";
    settings.formatPourRenommer = "yyyymmdd_hh.nn.ss";
    setDv("a.avi");
    setDv("ClipDV_20060312_15.46.37.avi");
    load({"a.avi"});
    run("RenameScAn", {"a.avi"});
    EXPECT_EQ(captions(), Names{"ClipDV_20060312_15.46.37.avi"});
    run("RenameScAn", {"ClipDV_20060312_15.46.37.avi"});
    EXPECT_EQ(captions(), Names{"ClipDV_20060312_15.46.37(1).avi"});
}

TEST_F(NamingTest, ANameTheFileSystemRefusesLeavesTheFileAsItWas) {
    settings.racinePourRenommer = std::string(300, 'n');  // past the longest name a folder takes
    setDv("a.avi");
    load({"a.avi"});
    run("RenameScAn", {"a.avi"});
    EXPECT_EQ(captions(), Names{"a.avi"});
    EXPECT_TRUE(exists("a.avi"));
    EXPECT_TRUE(ui.messages.empty());

    // Where failures are reported (hidden mode), the reason comes along.
    std::vector<std::string> reports;
    context.reportFailure = [&](const std::string& text) { reports.push_back(text); };
    run("RenameScAn", {"a.avi"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Cannot rename " + dir.file("a.avi")), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("File name too long"), std::string::npos) << reports[0];
    EXPECT_TRUE(exists("a.avi"));
}

TEST_F(NamingTest, GeneratedNamesStayInTheFilesFolder) {
    struct Case {
        const char* command;
        std::string root;
        std::string pattern;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"RenameScAn", "../Up_", "yyyy", "...Up_2006.avi"},
        {"RenameScAn", "R_", "yyyy/mm/dd", "R_2006.03.12.avi"},
        {"RenameScAn", std::string("R\0_", 3) + "x", "yyyy", "R._x2006.avi"},
        {"RenameScAn", "/", "yyyy", ".2006.avi"},
        {"AjouterDatecode", "", std::string("yyyy\0", 5) + "mm", "clip_2006.03.avi"},
    };
    std::filesystem::create_directory(dir.file("sub"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        settings.racinePourRenommer = c.root;
        settings.formatPourRenommer = c.pattern;
        settings.formatPourAjouterDatecode = c.pattern;
        const std::string clip = "sub/clip.avi";
        setDv("clip.avi");
        setDv(c.expected);
        while (!list.empty()) list.deleteRow(0);
        load({clip});
        run(c.command, {clip});
        EXPECT_EQ(captions(), Names{c.expected});
        EXPECT_TRUE(exists("sub/" + c.expected));
        std::filesystem::remove(dir.file("sub/" + c.expected));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("sub")));
}

TEST_F(NamingTest, EveryRenameWorksOnTheListedFileWhateverTheCaseOfItsExtension) {
    settings.formatPourAjouterDatecode = "yyyymmdd";
    settings.racinePourRenommer = "R_";
    settings.formatPourRenommer = "yyyy";
    struct Case {
        const char* command;
        const char* listed;
        const char* renamed;
    };
    const std::vector<Case> cases{
        {"AjouterDatecode", "CLIP.AVI", "CLIP_20060312.avi"},
        {"AjouterTimecode", "CLIP.Avi", "CLIP_00.12.34.05.avi"},
        {"PurgerNom", "CLIP_pm.AVI", "CLIP.avi"},
        {"RenameScAn", "CLIP.AVI", "R_2006.avi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.listed);
        // Another file beside it has the name with a lower-case extension: it is never touched.
        const std::string other = dir.write(
            std::string(c.listed).substr(0, std::strlen(c.listed) - 4) + ".avi", {'o', 't', 'h', 'e', 'r'});
        setDv(c.listed);
        setDv(c.renamed);
        while (!list.empty()) list.deleteRow(0);
        load({c.listed});
        file(std::string(c.listed).substr(0, std::strlen(c.listed) - 4) + ".scn");
        run(c.command, {c.listed});
        EXPECT_EQ(captions(), Names{c.renamed});
        EXPECT_FALSE(exists(c.listed));
        EXPECT_EQ(test::readWholeFile(other).size(), 5u) << "the other file keeps its name and bytes";
        const std::string renamedBase = std::string(c.renamed).substr(0, std::strlen(c.renamed) - 4);
        EXPECT_TRUE(exists(renamedBase + ".scn")) << "the companion follows";
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::filesystem::remove_all(entry.path());
        }
    }
}

TEST_F(NamingTest, TheRenameStepNeverReplacesAFile) {
    file("clip.avi");
    file("taken.avi");
    file("clip.scn");
    std::string newfichier;
    TchUpdateType update = TchUpdateType::utRename;
    renameStep(dir.file("clip"), dir.file("taken"), newfichier, update);
    EXPECT_EQ(update, TchUpdateType::utNone);
    EXPECT_TRUE(newfichier.empty());
    EXPECT_TRUE(exists("clip.avi"));
    EXPECT_TRUE(exists("clip.scn"));
    EXPECT_EQ(test::readWholeFile(dir.file("taken.avi")).size(), 4u);

    // A taken scene name keeps the companion under its old name; the video is renamed all the same.
    file("new.scn");
    renameStep(dir.file("clip"), dir.file("new"), newfichier, update);
    EXPECT_EQ(update, TchUpdateType::utRename);
    EXPECT_EQ(newfichier, dir.file("new.avi"));
    EXPECT_TRUE(exists("clip.scn"));
}

TEST_F(NamingTest, ShortenCutsOnlyRemovablePartsOfTheFileName) {
    struct Case {
        const char* base;
        const char* shortened;
        bool applies;
    };
    const std::vector<Case> cases{
        {"clip_type2", "clip", true},
        {"clip_2006.03.12_03.46.37_pm", "clip", true},
        {"holiday_beach", "holiday_beach", false},
        {"clip_12a", "clip_12a", false},
        {"ClipDV_20060312_10.15.00_am_ntsc", "ClipDV", true},
        {"clip_PAL_In", "clip", true},
        {"clip_", "clip", true},
        {"clip_\xC3\xA9\xC3\xA0", "clip", true},  // accented letters do not count as letters
        {"plain", "plain", false},
        {"_12", "_12", false},  // the shortened name would be empty: the name stays
        {"_pm_12", "_pm", true},
        {"__", "_", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(shortenedBase(dir.file(c.base)), dir.file(c.shortened));
        const FakeListRecord record = recordOf(std::string(c.base) + ".avi");
        bool visible = true;
        bool enabled = true;
        tch.naming().PurgerNomFileCondition({}, record, visible, enabled);
        EXPECT_EQ(enabled, c.applies);
        EXPECT_EQ(visible, c.applies);
    }
    // An "_" in a folder name is never a cutting point.
    std::filesystem::create_directory(dir.file("my_2006"));
    EXPECT_EQ(shortenedBase(dir.file("my_2006/clip")), dir.file("my_2006/clip"));
    const FakeListRecord inFolder = recordOf("my_2006/clip.avi");
    bool visible = true;
    bool enabled = true;
    tch.naming().PurgerNomFileCondition({}, inFolder, visible, enabled);
    EXPECT_FALSE(enabled);
}

TEST_F(NamingTest, DatecodeAndTimecodeConditionsSkipAbsentValuesButNotOtherFiles) {
    struct Case {
        const char* text;
        bool isDv;
        bool datecodeApplies;
        bool timecodeApplies;
    };
    // A file that is not DV ("-") or that could not be read has no recording date: nothing writes one.
    for (const Case& c : std::vector<Case>{{"N/A", true, false, false},
                                           {"Error", true, false, false},
                                           {"Error", false, false, false},
                                           {"-", false, false, true},
                                           {"12/03/2006", true, true, true}}) {
        SCOPED_TRACE(c.text);
        FakeListRecord::Facts facts;
        facts.datecodeText = c.text;
        facts.timecodeText = c.text;
        facts.isDv = c.isDv;
        const FakeListRecord record = recordOf("a.avi", facts);
        bool visible = true;
        bool enabled = true;
        tch.naming().DatecodeFileCondition({}, record, visible, enabled);
        EXPECT_EQ(enabled, c.datecodeApplies);
        EXPECT_EQ(visible, c.datecodeApplies);
        tch.naming().TimecodeFileCondition({}, record, visible, enabled);
        EXPECT_EQ(enabled, c.timecodeApplies);
    }
    // The target itself is still computed from the value 0; the condition keeps the commands from it.
    FakeListRecord::Facts other;
    other.datecodeText = "-";
    settings.formatPourAjouterDatecode = "yyyymmdd hh.nn.ss";
    EXPECT_EQ(tch.naming().datecodeTarget(recordOf("a.avi", other)), dir.file("a_18991230 00.00.00"));
}

TEST_F(NamingTest, AFileThatIsNotDvKeepsItsNameAndDates) {
    FakeListRecord::Facts notDv;
    notDv.datecodeText = "-";
    notDv.timecodeText = "-";
    notDv.isDv = false;
    records.setByName("other.avi", notDv);
    load({"other.avi"});
    const std::string path = dir.file("other.avi");
    const struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    for (const char* command : {"AjouterDatecode", "RenameScAn", "FileDate"}) run(command, {"other.avi"});
    EXPECT_EQ(captions(), Names{"other.avi"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1100000000);
}

TEST_F(NamingTest, FreeNamesListAFolderOnceAndFollowTheRenamesMadeHere) {
    for (int i = 0; i < 50; ++i) file(i == 0 ? "X.avi" : "X(" + std::to_string(i) + ").avi");
    FreeNames names;
    const std::string candidate = dir.file("X");
    EXPECT_EQ(names.freeName(candidate), candidate + "(50)");
    EXPECT_EQ(names.freeName(dir.file("Y")), dir.file("Y"));
    // Renames made here keep the listing: released and taken names are known without a second look.
    std::filesystem::rename(dir.file("X(3).avi"), dir.file("Z.avi"));
    names.renamed(dir.file("X(3).avi"), dir.file("Z.avi"));
    EXPECT_EQ(names.freeName(candidate), candidate + "(3)");
    EXPECT_EQ(names.freeName(dir.file("Z")), dir.file("Z") + "(1)");
    std::filesystem::rename(dir.file("Z.avi"), dir.file("X(3).avi"));
    names.renamed(dir.file("Z.avi"), dir.file("X(3).avi"));
    EXPECT_EQ(names.freeName(candidate), candidate + "(50)");
    EXPECT_EQ(names.listings(), 1u);
}

TEST_F(NamingTest, ARenameThatFindsItsNameTakenMeanwhileTakesTheNextFreeOne) {
    settings.formatPourAjouterDatecode = "'X'";
    setDv("clip.avi");
    load({"clip.avi"});
    EXPECT_EQ(tch.naming().datecodeTarget(list.record(0)), dir.file("clip_X"));
    // Another program takes the name after the question, so quickly that the folder's time does not show it.
    struct stat folder {};
    ASSERT_EQ(::stat(dir.path().c_str(), &folder), 0);
    dir.write("clip_X.avi", {'r', 'a', 'c', 'e'});
    const struct timespec times[2] = {folder.st_atim, folder.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.path().c_str(), times, 0), 0);
    run("AjouterDatecode", {"clip.avi"});
    EXPECT_EQ(captions(), Names{"clip_X(1).avi"});
    EXPECT_EQ(test::readWholeFile(dir.file("clip_X.avi")).size(), 4u);
}

TEST_F(NamingTest, AFileDateThatCannotBeSetIsReportedWithItsReason) {
    setDv("gone.avi");
    load({"gone.avi"});
    std::filesystem::remove(dir.file("gone.avi"));
    std::vector<std::string> reports;
    context.reportFailure = [&](const std::string& text) { reports.push_back(text); };
    run("FileDate", {"gone.avi"});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(dir.file("gone.avi")), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("does not exist"), std::string::npos) << reports[0];
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(NamingTest, AFileWithoutDatecodeIsSkippedWithoutAQuestion) {
    load({"nodate.avi"});
    state.NoConfirmation = false;
    for (const char* command : {"AjouterDatecode", "RenameScAn", "FileDate", "AjouterTimecode"}) {
        run(command, {"nodate.avi"});
    }
    EXPECT_TRUE(ui.yesNoQuestions.empty());
    EXPECT_EQ(captions(), Names{"nodate.avi"});
}

TEST_F(NamingTest, QuestionsNameBothFilesAndFallBackWhenTooLong) {
    settings.formatPourAjouterDatecode = "yyyymmdd";
    settings.racinePourRenommer = "R_";
    settings.formatPourRenommer = "yyyy";
    const FakeListRecord record = recordOf("clip_pm.avi");
    std::string msg;
    tch.naming().AjouterDateCodeConfirmation({}, record, msg);
    EXPECT_EQ(msg,
              "Do you want to add a datecode to 'clip_pm.avi'\r\nand rename it to 'clip_pm_20060312.avi'?");
    tch.naming().AjouterTimecodeConfirmation({}, record, msg);
    EXPECT_EQ(msg, "Do you really want to add its timecode to the file '" + dir.file("clip_pm.avi") +
                       "'\r\nand rename it to '" + dir.file("clip_pm_00.12.34.05.avi") + "'?");
    tch.naming().RenameScAnConfirmation({}, record, msg);
    EXPECT_EQ(msg, "Do you want to rename the file  'clip_pm.avi' in 'R_2006.avi'?");
    tch.naming().PurgerNomConfirmation({}, record, msg);
    EXPECT_EQ(msg, "Do you want to shorten the name of 'clip_pm.avi'\r\nand rename it to 'clip.avi'?");
    tch.naming().FileDateConfirmation({}, record, msg);
    EXPECT_EQ(msg,
              "Do you really want to modify the dates of the file 'clip_pm.avi'\r\n\r\n"
              "Old creation date: 1/2/2007 03:04:05\r\nOld modified date:  1/2/2007 03:04:06\r\n"
              "New date : 3/12/2006 15:46:37");

    // 120 characters of name: two names pass 255, one does not; 240: neither.
    const std::string medium(120, 'm');
    const FakeListRecord mediumRecord = recordOf(medium + ".avi");
    tch.naming().AjouterDateCodeConfirmation({}, mediumRecord, msg);
    EXPECT_EQ(msg, "Do you want to add a datecode to this filename and rename it to\r\n'" + medium +
                       "_20060312.avi'?");
    tch.naming().FileDateConfirmation({}, recordOf(std::string(200, 'f') + ".avi"), msg);
    EXPECT_EQ(msg.rfind("Do you really want to modify the dates of this file?\r\n\r\nOld creation date: ", 0),
              0u);
    const std::string longName(240, 'l');
    const FakeListRecord longRecord = recordOf(longName + ".avi");
    tch.naming().AjouterDateCodeConfirmation({}, longRecord, msg);
    EXPECT_EQ(msg, "Do you want to add a datecode to this file?");
    tch.naming().PurgerNomConfirmation({}, longRecord, msg);
    EXPECT_EQ(msg, "Do you want to shorten the name of this file?");
    tch.naming().RenameScAnConfirmation({}, longRecord, msg);
    EXPECT_EQ(msg, "Do you want to rename this file in 'R_2006.avi'?");
    tch.naming().AjouterTimecodeConfirmation({}, longRecord, msg);
    EXPECT_EQ(msg, "Do you really want to add its timecode to the file?");
}

struct stat statOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info;
}

TEST_F(NamingTest, FileDateSetsTheModificationTimeAndKeepsTheAccessTime) {
    const std::string path = file("clip.avi");
    const struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    setDv("clip.avi");
    load({"clip.avi"});
    int suspended = 0;
    int resumed = 0;
    context.SuspendPreview = [&] { ++suspended; };
    context.EndSuspend = [&] { ++resumed; };
    const int reads = records.reads();
    run("FileDate", {"clip.avi"});

    std::tm local{};
    local.tm_year = 2006 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 12;
    local.tm_hour = 15;
    local.tm_min = 46;
    local.tm_sec = 37;
    local.tm_isdst = -1;
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_mtim.tv_sec, std::mktime(&local));
    EXPECT_EQ(after.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(records.reads(), reads + 1) << "the entry is read again";
    EXPECT_EQ(suspended, 1);
    EXPECT_EQ(resumed, 1);
}

TEST_F(NamingTest, FileDateLeavesAFileItCannotOpenForWritingUnchanged) {
    const std::string path = file("locked.avi");
    const struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ::chmod(path.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0755);
    const auto result =
        test::runUnprivileged([&] { return setFileModificationTime(path, recordingDate()) ? 1 : 0; });
    if (!result) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(*result, 0);
    EXPECT_EQ(statOf(path).st_mtim.tv_sec, 1100000000);

    // Through the command: no message, and the entry is read again all the same.
    setDv("locked.avi");
    load({"locked.avi"});
    const int reads = records.reads();
    std::string newfichier;
    TchUpdateType update = TchUpdateType::utNone;
    tch.naming().FileDateExecution({}, list.record(0), newfichier, update);
    EXPECT_EQ(update, TchUpdateType::utModify);
    EXPECT_EQ(newfichier, path);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(records.reads(), reads);
}

}  // namespace
}  // namespace moraven
