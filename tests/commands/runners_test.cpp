#include "commands/runners.h"

#include <gtest/gtest.h>

#include "formats/scene_scan.h"

#include "runner_fixture.h"

namespace moraven {
namespace {

using test::RunnerFixture;
using Names = std::vector<std::string>;

class RunnersTest : public RunnerFixture {};

TEST_F(RunnersTest, SeveralFilesQuestionFollowsEachAnswer) {
    struct Case {
        const char* title;
        std::vector<Answer> answers;
        Names worked;
        std::size_t questions;
        Names selectedAfter;
    };
    const std::vector<Case> cases{
        {"Yes asks the next file again",
         {Answer::Yes, Answer::Yes, Answer::Yes},
         {"a.avi", "b.avi", "c.avi"},
         3,
         {"a.avi", "b.avi", "c.avi"}},
        {"All asks no more", {Answer::All}, {"a.avi", "b.avi", "c.avi"}, 1, {"a.avi", "b.avi", "c.avi"}},
        {"No skips only this file",
         {Answer::No, Answer::Yes, Answer::No},
         {"b.avi"},
         3,
         {"a.avi", "b.avi", "c.avi"}},
        {"Cancel ends the run at once", {Answer::Yes, Answer::Cancel}, {"a.avi"}, 2, {"a.avi", "b.avi"}},
    };
    load({"a.avi", "b.avi", "c.avi"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        worked.clear();
        ui.severalQuestions.clear();
        for (Answer a : c.answers) ui.answer({a});
        select({"a.avi", "b.avi", "c.avi"});
        runner.RunOnSelection(probe());
        EXPECT_EQ(worked, c.worked);
        EXPECT_EQ(ui.severalQuestions.size(), c.questions);
        EXPECT_EQ(selectedNames(), c.selectedAfter) << "entries the run did not reach stay deselected";
        EXPECT_EQ(ui.answersLeft(), 0u);
        EXPECT_TRUE(ui.yesNoQuestions.empty());
        EXPECT_TRUE(state.listEnabled);
    }
    EXPECT_EQ(ui.severalQuestions.front(),
              "Work on a.avi?\r\nIf you type \"All\", no more confimation will be asked for.");
}

TEST_F(RunnersTest, OneSelectedFileIsAskedYesOrNoWithoutTheAllSentence) {
    load({"a.avi", "b.avi"});
    select({"b.avi"});
    ui.answer({Answer::No});
    runner.RunOnSelection(probe());
    EXPECT_TRUE(worked.empty());
    ui.answer({Answer::Yes});
    runner.RunConversion(probe());
    EXPECT_EQ(worked, Names{"b.avi"});
    EXPECT_EQ(ui.yesNoQuestions, (Names{"Work on b.avi?", "Work on b.avi?"}));
    EXPECT_TRUE(ui.severalQuestions.empty());
}

TEST_F(RunnersTest, RunByCategoryAsksTheSeveralFilesFormAndFollowsTheCurrentFileForOne) {
    load({"a.avi", "b.avi"});
    Action& action = *al.find("amProbe");
    select({"a.avi", "b.avi"});
    ui.answer({Answer::Yes, Answer::No});
    runner.RunByCategory(action);
    EXPECT_EQ(worked, Names{"a.avi"});
    EXPECT_EQ(ui.severalQuestions.size(), 2u);

    worked.clear();
    select({"b.avi"});
    ui.answer({Answer::Yes});
    runner.RunByCategory(action);
    EXPECT_EQ(worked, Names{"b.avi"});
    EXPECT_EQ(ui.yesNoQuestions, Names{"Work on b.avi?"});

    list.deselectAll();
    runner.RunByCategory(action);
    EXPECT_EQ(worked.size(), 1u) << "nothing selected in a multi action: nothing runs";
}

TEST_F(RunnersTest, FilesThatFailTheConditionAreSkippedSilently) {
    load({"a.avi", "skip.avi", "z.avi"});
    select({"a.avi", "skip.avi", "z.avi"});
    ui.answer({Answer::Yes, Answer::Yes});
    runner.RunOnSelection(probe());
    EXPECT_EQ(worked, (Names{"a.avi", "z.avi"}));
    EXPECT_EQ(ui.severalQuestions.size(), 2u);
}

TEST_F(RunnersTest, NoQuestionWithoutConfirmationEventWithAnEmptyTextOrWithNoConfirmation) {
    load({"a.avi", "b.avi"});
    probe().OnConfirmation = {};
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    probe().OnConfirmation = [](const TParam&, const ListRecord&, std::string& msg) { msg.clear(); };
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    select({"a.avi"});
    runner.RunOnCurrentFile(probe());
    probe() = probeCommand();
    state.NoConfirmation = true;
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(worked.size(), 7u);
    EXPECT_TRUE(ui.severalQuestions.empty());
    EXPECT_TRUE(ui.yesNoQuestions.empty());
}

TEST_F(RunnersTest, EscBetweenFilesEndsTheRunAndShiftEscEndsItAfterTheCurrentFile) {
    load({"a.avi", "b.avi", "c.avi"});
    state.NoConfirmation = true;
    ui.onPendingEvents = [this](int round) {
        if (round == 2) state.AbortRequested = true;
    };
    select({"a.avi", "b.avi", "c.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(worked, Names{"a.avi"});
    EXPECT_FALSE(state.AbortRequested);

    worked.clear();
    ui.onPendingEvents = {};
    onExecution = [this](const ListRecord&, std::string&, TchUpdateType& update) {
        state.AbortRequested = state.AbortAllRequested = true;  // Shift+Esc while the file is worked on
        update = TchUpdateType::utNone;
    };
    select({"a.avi", "b.avi", "c.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(worked, Names{"a.avi"});
    EXPECT_FALSE(state.AbortAllRequested);

    worked.clear();
    onExecution = [this](const ListRecord&, std::string&, TchUpdateType& update) {
        state.AbortRequested = true;  // Esc ends only the work on this file
        update = TchUpdateType::utNone;
    };
    select({"a.avi", "b.avi", "c.avi"});
    runner.RunConversion(probe());
    EXPECT_EQ(worked, (Names{"a.avi", "b.avi", "c.avi"}));
}

TEST_F(RunnersTest, ProgressIsShownWithTheFileNameOnlyForCommandsWithAMessage) {
    load({"a.avi"});
    state.NoConfirmation = true;
    select({"a.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(ui.progressShows, 0);
    probe().MonoMessage = "Converting \"%s\" into Pal";
    bool shownDuringWork = false;
    onExecution = [&](const ListRecord&, std::string&, TchUpdateType& update) {
        shownDuringWork = ui.progressShown;
        update = TchUpdateType::utNone;
    };
    runner.RunOnSelection(probe());
    EXPECT_TRUE(shownDuringWork);
    EXPECT_FALSE(ui.progressShown);
    EXPECT_EQ(ui.statusTexts.back(), "Converting \"a.avi\" into Pal");
}

TEST_F(RunnersTest, AFailureInsideARunStillRunsTheEndSteps) {
    load({"a.avi", "b.avi"});
    state.NoConfirmation = true;
    probe().MonoMessage = "Working on %s";
    onExecution = [](const ListRecord&, std::string&, TchUpdateType&) { throw std::runtime_error("broken"); };
    select({"a.avi", "b.avi"});
    state.AbortAllRequested = false;
    EXPECT_THROW(runner.RunOnSelection(probe()), std::runtime_error);
    EXPECT_TRUE(state.listEnabled);
    EXPECT_FALSE(ui.progressShown);
}

// A scene writer that is only pointed at.
class IdleSceneWriter final : public TSceneWriter {
public:
    const std::string& name() const override { return m_name; }
    bool OpenScenes(const SceneVideo&) override { return false; }
    void WriteScene(const TSceneInfo&) override {}
    void CloseScenes() override {}

private:
    std::string m_name = "Idle";
};

TEST_F(RunnersTest, TheExecutionWorksOnAPrivateCopyOfTheCommandsParameter) {
    load({"a.avi", "b.avi"});
    state.NoConfirmation = true;
    IdleSceneWriter writer;
    probe().param = TParam{"Probe", SceneWriterParam{&writer}};
    std::vector<TParam> handed;
    probe().OnExecution = [&](const TParam& param, const ListRecord&, std::string&, TchUpdateType& update) {
        EXPECT_NE(&param, &probe().param);
        // What the handler was handed stays as it was while the command's own parameter changes.
        const TParam own = probe().param;
        probe().param = TParam{};
        handed.push_back(param);
        probe().param = own;
        update = TchUpdateType::utNone;
    };
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    ASSERT_EQ(handed.size(), 2u);
    for (const TParam& param : handed) {
        EXPECT_EQ(param.Name, "Probe");
        EXPECT_EQ(sceneWriterOf(param), &writer);  // the writer itself is shared, not copied
    }
}

TEST_F(RunnersTest, UpdatesAfterExecutionChangeTheListAsAsked) {
    load({"b.avi", "c.avi", "d.avi"});
    state.NoConfirmation = true;

    // utRename: the entry moves to its sorted place and stays selected and focused.
    onExecution = [this](const ListRecord& f, std::string& newfichier, TchUpdateType& update) {
        const std::string target = dir.file("z.avi");
        std::filesystem::rename(f.fullPath(), target);
        newfichier = target;
        update = TchUpdateType::utRename;
    };
    select({"b.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(captions(), (Names{"c.avi", "d.avi", "z.avi"}));
    EXPECT_EQ(selectedNames(), Names{"z.avi"});
    EXPECT_EQ(list.caption(list.itemIndex()), "z.avi");
    EXPECT_EQ(state.CurrentFichier->fileName(), "z.avi");

    // utModify: a new record in place, same caption and key.
    const int readsBefore = records.reads();
    onExecution = [](const ListRecord& f, std::string& newfichier, TchUpdateType& update) {
        newfichier = f.fullPath();
        update = TchUpdateType::utModify;
    };
    select({"d.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(records.reads(), readsBefore + 1);
    EXPECT_EQ(captions(), (Names{"c.avi", "d.avi", "z.avi"}));

    // utAdd: the new file joins the list at its place; a listed entry of the same path is replaced.
    onExecution = [this](const ListRecord&, std::string& newfichier, TchUpdateType& update) {
        newfichier = file("a_type2.avi");
        update = TchUpdateType::utAdd;
    };
    select({"c.avi"});
    runner.RunOnSelection(probe());
    runner.RunOnSelection(probe());
    EXPECT_EQ(captions(), (Names{"a_type2.avi", "c.avi", "d.avi", "z.avi"}));

    // utDelete of the current entry: the item index moves to the previous entry.
    onExecution = [](const ListRecord&, std::string&, TchUpdateType& update) {
        update = TchUpdateType::utDelete;
    };
    select({"d.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(captions(), (Names{"a_type2.avi", "c.avi", "z.avi"}));
    EXPECT_EQ(list.caption(list.itemIndex()), "c.avi");
    EXPECT_EQ(state.CurrentFichier->fileName(), "c.avi");

    // utNone leaves everything.
    onExecution = [](const ListRecord&, std::string&, TchUpdateType& update) {
        update = TchUpdateType::utNone;
    };
    select({"a_type2.avi", "c.avi", "z.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(captions(), (Names{"a_type2.avi", "c.avi", "z.avi"}));
}

// While a command works on b (a scene scan processes window events), the rows move: the list update that
// the command answers must reach b's row, and every row must keep its own record.
TEST_F(RunnersTest, TheUpdateAfterACommandReachesItsOwnRowWhenRowsMovedMeanwhile) {
    struct Case {
        const char* what;
        TchUpdateType update;
        bool addFileDuringRun;  // else the user sorts the list by name during the run
        Names after;
    };
    const Case cases[] = {
        {"a file opened during the run would sort first", TchUpdateType::utModify, true, {"b.avi", "a.avi"}},
        {"a file opened during the run would sort first", TchUpdateType::utDelete, true, {"a.avi"}},
        {"the order changes during the run", TchUpdateType::utModify, false, {"a.avi", "b.avi"}},
        {"the order changes during the run", TchUpdateType::utDelete, false, {"a.avi"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.update == TchUpdateType::utDelete ? ", delete" : ", modify"));
        list.EmptyList();
        settings.ordreDeLaListe = kOrderDatecode;
        // By datecode b comes first, by name a does; the opened file comes before both in either order.
        test::FakeListRecord::Facts first;
        first.datecodeKey = "0";
        records.setByName("0.avi", first);
        test::FakeListRecord::Facts early;
        early.datecodeKey = "1";
        test::FakeListRecord::Facts late;
        late.datecodeKey = "2";
        records.setByName("b.avi", early);
        records.setByName("a.avi", late);
        load({"a.avi", "b.avi"});
        const std::string opened = file("0.avi");
        state.NoConfirmation = true;
        int addedDuringRun = 0;
        bool openEnabledDuringRun = true;
        onExecution = [&](const ListRecord&, std::string&, TchUpdateType& update) {
            if (c.addFileDuringRun) {
                addedDuringRun = list.AddFile(opened);
            } else {
                list.SortList(kOrderAlphabetical);
            }
            runner.UpdateActionStates();
            openEnabledDuringRun = al.find("afOuvrirFichiers")->enabled;
            update = c.update;
        };
        select({"b.avi"});
        const int readsBefore = records.reads();
        runner.RunOnCurrentFile(probe());

        EXPECT_EQ(captions(), c.after);
        for (int i = 0; i < list.rowCount(); ++i) EXPECT_EQ(list.record(i).fileName(), list.caption(i));
        if (c.update == TchUpdateType::utModify) {
            EXPECT_EQ(records.reads(), readsBefore + 1);
        }
        EXPECT_EQ(addedDuringRun, c.addFileDuringRun ? -1 : 0) << "no addition while a run holds the list";
        EXPECT_FALSE(openEnabledDuringRun);
        EXPECT_TRUE(al.find("afOuvrirFichiers")->enabled);
        EXPECT_GE(list.AddFile(opened), 0) << "additions are accepted again once the run ended";
        EXPECT_EQ(state.runsHoldingList, 0);
    }
}

TEST_F(RunnersTest, AnEntryRemovedByAnEarlierFileOfTheRunIsPassedOver) {
    load({"a.avi", "b.avi"});
    state.NoConfirmation = true;
    onExecution = [this](const ListRecord& f, std::string&, TchUpdateType& update) {
        update = TchUpdateType::utNone;
        if (f.fileName() == "a.avi") list.deleteRow(list.indexOfPath(dir.file("b.avi")));
    };
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    EXPECT_EQ(worked, Names{"a.avi"});
}

TEST_F(RunnersTest, ActionStatesFollowCategoriesConditionsMarksAndTheHiddenList) {
    Action& probeAction = *al.find("amProbe");
    Action& sort = *al.find("afOrdreAlpha");
    Action& open = *al.find("afOuvrirFichiers");

    runner.FullRefresh();  // empty list: only permanent and vide
    EXPECT_FALSE(probeAction.visible);
    EXPECT_TRUE(open.visible && open.enabled);

    load({"a.avi", "skip.avi"});
    select({"skip.avi"});
    runner.UpdateActionStates();
    EXPECT_TRUE(sort.visible && sort.enabled);
    EXPECT_FALSE(probeAction.enabled) << "no selected file qualifies";
    select({"skip.avi", "a.avi"});
    runner.UpdateActionStates();
    EXPECT_TRUE(probeAction.visible && probeAction.enabled) << "one selected file qualifies";

    checkList.setChecked(probeAction.tag, false);
    runner.UpdateActionStates();
    EXPECT_FALSE(probeAction.visible || probeAction.enabled);
    checkList.setChecked(open.tag, false);
    EXPECT_TRUE(checkList.marked(open.tag)) << "the window's own actions stay checked";
    checkList.CheckAll();

    list.ToggleList();  // the list cut off hides the "liste" actions
    EXPECT_FALSE(sort.visible);
    EXPECT_EQ(al.find("afBasculerListe")->caption, "Show the list");

    list.ToggleList();
    state.settingsPanelShown = true;
    runner.FullRefresh();
    EXPECT_FALSE(probeAction.visible || sort.visible);
    EXPECT_TRUE(open.visible && open.enabled);
}

TEST_F(RunnersTest, ActionsAreDisabledWhileTheListIsDisabled) {
    load({"a.avi", "b.avi"});
    state.NoConfirmation = true;
    bool sortEnabledDuringRun = true;
    onExecution = [&](const ListRecord&, std::string&, TchUpdateType& update) {
        runner.UpdateActionStates();
        sortEnabledDuringRun = al.find("afOrdreAlpha")->enabled;
        update = TchUpdateType::utNone;
    };
    select({"a.avi", "b.avi"});
    runner.RunOnSelection(probe());
    EXPECT_FALSE(sortEnabledDuringRun);
    EXPECT_TRUE(al.find("afOrdreAlpha")->enabled);
}

TEST_F(RunnersTest, SavedMarksUncheckListedActionsAndAreCollectedBack) {
    checkList.ApplySavedMarks({{"amAjouterDatecode", 0}, {"amNoSuchAction", 0}, {"avPlayStop", 1}}, al);
    const Action& datecode = *al.find("amAjouterDatecode");
    EXPECT_FALSE(checkList.marked(datecode.tag));
    const auto marks = checkList.CollectMarks(al);
    ASSERT_EQ(marks.size(), al.size());
    for (const auto& mark : marks) {
        if (mark.name == "amAjouterDatecode") {
            EXPECT_EQ(mark.value, 0);
        }
        if (mark.name == "amAjouterTimecode") {
            EXPECT_EQ(mark.value, 1);
        }
    }
    // Rows are sorted by their text and each listed action knows its row.
    const auto& rows = checkList.rows();
    for (std::size_t r = 1; r < rows.size(); ++r)
        EXPECT_LE(compareSortKeys(rows[r - 1].text, rows[r].text), 0);
    EXPECT_EQ(rows[static_cast<std::size_t>(datecode.tag)].text, "Add datecode (Ctrl+D)");
}

TEST_F(RunnersTest, FindCommandTakesTheKnownPrefixesOnly) {
    EXPECT_EQ(tch.FindCommand("amAjouterDatecode"), tch.findByName("AjouterDateCode"));
    EXPECT_EQ(tch.FindCommand("PMajouterdatecode"), tch.findByName("AjouterDateCode"));
    EXPECT_EQ(tch.FindCommand("afAjouterDatecode"), nullptr);
    EXPECT_EQ(tch.FindCommand("am"), nullptr);
    EXPECT_EQ(tch.FindCommand("amNtsc"), tch.findByName("Ntsc")) << "the action's name in any case";
    EXPECT_EQ(tch.FindCommand("amNoSuchCommand"), nullptr);
    // Commands without an "am" action and with a caption get a "pm" action; a missing model gives none.
    tFileAction orphan;
    orphan.Name = "Orphan";
    orphan.Caption = "Orphan";
    tFileAction modelled;
    modelled.Name = "Modelled";
    modelled.Caption = "Modelled";
    modelled.Modele = "NoSuchCommand";
    tch.commands().push_back(orphan);
    tch.commands().push_back(modelled);
    tch.BuildCommandMenus(al);
    ASSERT_NE(al.find("pmOrphan"), nullptr);
    EXPECT_EQ(al.find("pmOrphan")->category, "multi");
    EXPECT_FALSE(al.find("pmOrphan")->hasHandler);
    EXPECT_EQ(al.find("pmModelled"), nullptr);
    // The command shortcut fills an action that has none.
    EXPECT_EQ(al.find("amPurgerNom")->shortcut, "Ctrl+Q");
    EXPECT_EQ(al.find("amRenameScAn")->caption, "Rename");
}

}  // namespace
}  // namespace moraven
