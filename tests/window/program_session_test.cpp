#include "window/program_session.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "settings/registry_file.h"
#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

TEST(ProgramSessionTest, TheSendToEntryFollowsTheSetting) {
    for (const bool sendto : {true, false}) {
        Settings settings;
        settings.sendto = sendto;
        int created = 0;
        int removed = 0;
        applySendToSetting(settings, {[&] { return ++created, false; }, [&] { return ++removed, true; }});
        EXPECT_EQ(created, sendto ? 1 : 0);
        EXPECT_EQ(removed, sendto ? 0 : 1);
        applySendToSetting(settings, {});  // no services: nothing to do
    }
}

// The end of a run, by the two settings that ask for it; a playlist that cannot be written keeps its reason
// and does not keep the settings from being saved.
TEST(ProgramSessionTest, TheEndSavesTheSettingsAndWritesTheListAsTheSettingsSay) {
    struct Case {
        bool saveSettings;
        bool saveList;
        bool playlistFolderExists;
    };
    const Case cases[] = {{true, true, true},
                          {false, true, true},
                          {true, false, true},
                          {false, false, true},
                          {true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.saveSettings << c.saveList << c.playlistFolderExists);
        test::TempDir dir;
        const std::string registryPath = dir.file("config/registry.reg");
        RegistryFile registry(registryPath, [](const std::string&) {});
        Preferences preferences(registry, SettingsEnvironment{});
        Settings& settings = preferences.settings();
        settings.sauverPreferencesEnQuittant = c.saveSettings;
        settings.sauverListeEnQuittant = c.saveList;
        const std::string folder = dir.file(c.playlistFolderExists ? "" : "missing/");
        settings.dossierDesPlayList = c.playlistFolderExists ? dir.path().string() + "/" : folder;

        WindowState state;
        test::ScriptedInteraction ui;
        test::FakeRecordFactory records;
        FileList list(state, settings, ui, records.factory());
        const std::string clip = dir.write("clip.avi", {'R', 'I', 'F', 'F'});
        list.AddFile(clip);

        int collected = 0;
        const SessionEnd end = endSession(preferences, list, englishDateFormatLocale(), [&](Settings& s) {
            ++collected;
            s.volume = 1234;  // what the front end held is what gets saved
        });
        EXPECT_EQ(collected, c.saveSettings ? 1 : 0);
        EXPECT_EQ(end.settingsSaved, c.saveSettings);
        EXPECT_EQ(std::filesystem::exists(registryPath), c.saveSettings);
        const bool written = c.saveList && c.playlistFolderExists;
        EXPECT_EQ(end.playlistWritten, written);
        EXPECT_EQ(std::filesystem::exists(dir.file("PlayList.txt")), written);
        EXPECT_EQ(end.playlistFailure.has_value(), c.saveList && !c.playlistFolderExists);
        if (end.playlistFailure) {
            EXPECT_NE(end.playlistFailure->find("PlayList.txt"), std::string::npos);
        }

        if (c.saveSettings) {
            RegistryFile reread(registryPath, [](const std::string&) {});
            Preferences again(reread, SettingsEnvironment{});
            again.LoadSettings();
            EXPECT_EQ(again.settings().volume, 1234);
        }
    }
}

}  // namespace
}  // namespace moraven
