#include "app/window_mode.h"

#include <QApplication>

#include "app/window_launch.h"
#include "platform/settings_environment.h"
#include "settings/registry_file.h"
#include "ui/main_window.h"

namespace moraven {

int runWindow(int& argc, char** argv, const std::vector<std::string>& parameters, std::FILE* errors) {
    if (!displayAvailable(errors)) return 2;
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
