#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/preferences.h"
#include "window/action_list.h"

// What the settings panel changes in the window's actions: the actions that start an external program
// after one has been chosen, and the shortcuts that give way to the panel's fields while it is shown.
namespace moraven {

// The three external programs of the settings panel: Snapwick (F2), and the programs started with F3
// and F4.
enum class Launcher { Snapwick, F3, F4 };

// The action that starts the launcher's program: "afSnapwick", "amOpenFichierF3", "amOpenFichierF4".
std::string_view launcherActionName(Launcher launcher);

// The program chosen in the file dialog of a launcher's field: it becomes "Fichier Snapwick", "Fichier F3"
// or "Fichier F4"; the launcher's action is captioned "Open with " + the program's name, and is enabled
// when the file exists (otherwise it keeps its state). An action missing from `al` is left alone.
void chooseLauncherProgram(Settings& settings, ActionList& al, Launcher launcher,
                           const std::string& programPath);

// While the settings panel is shown Space and Del must reach its fields: the play action `avPlayStop`
// and `amOterFichier` have no shortcut then. suspend() remembers the play action's shortcut and clears
// both; restore() gives the play action back what was remembered and `amOterFichier` "Del". restore()
// without an earlier suspend() changes only `amOterFichier`.
class PanelShortcuts {
public:
    void suspend(ActionList& al);
    void restore(ActionList& al);

private:
    std::optional<std::string> m_playStopShortcut;
};

}  // namespace moraven
