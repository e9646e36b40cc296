#include "settings/options_values.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/registry_file.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

TEST(OptionsValuesTest, TheDurationIsAWholeNumberOfSecondsOrFive) {
    const std::pair<std::string, int> cases[] = {
        {"12", 12},
        {" 7 ", 7},
        {"-3", -3},
        {"+4", 4},
        {"0", 0},
        {"", 5},
        {"abc", 5},
        {"1.5", 5},
        {"3s", 5},
        {"99999999999", 5},
        {"+", 5},
        {"+-2", 5},
        {"2147483647", 2147483647},
    };
    for (const auto& [text, seconds] : cases) EXPECT_EQ(dureeIncrustationFromText(text), seconds) << text;
}

TEST(OptionsValuesTest, TheHourShiftIsRoundedAndKeptWithinADay) {
    const std::pair<double, int> cases[] = {{0, 0}, {2.4, 2}, {-2.6, -3}, {23, 23}, {24, 23}, {-100, -23}};
    for (const auto& [value, hours] : cases) EXPECT_EQ(decalageHoraireFromValue(value), hours) << value;
}

TEST(OptionsValuesTest, AFolderFieldIsStoredWithATrailingSeparatorAndAnEmptyOneNotAtAll) {
    EXPECT_EQ(folderSettingFromField("/home/anne/Videos"), "/home/anne/Videos/");
    EXPECT_EQ(folderSettingFromField("/home/anne/Videos/"), "/home/anne/Videos/");
    EXPECT_EQ(folderSettingFromField("/"), "/");
    EXPECT_EQ(folderSettingFromField(""), std::nullopt);
}

TEST(OptionsValuesTest, RadioItemsStandForTheirStoredValues) {
    EXPECT_EQ(radioItemOf(TvStandard{1}), 0);
    EXPECT_EQ(radioItemOf(TvStandard{2}), 1);
    EXPECT_EQ(radioItemOf(TvStandard{0}), -1);
    EXPECT_EQ(radioItemOf(TvStandard{3}), -1);
    TvStandard standard{1};
    storeRadioItem(standard, 1);
    EXPECT_EQ(storedValue(standard), 2);
    storeRadioItem(standard, -1);
    EXPECT_EQ(storedValue(standard), 2);

    EXPECT_EQ(radioItemOf(InlayAlignment{2}), 2);
    EXPECT_EQ(radioItemOf(InlayAlignment{3}), -1);
    InlayAlignment alignement{2};
    storeRadioItem(alignement, 0);
    EXPECT_EQ(storedValue(alignement), 0);
    storeRadioItem(alignement, -1);
    EXPECT_EQ(storedValue(alignement), 0);
}

// Every radio item of the panel, in the order of its buttons, with the number the registry keeps for it.
struct RadioCase {
    const char* group;
    int item;
    int stored;
    std::function<int(int item)> itemOfStored;            // radioItemOf the choice stored as the number
    std::function<int(int stored, int item)> afterClick;  // the number left after the item is stored
};

template <class Choice>
RadioCase radioCase(const char* group, int item, int stored) {
    return {group, item, stored, [](int number) { return radioItemOf(choiceFromStored<Choice>(number)); },
            [](int number, int clicked) {
                Choice setting = choiceFromStored<Choice>(number);
                storeRadioItem(setting, clicked);
                return int{storedValue(setting)};
            }};
}

