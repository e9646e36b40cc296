#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/repair_commands.h"
#include "formats/byte_order.h"
#include "formats/fpsunit.h"
#include "runner_fixture.h"
#include "support/dv_avi_file.h"
#include "support/dv_frame_builder.h"

namespace moraven {
namespace {

class RepairCommandsTest : public test::RunnerFixture {
protected:
    RepairCommandsTest() {
        context.askFrameRate = [this](ChoiceDialogState& dialog) { return answerDialog(dialog); };
        context.askCodec = [this](ChoiceDialogState& dialog) { return answerDialog(dialog); };
    }

    // What the dialog showed each time, and the user's choice: an entry and a text, or Cancel.
    bool answerDialog(ChoiceDialogState& dialog) {
        shown.push_back(dialog);
        if (!choice) return false;
        dialog.selected = choice->selected;
        dialog.text = choice->text;
        return true;
    }

    static test::FakeListRecord::Facts type2() {
        test::FakeListRecord::Facts facts;
        facts.dvType = 2;
        return facts;
    }
    // A real type-2 DV file with the given facts in its record.
    std::string video(const std::string& name, const test::FakeListRecord::Facts& facts = type2()) {
        const std::string path = test::writeRepeatedDvFrame(dir.file(name), test::DvFrameBuilder().bytes(), 2);
        records.setByName(name, facts);
        list.BeginListLoad("Loading files");
        list.AddFile(path);
        list.EndListLoad();
        return path;
    }
    std::uint32_t headerField(const std::string& path, bool scale) {
        AviHeaderPatcher patcher;
        patcher.LocateVideoHeader(path);
        const auto bytes = test::readWholeFile(path);
        const std::uint64_t at = scale ? patcher.scaleOffset().value() : patcher.handlerOffset().value();
        return u32le(bytes, static_cast<std::size_t>(at));
    }
    void run(const char* action, const std::vector<std::string>& names) {
        select(names);
        runner.executeAction(*al.find(action));
    }

    std::vector<ChoiceDialogState> shown;
    std::optional<ChoiceDialogState> choice;
};

TEST_F(RepairCommandsTest, TheFrameRateDialogFirstOpensOnTheFilesRate) {
    struct Case {
        double fps;
        int selected;
        bool editEnabled;
    };
    for (const Case& c : {Case{30000.0 / 1001.0, kFrameRateNtsc, false}, Case{25.0, kFrameRatePal, false},
                          Case{24.0, kFrameRatePersonalized, true}}) {
        RepairCommands repairs(context);
        test::FakeListRecord record(dir.file("x.avi"), [&] {
            test::FakeListRecord::Facts facts;
            facts.fps = c.fps;
            return facts;
        }());
        std::string newfichier;
        TchUpdateType update = TchUpdateType::utRename;
        repairs.CorrigerFpsExecution({}, record, newfichier, update);  // cancelled
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().selected, c.selected) << c.fps;
        EXPECT_EQ(shown.back().editEnabled, c.editEnabled) << c.fps;
        EXPECT_EQ(shown.back().text, "") << c.fps;
        EXPECT_EQ(update, TchUpdateType::utNone);
    }
}

TEST_F(RepairCommandsTest, TheCodecDialogFirstOpensOnTheFilesCodecExactly) {
    struct Case {
        const char* codec;
        int selected;
        const char* text;
    };
    for (const Case& c : {Case{"dvsd", kCodecDvsd, ""}, Case{"dsvd", kCodecDsvd, ""}, Case{"CDVC", kCodecCdvc, ""},
                          Case{"DVSD", kCodecPersonalized, "DVSD"}}) {
        RepairCommands repairs(context);
        test::FakeListRecord::Facts facts;
        facts.codec = c.codec;
        test::FakeListRecord record(dir.file("x.avi"), facts);
        std::string newfichier;
        TchUpdateType update = TchUpdateType::utNone;
        repairs.CorrigerCodecExecution({}, record, newfichier, update);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().selected, c.selected) << c.codec;
        EXPECT_EQ(shown.back().text, c.text) << c.codec;
        EXPECT_EQ(shown.back().editEnabled, c.selected == kCodecPersonalized) << c.codec;
    }
}

