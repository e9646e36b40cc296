#include "commands/conversion_commands.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "commands/command_line.h"
#include "pipeline/stages/superposer_stage.h"
#include "runner_fixture.h"
#include "support/fake_list_record.h"
#include "support/recording_inlay.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::FakeListRecord;
using Names = std::vector<std::string>;

std::string readText(const std::string& path) {
    const auto bytes = test::readWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

void writeText(const std::string& path, const std::string& text) {
    test::writeWholeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Conversions that record what they are asked and answer as scripted. A run ticks at 0, 50 and 100 percent
// (stopping at the first tick that asks to abort) and, when it ends with an output, writes "new" under the
// path the graph was built for.
class FakeConversionGraphs final : public ConversionGraphs {
public:
    bool BuildType1Graph(const std::string& in, const std::string& out) override {
        return build("type1", in, out);
    }
    bool BuildType2Graph(const std::string& in, const std::string& out) override {
        return build("type2", in, out);
    }
    bool BuildRemuxGraph(const std::string& in, const std::string& out) override {
        return build("remux", in, out);
    }
    bool BuildTimeShiftGraph(const std::string& in, const std::string& out) override {
        return build("timeshift", in, out);
    }
    bool BuildAudioGraph(const std::string& in, const std::string& out) override {
        return build("audio", in, out);
    }
    bool BuildNtscPalGraph(const std::string& in, const std::string& out, DvSystem system,
                           bool type1Source) override {
        return build(std::string(system == DvSystem::Ntsc525 ? "ntsc" : "pal") + (type1Source ? "1" : "2"), in,
                     out);
    }
    bool BuildInlayGraph(const std::string& in, const std::string& out, DvSystem system,
                         bool type1Source) override {
        return build(std::string("inlay") + (system == DvSystem::Ntsc525 ? "ntsc" : "pal") +
                         (type1Source ? "1" : "2"),
                     in, out);
    }
    bool BuildRecompressGraph(const std::string& in, const std::string& out, DvSystem system,
                              int samplesPerSecond) override {
        return build("recompress" + std::string(system == DvSystem::Ntsc525 ? "ntsc" : "pal") +
                         std::to_string(samplesPerSecond),
                     in, out);
    }
    Tdv_Superposer& Superposer() override { return *superposer; }
    std::string lastBuildError() const override { return buildError; }
    void setRestoreHeader(bool restore) override {
        calls.push_back(std::string("restore ") + (restore ? "1" : "0"));
    }
    void setHourShift(std::int32_t hours) override { calls.push_back("shift " + std::to_string(hours)); }

    ConversionResult RunConversionGraph(const std::function<bool(int)>& tick) override {
        calls.push_back("run");
        ConversionResult result = scripted;
        if (result.outcome == ConversionOutcome::ZeroDuration) return result;
        for (int percent : {0, 50, 100}) {
            ticks.push_back(percent);
            if (tick(percent)) {
                if (result.outcome == ConversionOutcome::Completed)
                    result.outcome = ConversionOutcome::Aborted;
                break;
            }
        }
        if (result.outcome == ConversionOutcome::Completed || result.outcome == ConversionOutcome::Aborted)
            writeText(lastOutput, "new");
        return result;
    }

    std::shared_ptr<Tdv_sceneDetect> detector = std::make_shared<Tdv_sceneDetect>();
    std::shared_ptr<Tdv_Superposer> superposer = std::make_shared<Tdv_Superposer>(*detector);
    bool buildOk = true;
    std::string buildError = "no DV splitter for this file";
    ConversionResult scripted{ConversionOutcome::Completed, "", {}};
    std::vector<std::string> calls;  // "type1 <in> -> <out>", "shift 3", "restore 0", "run"
    std::vector<int> ticks;
    std::string lastOutput;

private:
    bool build(const std::string& kind, const std::string& in, const std::string& out) {
        calls.push_back(kind + " " + in + " -> " + out);
        lastOutput = out;
        return buildOk;
    }
};

FakeListRecord::Facts dvFacts(int type, const std::string& codec = "dvsd",
                              DvSystem system = DvSystem::Pal625) {
    FakeListRecord::Facts facts;
    facts.isDv = true;
    facts.dvType = type;
    facts.codec = codec;
    facts.tvSystem = system;
    facts.fps = system == DvSystem::Ntsc525 ? 30000.0 / 1001.0 : 25.0;
    return facts;
}

FakeListRecord::Facts notDvFacts() {
    FakeListRecord::Facts facts;
    facts.isDv = false;
    facts.dvType = 0;
    facts.codec = "XVID";
    facts.tvSystem = DvSystem::Unknown;
    return facts;
}

class ConversionCommandsTest : public test::RunnerFixture {
protected:
    ConversionCommandsTest() {
        context.conversions = [this]() -> ConversionGraphs* {
            return conversionsAvailable ? &graphs : nullptr;
        };
        context.waitForWork = [this](int percent) {
            ui.setProgress(percent);
            ui.processPendingEvents();
            return state.AbortRequested;
        };
        context.reportFailure = [this](const std::string& text) { failures.push_back(text); };
        context.reportWarning = [this](const std::string& text) { warnings.push_back(text); };
    }

    // A file in the temporary folder, listed, with the given facts.
    std::string video(const std::string& name, const FakeListRecord::Facts& facts) {
        records.setByName(name, facts);
        load({name});
        return dir.file(name);
    }
    void run(const char* action, const Names& names) {
        select(names);
        runner.executeAction(*al.find(action));
    }
    ConversionCommands& conversions() { return tch.conversions(); }

    FakeConversionGraphs graphs;
    bool conversionsAvailable = true;
    Names failures;
    Names warnings;
};

// The five commands by name, with their outputs from "clip.avi" in the same folder (time shift: 3 hours).
struct CommandCase {
    const char* name;
    const char* action;
    const char* suffix;
    const char* graph;
};
const std::vector<CommandCase> kCommands{{"DVtype1", "amDVType1", "_type1.avi", "type1"},
                                         {"DVType2", "amDVType2", "_type2.avi", "type2"},
                                         {"ExtraireAudio", "amExtraireAudio", ".wav", "audio"},
                                         {"CorrigerType2", "amCorrigertype2", "_fixed.avi", "remux"},
                                         {"DecalerHoraire", "amDecalerHoraire", "_hor+3.avi", "timeshift"}};

TEST_F(ConversionCommandsTest, EachCommandIsARowWithItsTextsLetterRunnerAndAction) {
    struct Row {
        const char* name;
        const char* letter;
        const char* caption;
        const char* message;
        const char* menuCaption;
        const char* actionShortcut;
        Runner runner;
    };
    for (const Row& r :
         {Row{"DVtype1", "1", "Converting into DV type 1", "Converting \"%s\" into type 1",
              "Convert in DV type 1", "Ctrl+Num+1", Runner::Conversion},
          Row{"DVType2", "2", "Converting into DV type 2", "Converting \"%s\" into type 2",
              "Convert in DV type 2", "Ctrl+Num+2", Runner::Conversion},
          Row{"ExtraireAudio", "w", "Extract audio", "Extracting audio from \"%s\"", "Extact audio", "Ctrl+W",
              Runner::Conversion},
          Row{"CorrigerType2", "", "Fix DV type2", "Fix the DV type 2 file %s", "Fix the DV type 2",
              "Shift+Ctrl+2", Runner::ByCategory},
          Row{"DecalerHoraire", "", "Fix the time difference", "Fixing the time difference in \"%s\"",
              "Fix a time difference", "Ctrl+E", Runner::Conversion},
          Row{"Ntsc", "n", "Convert into NTSC", "Converting \"%s\" into NTSC", "Convert in NTSC", "Ctrl+N",
              Runner::Conversion},
          Row{"Pal", "p", "Convert into Pal", "Converting \"%s\" into Pal", "Convert in Pal", "Ctrl+P",
              Runner::Conversion},
          Row{"IncrusterDatecode", "i", "Inlay the datecode", "Inlaying the datecode into \"%s\"", "Inlay",
              "Ctrl+I", Runner::Conversion},
          Row{"ConvertirDV", "g", "Recompress into DV type 2", "Converting \"%s\" into DV type 2",
              "Recompress in DV type 2", "Ctrl+G", Runner::Conversion}}) {
        const tFileAction* command = tch.findByName(r.name);
        ASSERT_NE(command, nullptr) << r.name;
        EXPECT_EQ(command->Switch, r.letter) << r.name;
        EXPECT_EQ(command->Caption, r.caption) << r.name;
        EXPECT_EQ(command->MonoMessage, r.message) << r.name;
        EXPECT_EQ(command->runner, r.runner) << r.name;
        EXPECT_TRUE(command->OnFileCondition && command->OnConfirmation && command->OnExecution) << r.name;
        const Action* action = al.find(command->actionName);
        ASSERT_NE(action, nullptr) << r.name;
        EXPECT_EQ(action->caption, r.menuCaption) << r.name;
        EXPECT_EQ(action->shortcut, r.actionShortcut) << r.name;
        EXPECT_EQ(action->category, "multi") << r.name;
        EXPECT_TRUE(action->visible) << r.name
                                     << ": offered (\"WAV Dest\" and the deinterlacer are installed)";
        EXPECT_EQ(tch.FindCommand(action->name), command) << r.name;
    }
    // The shortcuts the commands hold themselves, and which of them ask whether they are offered at all.
    for (const auto& [name, shortcut, asksOffered] :
         std::vector<std::tuple<std::string, std::string, bool>>{{"Ntsc", "", true},
                                                                 {"Pal", "", true},
                                                                 {"IncrusterDatecode", "Ctrl+I", false},
                                                                 {"ConvertirDV", "Ctrl+G", false}}) {
        const tFileAction& command = *tch.findByName(name);
        EXPECT_EQ(command.Shortcut, shortcut) << name;
        EXPECT_EQ(static_cast<bool>(command.OnGeneralCondition), asksOffered) << name;
    }
}

TEST_F(ConversionCommandsTest, FileConditionsByKindOfRecord) {
    FakeListRecord::Facts iavs = dvFacts(2);
    iavs.type2Iavs = true;
    FakeListRecord::Facts notDv;
    notDv.isDv = false;
    notDv.dvType = 0;
    notDv.codec = "XVID";
    FakeListRecord::Facts silent = dvFacts(2);
    silent.audioText = "N/A";
    FakeListRecord::Facts silentType1Other = dvFacts(1, "CDVC");
    silentType1Other.audioText = "N/A";
    struct Case {
        const char* kind;
        FakeListRecord::Facts facts;
        // visible/enabled of DVtype1, DVType2, ExtraireAudio, CorrigerType2, DecalerHoraire: "VE", "V-",
        // "-E", "--"
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"DV type 1 dvsd", dvFacts(1), {"V-", "VE", "VE", "V-", "VE"}},
        {"DV type 1 other codec", dvFacts(1, "dvsl"), {"V-", "V-", "-E", "V-", "VE"}},
        {"DV type 1 other codec, no sound", silentType1Other, {"V-", "V-", "--", "V-", "VE"}},
        {"DV type 2", dvFacts(2), {"VE", "V-", "VE", "V-", "VE"}},
        {"DV type 2 with an iavs stream", iavs, {"VE", "V-", "VE", "VE", "VE"}},
        {"not DV", notDv, {"V-", "V-", "VE", "V-", "--"}},
        {"no sound", silent, {"VE", "V-", "V-", "V-", "VE"}},
    };
    settings.decalageHoraire = 3;
    for (const Case& c : cases) {
        const FakeListRecord record(dir.file("clip.avi"), c.facts);
        for (std::size_t i = 0; i < kCommands.size(); ++i) {
            const tFileAction& command = *tch.findByName(kCommands[i].name);
            bool visible = true;
            bool enabled = true;
            command.OnFileCondition(command.param, record, visible, enabled);
            const std::string got = std::string(visible ? "V" : "-") + (enabled ? "E" : "-");
            EXPECT_EQ(got, c.expected[i]) << c.kind << ", " << kCommands[i].name;
        }
    }
    // Without a time difference the time shift stays visible for DV files but is disabled.
    settings.decalageHoraire = 0;
    const FakeListRecord record(dir.file("clip.avi"), dvFacts(2));
    bool visible = true;
    bool enabled = true;
    conversions().DecalerHoraireFileCondition({}, record, visible, enabled);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(enabled);
}

TEST_F(ConversionCommandsTest, OutputPathsFollowTheSaveFolderRule) {
    Settings s;
    s.sauverDansLeMemeDossier = true;
    s.dossierPourSauver = "/out/";
    EXPECT_EQ(conversionOutputPath("/video/clip.avi", "_type1.avi", s), "/video/clip_type1.avi");
    EXPECT_EQ(conversionOutputPath("/video/my.clip.AVI", ".wav", s), "/video/my.clip.wav");
    EXPECT_EQ(conversionOutputPath("/v.d/clip", "_fixed.avi", s), "/v.d/clip_fixed.avi") << "no extension";
    s.sauverDansLeMemeDossier = false;
    EXPECT_EQ(conversionOutputPath("/video/clip.avi", "_type1.avi", s), "/out/clip_type1.avi");
    s.dossierPourSauver = "/out";
    EXPECT_EQ(conversionOutputPath("/video/clip.avi", "_type2.avi", s), "/out/clip_type2.avi");

    for (const auto& [hours, suffix] : std::vector<std::pair<int, std::string>>{{3, "_hor+3.avi"},
                                                                                {-5, "_hor-5.avi"},
                                                                                {23, "_hor+23.avi"},
                                                                                {-23, "_hor-23.avi"},
                                                                                {0, "_hor.avi"}}) {
        EXPECT_EQ(hourShiftSuffix(hours), suffix) << hours;
    }

    // The commands' outputs, in both rules; the scene outputs are not theirs and stay beside the video.
    settings.decalageHoraire = -5;
    const FakeListRecord record("/video/clip.avi", dvFacts(2));
    for (bool same : {true, false}) {
        settings.sauverDansLeMemeDossier = same;
        settings.dossierPourSauver = "/out/";
        const std::string folder = same ? "/video/" : "/out/";
        EXPECT_EQ(conversions().type1Output(record), folder + "clip_type1.avi");
        EXPECT_EQ(conversions().type2Output(record), folder + "clip_type2.avi");
        EXPECT_EQ(conversions().audioOutput(record), folder + "clip.wav");
        EXPECT_EQ(conversions().fixedType2Output(record), folder + "clip_fixed.avi");
        EXPECT_EQ(conversions().hourShiftOutput(record), folder + "clip_hor-5.avi");
    }
}

TEST_F(ConversionCommandsTest, TheReplaceQuestionAppearsOnlyForAnExistingOutputAndFitsIn255Characters) {
    settings.decalageHoraire = 3;
    // A folder name long enough that the question with the full path reaches 255 characters.
    const std::string longFolder = dir.file(std::string(200, 'f'));
    std::filesystem::create_directory(longFolder);
    for (const CommandCase& c : kCommands) {
        const tFileAction& command = *tch.findByName(c.name);
        for (const std::string& folder : {dir.path().string(), longFolder}) {
            const FakeListRecord record(folder + "/clip.avi", dvFacts(2));
            const std::string output = folder + "/clip" + c.suffix;
            std::string question;
            command.OnConfirmation(command.param, record, question);
            EXPECT_EQ(question, "") << c.name << ": no output yet";
            writeText(output, "old");
            command.OnConfirmation(command.param, record, question);
            const bool fits = folder == dir.path().string();
            EXPECT_EQ(question, fits ? "Do you want to replace the existing file " + output + " ?"
                                     : "Do you want to replace the existing file ?")
                << c.name;
            std::filesystem::remove(output);
        }
    }
}

TEST_F(ConversionCommandsTest, ListUpdatesByCommandAndOutcome) {
    settings.decalageHoraire = 3;
    const FakeListRecord record(dir.file("clip.avi"), dvFacts(2));
    enum Scenario { NotBuilt, ZeroDuration, Failed, Aborted, Completed, NoConversions };
    struct Case {
        const char* name;
        // utAdd with the output ("add") or utNone ("none"), by scenario in the order above.
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"DVtype1", {"add", "add", "add", "add", "add", "add"}},
        {"DVType2", {"add", "add", "add", "add", "add", "add"}},
        {"CorrigerType2", {"add", "add", "add", "add", "add", "add"}},
        {"ExtraireAudio", {"none", "none", "none", "none", "none", "none"}},
        {"DecalerHoraire", {"none", "none", "none", "add", "add", "none"}},
    };
    for (const Case& c : cases) {
        const tFileAction& command = *tch.findByName(c.name);
        for (int scenario = NotBuilt; scenario <= NoConversions; ++scenario) {
            graphs = FakeConversionGraphs();
            graphs.buildOk = scenario != NotBuilt;
            conversionsAvailable = scenario != NoConversions;
            graphs.scripted.outcome = scenario == ZeroDuration ? ConversionOutcome::ZeroDuration
                                      : scenario == Failed     ? ConversionOutcome::Failed
                                                               : ConversionOutcome::Completed;
            state.AbortRequested = scenario == Aborted;
            std::string newfichier;
            TchUpdateType update = TchUpdateType::utRename;
            command.OnExecution(command.param, record, newfichier, update);
            const std::string expected = c.expected[static_cast<std::size_t>(scenario)];
            if (expected == "add") {
                EXPECT_EQ(update, TchUpdateType::utAdd) << c.name << " scenario " << scenario;
                EXPECT_NE(newfichier.find(dir.file("clip")), std::string::npos) << c.name;
                EXPECT_NE(newfichier, record.fullPath()) << c.name;
            } else {
                EXPECT_EQ(update, TchUpdateType::utNone) << c.name << " scenario " << scenario;
            }
            for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
                if (entry.path().filename() != "clip.avi" && entry.is_regular_file())
                    std::filesystem::remove(entry.path());
            }
        }
    }
    state.AbortRequested = false;
}