TEST(OptionsValuesTest, EachRadioItemStandsForItsStoredNumberAndUnknownNumbersSurvive) {
    const RadioCase cases[] = {
        radioCase<TvStandard>("rgStandard Pal", 0, 1),
        radioCase<TvStandard>("rgStandard Ntsc", 1, 2),
        radioCase<DvSampleRate>("rgfrequenceDV 32000", 0, 0),
        radioCase<DvSampleRate>("rgfrequenceDV 44100", 1, 1),
        radioCase<DvSampleRate>("rgfrequenceDV 48000", 2, 2),
        radioCase<InlayAlignment>("rgAlign Left", 0, 0),
        radioCase<InlayAlignment>("rgAlign Centered", 1, 1),
        radioCase<InlayAlignment>("rgAlign Right", 2, 2),
        radioCase<InlayContent>("rgWhatIncrust Datecode", 0, 0),
        radioCase<InlayContent>("rgWhatIncrust Timecode", 1, 1),
        radioCase<AutoInlayMode>("rgAuto once", 0, 0),
        radioCase<AutoInlayMode>("rgAuto scene", 1, 1),
        radioCase<AutoInlayMode>("rgAuto dayly", 2, 2),
    };
    // Numbers that no item of the group stands for, the last one past every group.
    const std::map<std::string, std::vector<int>> unknown = {
        {"rgStandard", {0, 3, 255}},    {"rgfrequenceDV", {3, 255}}, {"rgAlign", {3, 255}},
        {"rgWhatIncrust", {2, 3, 255}}, {"rgAuto", {3, 255}},
    };
    for (const RadioCase& c : cases) {
        EXPECT_EQ(c.itemOfStored(c.stored), c.item) << c.group;
        const std::string group = std::string(c.group).substr(0, std::string(c.group).find(' '));
        for (const int number : unknown.at(group)) {
            EXPECT_EQ(c.itemOfStored(number), kNoRadioItem) << c.group << " " << number;
            // Clicking the item replaces an unknown number; no checked item, or an index past the items,
            // keeps it.
            EXPECT_EQ(c.afterClick(number, c.item), c.stored) << c.group << " " << number;
            EXPECT_EQ(c.afterClick(number, kNoRadioItem), number) << c.group << " " << number;
            EXPECT_EQ(c.afterClick(number, 3), number) << c.group << " " << number;
        }
    }
}

TEST(OptionsValuesTest, AMissingSaveFolderSendsConversionsToTheSourceFolder) {
    EXPECT_TRUE(sameFolderForThisRun(true, true));
    EXPECT_TRUE(sameFolderForThisRun(true, false));
    EXPECT_TRUE(sameFolderForThisRun(false, false));
    EXPECT_FALSE(sameFolderForThisRun(false, true));
}

class RecordingDialogs final : public SettingsDialogs {
public:
    bool askYesNo(const std::string& text) override {
        shown.push_back(text);
        return true;
    }
    void warn(const std::string& text) override { shown.push_back(text); }
    void inform(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

class SaveAndDeleteNowTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    RegistryFile m_registry{m_dir.file("registry.reg")};
    Preferences m_preferences{m_registry, SettingsEnvironment{}};
};

TEST_F(SaveAndDeleteNowTest, SavingNowWritesWhatWasCollectedThenTurnsTheExitSaveOff) {
    ASSERT_TRUE(SaveSettingsNow(m_preferences, [](Settings& settings) { settings.volume = 1234; }));
    EXPECT_FALSE(m_preferences.settings().sauverPreferencesEnQuittant);

    Preferences reloaded(m_registry, SettingsEnvironment{});
    reloaded.LoadSettings();
    EXPECT_EQ(reloaded.settings().volume, 1234);
    // What was written keeps the state of the check box at the time of the save.
    EXPECT_TRUE(reloaded.settings().sauverPreferencesEnQuittant);
}

TEST_F(SaveAndDeleteNowTest, DeletingNowTurnsTheExitSaveOffAndRemovesTheKey) {
    ASSERT_TRUE(m_preferences.SaveSettings());
    RecordingDialogs dialogs;
    DeleteSettingsNow(m_preferences, dialogs);
    EXPECT_FALSE(m_preferences.settings().sauverPreferencesEnQuittant);
    ASSERT_EQ(dialogs.shown.size(), 2U);
    EXPECT_EQ(dialogs.shown[1], settingsDeletedMessage());
    EXPECT_FALSE(m_registry.openKey(kMainKeyPath, false));
    m_registry.close();
}

}  // namespace
}  // namespace moraven
