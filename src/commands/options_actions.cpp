#include "commands/options_actions.h"

#include <filesystem>
#include <system_error>

#include "commands/housekeeping_commands.h"

namespace moraven {
namespace {

constexpr std::string_view kPlayStop = "avPlayStop";
constexpr std::string_view kOterFichier = "amOterFichier";
constexpr std::string_view kOterFichierShortcut = "Del";

std::string& launcherSetting(Settings& settings, Launcher launcher) {
    switch (launcher) {
        case Launcher::Snapwick:
            return settings.fichierSnapwick;
        case Launcher::F3:
            return settings.fichierF3;
        case Launcher::F4:
            return settings.fichierF4;
    }
    return settings.fichierSnapwick;
}

}  // namespace

std::string_view launcherActionName(Launcher launcher) {
    switch (launcher) {
        case Launcher::Snapwick:
            return "afSnapwick";
        case Launcher::F3:
            return "amOpenFichierF3";
        case Launcher::F4:
            return "amOpenFichierF4";
    }
    return {};
}

void chooseLauncherProgram(Settings& settings, ActionList& al, Launcher launcher,
                           const std::string& programPath) {
    launcherSetting(settings, launcher) = programPath;
    Action* action = al.find(launcherActionName(launcher));
    if (action == nullptr) return;
    std::error_code error;
    if (std::filesystem::exists(programPath, error)) action->enabled = true;
    action->caption = launcherCaption(programPath);
}

void PanelShortcuts::suspend(ActionList& al) {
    if (Action* playStop = al.find(kPlayStop)) {
        // A second suspend() before restore() must not remember the cleared shortcut.
        if (!m_playStopShortcut) m_playStopShortcut = playStop->shortcut;
        playStop->shortcut.clear();
    }
    if (Action* oter = al.find(kOterFichier)) oter->shortcut.clear();
}

void PanelShortcuts::restore(ActionList& al) {
    if (Action* playStop = al.find(kPlayStop); playStop != nullptr && m_playStopShortcut) {
        playStop->shortcut = *m_playStopShortcut;
    }
    m_playStopShortcut.reset();
    if (Action* oter = al.find(kOterFichier)) oter->shortcut = kOterFichierShortcut;
}

}  // namespace moraven