TEST_F(ConversionCommandsTest, WhatFailsIsReportedAndANoteOfACompletedRunIsNoFailure) {
    const FakeListRecord record(dir.file("clip.avi"), dvFacts(2));
    const std::string output = dir.file("clip_type1.avi");
    std::string newfichier;
    TchUpdateType update{};

    graphs.buildOk = false;
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_EQ(failures, Names{"Cannot convert " + record.fullPath() + ": no DV splitter for this file"});
    EXPECT_EQ(graphs.calls.size(), 1u) << "nothing runs";

    failures.clear();
    graphs = FakeConversionGraphs();
    graphs.scripted = {ConversionOutcome::Failed, "No space left on device", {}};
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_EQ(failures, Names{"Cannot convert " + record.fullPath() + ": No space left on device"});

    failures.clear();
    conversionsAvailable = false;
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_EQ(failures, Names{"Cannot convert " + record.fullPath() + ": the conversions are not available"});

    failures.clear();
    conversionsAvailable = true;
    graphs = FakeConversionGraphs();
    graphs.scripted = {ConversionOutcome::Completed, "", {"the source ends early: 12 frames are missing"}};
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(warnings, Names{output + ": the source ends early: 12 frames are missing"});
    EXPECT_EQ(readText(output), "new");
}

