#include "commands/naming_commands.h"

#include <fcntl.h>
#include <sys/stat.h>

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
    settings.racinePourRenommer = "no/such/folder/";
    setDv("a.avi");
    load({"a.avi"});
    run("RenameScAn", {"a.avi"});
    EXPECT_EQ(captions(), Names{"a.avi"});
    EXPECT_TRUE(exists("a.avi"));
    EXPECT_TRUE(ui.messages.empty());
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
        bool applies;
    };
    for (const Case& c :
         std::vector<Case>{{"N/A", false}, {"Error", false}, {"-", true}, {"12/03/2006", true}}) {
        FakeListRecord::Facts facts;
        facts.datecodeText = c.text;
        facts.timecodeText = c.text;
        const FakeListRecord record = recordOf("a.avi", facts);
        bool visible = true;
        bool enabled = true;
        tch.naming().DatecodeFileCondition({}, record, visible, enabled);
        EXPECT_EQ(enabled, c.applies) << c.text;
        EXPECT_EQ(visible, c.applies) << c.text;
        tch.naming().TimecodeFileCondition({}, record, visible, enabled);
        EXPECT_EQ(enabled, c.applies) << c.text;
    }
    // A file that is not DV uses the date value 0, 30 December 1899.
    FakeListRecord::Facts other;
    other.datecodeText = "-";
    settings.formatPourAjouterDatecode = "yyyymmdd hh.nn.ss";
    EXPECT_EQ(tch.naming().datecodeTarget(recordOf("a.avi", other)), dir.file("a_18991230 00.00.00"));
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
