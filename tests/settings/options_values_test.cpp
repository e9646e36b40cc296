#include "settings/options_values.h"

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
    EXPECT_EQ(standardItemIndex(1), 0);
    EXPECT_EQ(standardItemIndex(2), 1);
    EXPECT_EQ(standardItemIndex(0), -1);
    EXPECT_EQ(standardItemIndex(3), -1);
    std::uint8_t standard = 1;
    storeStandardItemIndex(standard, 1);
    EXPECT_EQ(standard, 2);
    storeStandardItemIndex(standard, -1);
    EXPECT_EQ(standard, 2);

    EXPECT_EQ(itemIndexOf(2, 3), 2);
    EXPECT_EQ(itemIndexOf(3, 3), -1);
    std::uint8_t alignement = 2;
    storeItemIndex(alignement, 0);
    EXPECT_EQ(alignement, 0);
    storeItemIndex(alignement, -1);
    EXPECT_EQ(alignement, 0);
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