TEST_F(ConversionCommandsTest, AnExistingOutputIsReplacedOnlyAfterAgreementAndOnlyByAFinishedRun) {
    const std::string clip = video("clip.avi", dvFacts(2));
    const std::string output = dir.file("clip_type1.avi");
    writeText(output, "old");

    // No: nothing is built, the old output stays.
    ui.answer({Answer::No});
    run("amDVType1", {"clip.avi"});
    EXPECT_TRUE(graphs.calls.empty());
    EXPECT_EQ(readText(output), "old");

    // Yes, and the run fails: the old output stays, nothing is left beside it.
    graphs.scripted = {ConversionOutcome::Failed, "disk full", {}};
    ui.answer({Answer::Yes});
    run("amDVType1", {"clip.avi"});
    ASSERT_EQ(graphs.calls.size(), 2u);
    EXPECT_EQ(graphs.calls[0], "type1 " + clip + " -> " + output + ".moraven-new") << "never the old output";
    EXPECT_EQ(readText(output), "old");

    // Yes, and the run completes: the new file takes the output's name; the source is untouched.
    graphs.scripted = {ConversionOutcome::Completed, "", {}};
    ui.answer({Answer::Yes});
    run("amDVType1", {"clip.avi"});
    EXPECT_EQ(readText(output), "new");
    EXPECT_EQ(readText(clip), "RIFF");
    EXPECT_FALSE(std::filesystem::exists(output + ".moraven-new"));
    EXPECT_EQ(captions(), (Names{"clip.avi", "clip_type1.avi"})) << "the output is listed";

    // A name taken beside the output is passed over.
    writeText(output + ".moraven-new", "someone else's");
    writeText(output, "old");
    ui.answer({Answer::Yes});
    run("amDVType1", {"clip.avi"});
    EXPECT_EQ(graphs.lastOutput, output + ".moraven-new2");
    EXPECT_EQ(readText(output), "new");
    EXPECT_EQ(readText(output + ".moraven-new"), "someone else's");
    EXPECT_EQ(failures, Names{"Cannot convert " + clip + ": disk full"}) << "the failed run alone";
}

