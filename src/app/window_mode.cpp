#include "app/window_mode.h"

#include <cstdlib>

#include <QApplication>

#include "platform/settings_environment.h"
#include "settings/registry_file.h"
#include "ui/main_window.h"

namespace moraven {

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

int runWindow(int& argc, char** argv, const std::vector<std::string>& parameters, std::FILE* errors) {
    if (!displayAvailable()) {
        std::fprintf(
            errors,
            "moraven: no display is available for the window (neither DISPLAY nor WAYLAND_DISPLAY is "
            "set); to run commands without the window, add the letter h to the switches, for "
            "example: moraven +hd FILE...\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Moraven");
    RegistryFile registry(defaultRegistryFilePath(), [errors](const std::string& line) {
        std::fprintf(errors, "moraven: %s\n", line.c_str());
    });
    Preferences preferences(registry, systemSettingsEnvironment());
    preferences.LoadSettings();
    TUIForm window(preferences, parameters);
    window.show();
    return QApplication::exec();
}

}  // namespace moraven