TEST_F(RepairCommandsTest, NtscWritesTwentyNineNinetySevenAndTheNextUseOpensOnThatChoice) {
    const std::string a = video("a.avi");
    const std::string b = video("b.avi");
    choice = ChoiceDialogState{kFrameRateNtsc, "", false};
    run("amCorrigerFps", {"a.avi", "b.avi"});
    // 1000000 / 29.97 rounded, not 1000000 / (30000 / 1001).
    EXPECT_EQ(headerField(a, true), 33367u);
    EXPECT_EQ(headerField(b, true), 33367u);
    ASSERT_EQ(shown.size(), 2u);  // once per file
    EXPECT_EQ(shown[1].selected, kFrameRateNtsc);
    EXPECT_EQ(shown[1].text, "29.97");  // the chosen value, written back into the edit box
}

TEST_F(RepairCommandsTest, APersonalisedRateNeedsTheUsersDecimalSeparator) {
    const std::string a = video("a.avi");
    const std::uint32_t before = headerField(a, true);
    choice = ChoiceDialogState{kFrameRatePersonalized, "23,976", true};
    run("amCorrigerFps", {"a.avi"});
    EXPECT_EQ(headerField(a, true), before);  // "23,976" is no number where the separator is "."

    context.decimalSeparator = ",";
    run("amCorrigerFps", {"a.avi"});
    EXPECT_EQ(headerField(a, true), static_cast<std::uint32_t>(std::lround(1000000 / 23.976)));
    EXPECT_EQ(tch.repairs().frequenceDialog().text, "23,976");
}

TEST_F(RepairCommandsTest, DecimalTextsAreReadAsTheUserWritesThem) {
    struct Case {
        const char* text;
        const char* separator;
        std::optional<double> value;
    };
    for (const Case& c : {Case{" 24 ", ".", 24.0}, Case{"23.976", ".", 23.976}, Case{"23,976", ",", 23.976},
                          Case{"23.976", ",", std::nullopt}, Case{"1e1", ".", 10.0}, Case{"-5", ".", -5.0},
                          Case{"", ".", std::nullopt}, Case{"25 fps", ".", std::nullopt},
                          Case{"1e999", ".", std::nullopt}, Case{"nan", ".", std::nullopt}}) {
        EXPECT_EQ(parseLocalDecimal(c.text, c.separator), c.value) << c.text << " " << c.separator;
    }
    EXPECT_EQ(formatLocalDecimal(29.97, ","), "29,97");
    EXPECT_EQ(formatLocalDecimal(25, ","), "25");
}

TEST_F(RepairCommandsTest, AReadOnlyFileIsPatchedAfterTheQuestionAndStaysReadOnly) {
    const std::string a = dir.file("a.avi");
    test::writeRepeatedDvFrame(a, test::DvFrameBuilder().bytes(), 2);
    ::chmod(a.c_str(), 0444);
    test::FakeListRecord::Facts facts;
    facts.attributes = 1;
    records.setByName("a.avi", facts);
    list.AddFile(a);
    choice = ChoiceDialogState{kCodecPersonalized, "ab", true};
    ui.answer({Answer::Yes});

    run("amCorrigerCodec", {"a.avi"});

    ASSERT_EQ(ui.yesNoQuestions.size(), 1u);
    EXPECT_EQ(ui.yesNoQuestions[0],
              "The file " + a + "\r\nis ReadOnly. Do you really want to change the codec?");
    // The two letters a and b, then two zero bytes.
    EXPECT_EQ(headerField(a, false), 0x00006261u);
    struct stat info {};
    ASSERT_EQ(::stat(a.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
}

TEST_F(RepairCommandsTest, FrameRateRepairIsOfferedForAllButDvType1AndTheCodecForEveryFile) {
    struct Case {
        const char* name;
        bool isDv;
        int dvType;
        bool fpsOffered;
    };
    for (const Case& c : {Case{"type1.avi", true, 1, false}, Case{"type2.avi", true, 2, true},
                          Case{"other.avi", false, 0, true}}) {
        test::FakeListRecord::Facts facts;
        facts.isDv = c.isDv;
        facts.dvType = c.dvType;
        records.setByName(c.name, facts);
        load({c.name});
        select({c.name});
        runner.UpdateActionStates();
        EXPECT_EQ(al.find("amCorrigerFps")->enabled, c.fpsOffered) << c.name;
        EXPECT_TRUE(al.find("amCorrigerCodec")->enabled) << c.name;
    }
}

TEST_F(RepairCommandsTest, CancelLeavesTheFileAndTheEntryAsTheyWere) {
    const std::string a = video("a.avi");
    const auto before = test::readWholeFile(a);
    const int reads = records.reads();
    run("amCorrigerCodec", {"a.avi"});
    run("amCorrigerFps", {"a.avi"});
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(test::readWholeFile(a), before);
    EXPECT_EQ(records.reads(), reads);  // no entry was read again
}

}  // namespace
}  // namespace moraven