TEST_F(ConversionCommandsTest, AnOutputThatAppearsAfterTheQuestionIsNotReplaced) {
    const FakeListRecord record(dir.file("clip.avi"), dvFacts(2));
    const std::string output = dir.file("clip_type1.avi");
    std::string question;
    conversions().DVtype1Confirmation({}, record, question);
    EXPECT_EQ(question, "") << "nothing to replace: no question";
    writeText(output, "another program's");
    std::string newfichier;
    TchUpdateType update{};
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_TRUE(graphs.calls.empty());
    EXPECT_EQ(readText(output), "another program's");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("appeared after the question"), std::string::npos) << failures[0];

    // Asked about and agreed to (or run without questions): replaced.
    conversions().DVtype1Confirmation({}, record, question);
    EXPECT_FALSE(question.empty());
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_EQ(readText(output), "new");
}

TEST_F(ConversionCommandsTest, AnOutputThatIsTheVideoItselfIsRefused) {
    const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
    // The output's name is another link to the same file.
    std::filesystem::create_hard_link(clip, dir.file("clip_type1.avi"));
    const FakeListRecord record(clip, dvFacts(2));
    std::string newfichier;
    TchUpdateType update = TchUpdateType::utRename;
    conversions().DVtype1Execution({}, record, newfichier, update);
    EXPECT_TRUE(graphs.calls.empty());
    EXPECT_EQ(update, TchUpdateType::utNone);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("is the video itself"), std::string::npos) << failures[0];
    EXPECT_EQ(readText(clip), "RIFF");
}

TEST_F(ConversionCommandsTest, TheTimeShiftSetsTheHeaderStageAfterBuildingAndBeforeRunning) {
    const std::string clip = video("clip.avi", dvFacts(2));
    for (int hours : {3, -5}) {
        graphs = FakeConversionGraphs();
        settings.decalageHoraire = hours;
        run("amDecalerHoraire", {"clip.avi"});
        const std::string output = dir.file("clip" + hourShiftSuffix(hours));
        EXPECT_EQ(graphs.calls, (Names{"timeshift " + clip + " -> " + output,
                                       "shift " + std::to_string(hours), "restore 0", "run"}));
        EXPECT_EQ(readText(output), "new");
        EXPECT_NE(list.indexOfPath(output), -1) << "the copy is listed";
    }
}

