#include "commands/options_actions.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace moraven {
namespace {

ActionList launcherActions() {
    ActionList al;
    for (const char* name : {"afSnapwick", "amOpenFichierF3", "amOpenFichierF4"}) {
        Action action;
        action.name = name;
        action.caption = "Open with ";
        action.enabled = false;
        al.append(action);
    }
    return al;
}

TEST(OptionsActionsTest, AChosenProgramBecomesTheSettingAndTheActionsCaption) {
    test::TempDir dir;
    const std::string program = dir.write("VirtualDub.exe", {});
    const std::string missing = dir.file("mpc.sh");
    struct Case {
        Launcher launcher;
        std::string path;
        std::string Settings::*setting;
        const char* action;
        const char* caption;
        bool enabled;
    };
    const Case cases[] = {
        {Launcher::Snapwick, program, &Settings::fichierSnapwick, "afSnapwick", "Open with VirtualDub", true},
        {Launcher::F3, missing, &Settings::fichierF3, "amOpenFichierF3", "Open with mpc", false},
        {Launcher::F4, program, &Settings::fichierF4, "amOpenFichierF4", "Open with VirtualDub", true},
    };
    for (const Case& c : cases) {
        Settings settings;
        ActionList al = launcherActions();
        chooseLauncherProgram(settings, al, c.launcher, c.path);
        EXPECT_EQ(settings.*c.setting, c.path) << c.action;
        EXPECT_EQ(launcherActionName(c.launcher), c.action);
        const Action& action = *al.find(c.action);
        EXPECT_EQ(action.caption, c.caption);
        EXPECT_EQ(action.enabled, c.enabled) << c.action;
        for (const Action& other : al.actions()) {
            if (other.name != c.action) {
                EXPECT_EQ(other.caption, "Open with ") << other.name;
            }
        }
    }
}

TEST(OptionsActionsTest, ThePanelTakesSpaceAndDelWhileShown) {
    ActionList al(windowActions());
    Action deleteAction;
    deleteAction.name = "amOterFichier";
    deleteAction.shortcut = "Del";
    al.append(deleteAction);
    al.find("avPlayStop")->shortcut = "Space";

    PanelShortcuts shortcuts;
    shortcuts.suspend(al);
    shortcuts.suspend(al);  // shown twice: the first remembered shortcut stays
    EXPECT_EQ(al.find("avPlayStop")->shortcut, "");
    EXPECT_EQ(al.find("amOterFichier")->shortcut, "");
    shortcuts.restore(al);
    EXPECT_EQ(al.find("avPlayStop")->shortcut, "Space");
    EXPECT_EQ(al.find("amOterFichier")->shortcut, "Del");

    al.find("avPlayStop")->shortcut = "P";
    al.find("amOterFichier")->shortcut = "";
    shortcuts.restore(al);  // without a suspend the play action keeps its own
    EXPECT_EQ(al.find("avPlayStop")->shortcut, "P");
    EXPECT_EQ(al.find("amOterFichier")->shortcut, "Del");
}

}  // namespace
}  // namespace moraven