TEST_F(ConversionCommandsTest, EscEndsTheCurrentConversionAndShiftEscTheRun) {
    video("a.avi", dvFacts(2));
    video("b.avi", dvFacts(2));
    video("c.avi", dvFacts(2));
    // Esc at the second tick of the first file's run.
    ui.onPendingEvents = [this](int round) {
        if (round == 3) state.AbortRequested = true;
    };
    run("amDVType1", {"a.avi", "b.avi", "c.avi"});
    EXPECT_EQ(graphs.ticks, (std::vector<int>{0, 50, 0, 50, 100, 0, 50, 100})) << "a aborted, b and c whole";
    EXPECT_TRUE(std::filesystem::exists(dir.file("a_type1.avi"))) << "an aborted output stays";
    EXPECT_TRUE(std::filesystem::exists(dir.file("c_type1.avi")));
    EXPECT_FALSE(ui.progressShown);
    EXPECT_NE(std::find(ui.statusTexts.begin(), ui.statusTexts.end(), "Converting \"b.avi\" into type 1"),
              ui.statusTexts.end());

    // Shift+Esc during the first file: it ends, and no other file is converted.
    for (const char* name : {"a_type1.avi", "b_type1.avi", "c_type1.avi"}) {
        list.deleteRow(list.indexOfPath(dir.file(name)));
        std::filesystem::remove(dir.file(name));
    }
    graphs = FakeConversionGraphs();
    ui.pendingEventRounds = 0;
    ui.onPendingEvents = [this](int round) {
        if (round == 3) state.AbortRequested = state.AbortAllRequested = true;
    };
    run("amDVType1", {"a.avi", "b.avi", "c.avi"});
    EXPECT_EQ(graphs.ticks, (std::vector<int>{0, 50}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("b_type1.avi")));
    EXPECT_FALSE(state.AbortAllRequested);
}

// Esc before the first frame reached the output: no empty file is left or listed, and an old output stays.
TEST_F(ConversionCommandsTest, AnAbortBeforeAnythingWasWrittenLeavesNoOutput) {
    const std::string clip = video("clip.avi", dvFacts(2));
    const std::string output = dir.file("clip_type1.avi");
    graphs.scripted = {ConversionOutcome::Aborted, "", {}, true};
    run("amDVType1", {"clip.avi"});
    ASSERT_EQ(graphs.calls.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(captions(), (Names{"clip.avi"}));

    writeText(output, "old");
    ui.answer({Answer::Yes});
    run("amDVType1", {"clip.avi"});
    EXPECT_EQ(readText(output), "old");
    EXPECT_FALSE(std::filesystem::exists(output + ".moraven-new"));
    EXPECT_TRUE(failures.empty());
}

// The four commands that decode and encode pictures, with their outputs from "clip.avi".
const std::vector<CommandCase> kReencodingCommands{
    {"Ntsc", "amNTSC", "_ntsc.avi", "ntsc"},
    {"Pal", "amPal", "_pal.avi", "pal"},
    {"IncrusterDatecode", "amIncrusterDatecode", "_in.avi", "inlay"},
    {"ConvertirDV", "amConvertirDV", "_dvtype2.avi", "recompress"}};

TEST_F(ConversionCommandsTest, FileConditionsOfTheReencodingCommands) {
    FakeListRecord::Facts unknownSystem = dvFacts(2);
    unknownSystem.tvSystem = DvSystem::Unknown;
    FakeListRecord::Facts notDvPalSized = notDvFacts();
    notDvPalSized.tvSystem = DvSystem::Pal625;
    struct Case {
        const char* kind;
        FakeListRecord::Facts facts;
        std::vector<std::string> expected;  // Ntsc, Pal, IncrusterDatecode, ConvertirDV: "VE", "V-"
    };
    const std::vector<Case> cases{
        {"PAL type 2", dvFacts(2), {"VE", "V-", "VE", "V-"}},
        {"PAL type 2 of another codec", dvFacts(2, "CDVC"), {"VE", "V-", "VE", "V-"}},
        {"PAL type 1 dvsd", dvFacts(1), {"VE", "V-", "VE", "V-"}},
        {"PAL type 1 of another codec", dvFacts(1, "dvsl"), {"V-", "V-", "V-", "V-"}},
        {"NTSC type 2", dvFacts(2, "dvsd", DvSystem::Ntsc525), {"V-", "VE", "VE", "V-"}},
        {"NTSC type 1 dvsd", dvFacts(1, "dvsd", DvSystem::Ntsc525), {"V-", "VE", "VE", "V-"}},
        {"NTSC type 1 of another codec", dvFacts(1, "CDVC", DvSystem::Ntsc525), {"V-", "V-", "V-", "V-"}},
        {"DV without a system", unknownSystem, {"V-", "V-", "VE", "V-"}},
        {"not DV", notDvFacts(), {"V-", "V-", "V-", "VE"}},
        {"not DV, PAL-sized", notDvPalSized, {"V-", "V-", "V-", "VE"}},
    };
    for (const Case& c : cases) {
        const FakeListRecord record(dir.file("clip.avi"), c.facts);
        for (std::size_t i = 0; i < kReencodingCommands.size(); ++i) {
            const tFileAction& command = *tch.findByName(kReencodingCommands[i].name);
            bool visible = true;
            bool enabled = true;
            command.OnFileCondition(command.param, record, visible, enabled);
            const std::string got = std::string(visible ? "V" : "-") + (enabled ? "E" : "-");
            EXPECT_EQ(got, c.expected[i]) << c.kind << ", " << kReencodingCommands[i].name;
        }
    }
}

TEST_F(ConversionCommandsTest, OutputsOfTheReencodingCommandsFollowTheSaveFolderRule) {
    const FakeListRecord record("/video/clip.AVI", dvFacts(2));
    for (bool same : {true, false}) {
        settings.sauverDansLeMemeDossier = same;
        settings.dossierPourSauver = "/out/";
        const std::string folder = same ? "/video/" : "/out/";
        EXPECT_EQ(conversions().ntscOutput(record), folder + "clip_ntsc.avi");
        EXPECT_EQ(conversions().palOutput(record), folder + "clip_pal.avi");
        EXPECT_EQ(conversions().inlayOutput(record), folder + "clip_in.avi");
        EXPECT_EQ(conversions().recompressOutput(record), folder + "clip_dvtype2.avi");
    }
    // The replace question names the output of each.
    for (const CommandCase& c : kReencodingCommands) {
        settings.sauverDansLeMemeDossier = true;
        const FakeListRecord local(dir.file("clip.avi"), dvFacts(2));
        const std::string output = dir.file(std::string("clip") + c.suffix);
        const tFileAction& command = *tch.findByName(c.name);
        std::string question;
        command.OnConfirmation(command.param, local, question);
        EXPECT_EQ(question, "") << c.name;
        writeText(output, "old");
        command.OnConfirmation(command.param, local, question);
        EXPECT_EQ(question, "Do you want to replace the existing file " + output + " ?") << c.name;
        std::filesystem::remove(output);
    }
}

TEST_F(ConversionCommandsTest, ReencodingsListTheirOutputOnlyAfterARun) {
    const FakeListRecord record(dir.file("clip.avi"), dvFacts(2));
    enum Scenario { NotBuilt, ZeroDuration, Failed, Aborted, Completed, NoConversions };
    const std::vector<std::string> expected{"none", "none", "none", "add", "add", "none"};
    for (const CommandCase& c : kReencodingCommands) {
        const tFileAction& command = *tch.findByName(c.name);
        for (int scenario = NotBuilt; scenario <= NoConversions; ++scenario) {
            graphs = FakeConversionGraphs();
            graphs.buildOk = scenario != NotBuilt;
            conversionsAvailable = scenario != NoConversions;
            graphs.scripted.outcome = scenario == ZeroDuration ? ConversionOutcome::ZeroDuration
                                      : scenario == Failed     ? ConversionOutcome::Failed
                                                               : ConversionOutcome::Completed;
            state.AbortRequested = scenario == Aborted;
            std::string newfichier;
            TchUpdateType update = TchUpdateType::utRename;
            command.OnExecution(command.param, record, newfichier, update);
            if (expected[static_cast<std::size_t>(scenario)] == "add") {
                EXPECT_EQ(update, TchUpdateType::utAdd) << c.name << " scenario " << scenario;
                EXPECT_EQ(newfichier, dir.file(std::string("clip") + c.suffix)) << c.name;
                EXPECT_EQ(readText(newfichier), "new") << c.name;
            } else {
                EXPECT_EQ(update, TchUpdateType::utNone) << c.name << " scenario " << scenario;
            }
            std::filesystem::remove(dir.file(std::string("clip") + c.suffix));
        }
    }
    state.AbortRequested = false;
}

TEST_F(ConversionCommandsTest, EachReencodingBuildsTheGraphOfItsFileAndSetsTheHeaderStageBeforeRunning) {
    settings.decalageHoraire = -4;
    struct Case {
        const char* name;
        FakeListRecord::Facts facts;
        TvStandard standard;
        DvSampleRate rate;
        std::string graph;                  // the builder and its arguments as the fake names them
        std::vector<std::string> settings;  // what is set between the build and the run
    };
    const Names header{"restore 1", "shift -4"};
    const std::vector<Case> cases{
        {"Ntsc", dvFacts(2), TvStandard::Pal, DvSampleRate::Hz48000, "ntsc2", header},
        {"Ntsc", dvFacts(1), TvStandard::Pal, DvSampleRate::Hz48000, "ntsc1", header},
        {"Pal", dvFacts(2, "dvsd", DvSystem::Ntsc525), TvStandard::Pal, DvSampleRate::Hz48000, "pal2",
         header},
        {"Pal", dvFacts(1, "dvsd", DvSystem::Ntsc525), TvStandard::Pal, DvSampleRate::Hz48000, "pal1",
         header},
        // The recompression takes the default standard and the DV sound rate; its header stage is not set.
        {"ConvertirDV", notDvFacts(), TvStandard::Pal, DvSampleRate::Hz32000, "recompresspal32000", {}},
        {"ConvertirDV", notDvFacts(), TvStandard::Ntsc, DvSampleRate::Hz44100, "recompressntsc44100", {}},
        {"ConvertirDV", notDvFacts(), TvStandard::Pal, DvSampleRate::Hz48000, "recompresspal48000", {}},
        {"ConvertirDV",
         notDvFacts(),
         choiceFromStored<TvStandard>(0),
         choiceFromStored<DvSampleRate>(9),
         "recompressntsc48000",
         {}},
    };
    for (const Case& c : cases) {
        graphs = FakeConversionGraphs();
        settings.standardParDefaut = c.standard;
        settings.frequenceDV = c.rate;
        const FakeListRecord record(dir.file("clip.avi"), c.facts);
        const tFileAction& command = *tch.findByName(c.name);
        std::string newfichier;
        TchUpdateType update{};
        command.OnExecution(command.param, record, newfichier, update);
        Names expected{c.graph + " " + record.fullPath() + " -> " + newfichier};
        expected.insert(expected.end(), c.settings.begin(), c.settings.end());
        expected.push_back("run");
        EXPECT_EQ(graphs.calls, expected) << c.name << " " << c.graph;
        std::filesystem::remove(newfichier);
    }
}

TEST_F(ConversionCommandsTest, TheInlayTakesTheFilesSystemAndFrameRateAndTheInlaySettingsBeforeRunning) {
    settings.decalageHoraire = 2;
    settings.dureeIncrustation = 5;
    settings.incrustFont.style.underline = true;
    locale.shortDateFormat = "dd.mm.yyyy";
    test::RecordingInlay inlay(graphs.calls);
    context.inlaySetters = [&inlay](ConversionGraphs&) -> InlaySetters* { return &inlay; };
    const Names stageSettings{"SetDateLocale dd.mm.yyyy",
                              "SetContent 0",
                              "SetAutoFontSize 1",
                              "SetFontSize 48",
                              "SetFontName Arial",
                              "SetFontColor 16777215",
                              "SetBold 1",
                              "SetItalic 0",
                              "SetUnderline 1",
                              "SetStrikeOut 0",
                              "SetEnabled 1",
                              "SetPosition 920 920 2",
                              "SetAutoShow 0",
                              "SetAutoKind 1",
                              "SetShowFrames FRAMES",
                              "SetFormats ddddd|tt",
                              "SetHourShift 2"};
    struct Case {
        FakeListRecord::Facts facts;
        std::string graph;
        std::string frames;  // 5 seconds at the file's rate
    };
    for (const Case& c : {Case{dvFacts(2), "inlaypal2", "125"},
                          Case{dvFacts(1, "dvsd", DvSystem::Ntsc525), "inlayntsc1", "150"}}) {
        graphs.calls.clear();
        const FakeListRecord record(dir.file("clip.avi"), c.facts);
        std::string newfichier;
        TchUpdateType update{};
        conversions().IncrusterDatecodeExecution({}, record, newfichier, update);
        // Built for the file's own system and DV type; the header stage keeps what an earlier run left.
        Names expected{c.graph + " " + record.fullPath() + " -> " + dir.file("clip_in.avi")};
        for (std::string call : stageSettings) {
            if (call == "SetShowFrames FRAMES") call = "SetShowFrames " + c.frames;
            expected.push_back(call);
        }
        expected.push_back("run");
        EXPECT_EQ(graphs.calls, expected) << c.graph;
        EXPECT_EQ(update, TchUpdateType::utAdd);
        std::filesystem::remove(dir.file("clip_in.avi"));
    }
}

// Hidden mode: the core with the hidden interaction writing to a memory stream.
class HiddenConversionTest : public ::testing::Test {
protected:
    HiddenConversionTest() {
        errors = open_memstream(&buffer, &size);
        hidden = std::make_unique<HiddenInteraction>(errors, false);
        records.setByName("a.avi", dvFacts(2));
        core = std::make_unique<CommandCore>(settings, locale, *hidden, records.factory());
        core->context.conversions = [this]() -> ConversionGraphs* { return &graphs; };
    }
    ~HiddenConversionTest() override {
        std::fclose(errors);
        std::free(buffer);
    }
    std::string written() {
        std::fflush(errors);
        return {buffer, size};
    }

    test::TempDir dir;
    Settings settings;
    DateFormatLocale locale = englishDateFormatLocale();
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* errors = nullptr;
    std::unique_ptr<HiddenInteraction> hidden;
    test::FakeRecordFactory records;
    FakeConversionGraphs graphs;
    std::unique_ptr<CommandCore> core;
};

TEST_F(HiddenConversionTest,
       AFailedConversionIsToldAndFailsTheRunAnExistingOutputIsReplacedWithoutAQuestion) {
    const std::string clip = dir.write("a.avi", {'R', 'I', 'F', 'F'});
    const std::string output = dir.file("a_type1.avi");
    writeText(output, "old");
    graphs.scripted = {ConversionOutcome::Failed, "No space left on device", {}};
    core->runHidden({"+h1", clip});
    EXPECT_EQ(written(), "moraven: Cannot convert " + clip + ": No space left on device\n");
    EXPECT_TRUE(hidden->failed());
    EXPECT_EQ(readText(output), "old");

    graphs.scripted = {ConversionOutcome::Completed, "", {}};
    core->runSwitches({"+1"});
    EXPECT_EQ(readText(output), "new") << "hidden mode asks nothing: the output is replaced";
}

// An interruption ends the conversion under way as Esc does (its output keeps what was written) and starts
// nothing more: neither the next file nor the next letter.
TEST_F(HiddenConversionTest, AnInterruptionEndsTheConversionUnderWayAndStartsNoOther) {
    records.setByName("b.avi", dvFacts(2));
    const std::string first = dir.write("a.avi", {'R', 'I', 'F', 'F'});
    const std::string second = dir.write("b.avi", {'R', 'I', 'F', 'F'});
    core->interrupted = [this] { return !graphs.ticks.empty(); };
    core->runHidden({"+h1w", first, second});
    ASSERT_EQ(graphs.calls.size(), 2u) << "one build and one run";
    EXPECT_EQ(graphs.calls.back(), "run");
    EXPECT_EQ(graphs.ticks, std::vector<int>{0});
    EXPECT_EQ(readText(dir.file("a_type1.avi")), "new");
    EXPECT_FALSE(std::filesystem::exists(dir.file("b_type1.avi")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.wav")));
}

TEST_F(HiddenConversionTest, TheLettersNPIAndGRunTheirCommandsOnTheFilesTheyApplyTo) {
    struct Case {
        const char* letters;
        FakeListRecord::Facts facts;
        std::string graph;  // empty: the command does not apply and nothing is built
        const char* suffix;
    };
    FakeListRecord::Facts notDv;
    notDv.isDv = false;
    notDv.dvType = 0;
    notDv.codec = "XVID";
    notDv.tvSystem = DvSystem::Unknown;
    for (const Case& c :
         {Case{"+hn", dvFacts(2), "ntsc2", "_ntsc.avi"},
          Case{"+hp", dvFacts(1, "dvsd", DvSystem::Ntsc525), "pal1", "_pal.avi"},
          Case{"+hi", dvFacts(2, "dvsd", DvSystem::Ntsc525), "inlayntsc2", "_in.avi"},
          Case{"+hg", notDv, "recompresspal48000", "_dvtype2.avi"}, Case{"+hp", dvFacts(2), "", "_pal.avi"},
          Case{"+hg", dvFacts(2), "", "_dvtype2.avi"}}) {
        test::TempDir folder;
        const std::string clip = folder.write("a.avi", {'R', 'I', 'F', 'F'});
        records.setByName("a.avi", c.facts);
        graphs = FakeConversionGraphs();
        core = std::make_unique<CommandCore>(settings, locale, *hidden, records.factory());
        core->context.conversions = [this]() -> ConversionGraphs* { return &graphs; };
        const std::size_t toldBefore = written().size();
        core->runHidden({c.letters, clip});
        const std::string told = written().substr(toldBefore);
        const std::string output = folder.file(std::string("a") + c.suffix);
        if (c.graph.empty()) {
            EXPECT_TRUE(graphs.calls.empty()) << c.letters << " " << graphs.calls.front();
            EXPECT_FALSE(std::filesystem::exists(output)) << c.letters;
            EXPECT_NE(told.find("\" does not apply to " + clip + "\n"), std::string::npos) << told;
        } else {
            EXPECT_EQ(told, "") << c.letters;
            ASSERT_FALSE(graphs.calls.empty()) << c.letters;
            EXPECT_EQ(graphs.calls.front(), c.graph + " " + clip + " -> " + output) << c.letters;
            EXPECT_EQ(readText(output), "new") << c.letters;
        }
    }
    // A command that applies to no file is told, and the run does not fail for it.
    EXPECT_FALSE(hidden->failed());
}

TEST_F(HiddenConversionTest, ANoteOfACompletedRunIsToldWithoutFailingTheRun) {
    const std::string clip = dir.write("a.avi", {'R', 'I', 'F', 'F'});
    graphs.scripted = {ConversionOutcome::Completed, "", {"the source ends early"}};
    core->runHidden({"+hw", clip});
    EXPECT_EQ(written(), "moraven: " + dir.file("a.wav") + ": the source ends early\n");
    EXPECT_FALSE(hidden->failed());
    EXPECT_EQ(readText(dir.file("a.wav")), "new");
}

TEST_F(HiddenConversionTest, AConversionDrawsItsProgressLineWhenAskedTo) {
    char* lineBuffer = nullptr;
    std::size_t lineSize = 0;
    std::FILE* lineStream = open_memstream(&lineBuffer, &lineSize);
    ASSERT_NE(lineStream, nullptr);
    {
        HiddenInteraction drawing(lineStream, true);
        CommandCore drawingCore(settings, locale, drawing, records.factory());
        drawingCore.context.conversions = [this]() -> ConversionGraphs* { return &graphs; };
        drawingCore.runHidden({"+h1", dir.write("a.avi", {'R', 'I', 'F', 'F'})});
        EXPECT_FALSE(drawing.failed());
    }
    std::fclose(lineStream);
    const std::string drawn(lineBuffer, lineSize);
    std::free(lineBuffer);
    const std::string status = "Converting \"a.avi\" into type 1";
    // The command's own text from the first drawing on, the percentages of the run, the line cleared.
    std::string expected;
    std::string last;
    for (const char* percent : {" 0%", " 50%", " 100%"}) {
        if (!last.empty()) expected += "\r" + std::string(last.size(), ' ') + "\r";
        last = status + percent;
        expected += "\r" + last;
    }
    expected += "\r" + std::string(last.size(), ' ') + "\r";
    EXPECT_EQ(drawn, expected);
}

// The hidden mode's progress line on a pseudo-terminal, and nothing on a stream that is not one.
TEST(HiddenProgressLine, IsDrawnOnATerminalOnly) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    std::FILE* terminal = fdopen(slave, "w");
    ASSERT_NE(terminal, nullptr);
    // Raw output: the terminal passes "\r" and "\n" as written.
    std::string drawn;
    {
        HiddenInteraction hidden(terminal);
        hidden.showProgress();
        hidden.setStatusText("Converting \"clip.avi\" into type 1");
        hidden.setProgress(42);
        hidden.setProgress(42);
        hidden.showMessage("a failure", MessageKind::Error);
        hidden.setProgress(100);
        hidden.hideProgress();
        hidden.setProgress(7);  // hidden: nothing drawn
    }
    std::fflush(terminal);
    const std::string status = "Converting \"clip.avi\" into type 1";
    const auto draw = [](const std::string& line) { return "\r" + line; };
    const auto clear = [](const std::string& line) { return "\r" + std::string(line.size(), ' ') + "\r"; };
    const std::string s0 = " 0%";
    const std::string s1 = status + " 0%";
    const std::string s2 = status + " 42%";
    const std::string s3 = status + " 100%";
    // The terminal turns "\n" into "\r\n".
    const std::string expected = draw(s0) + clear(s0) + draw(s1) + clear(s1) + draw(s2) + clear(s2) +
                                 "moraven: a failure\r\n" + draw(s3) + clear(s3);
    char chunk[4096];
    pollfd ready{master, POLLIN, 0};
    // The terminal hands the bytes over asynchronously; the bound only keeps a fault from hanging the test.
    while (drawn.size() < expected.size() && ::poll(&ready, 1, 5000) > 0) {
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0) break;
        drawn.append(chunk, static_cast<std::size_t>(n));
    }
    std::fclose(terminal);
    ::close(master);
    EXPECT_EQ(drawn, expected);

    // A pipe gets the message alone.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::FILE* pipeStream = fdopen(pipeEnds[1], "w");
    {
        HiddenInteraction hidden(pipeStream);
        hidden.showProgress();
        hidden.setStatusText("Converting");
        hidden.setProgress(42);
        hidden.showMessage("a failure", MessageKind::Error);
        hidden.hideProgress();
    }
    std::fclose(pipeStream);
    std::string piped;
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0)
        piped.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    EXPECT_EQ(piped, "moraven: a failure\n");
}

}  // namespace
}  // namespace moraven
