#include "platform/settings_environment.h"

#include "platform/system_locale.h"
#include "platform/system_services.h"

namespace moraven {

SettingsEnvironment systemSettingsEnvironment() {
    SettingsEnvironment environment;
    environment.documentsFolder = PersonalFolder();
    environment.executablePath = ownExecutablePath();
    environment.dateLocale = systemDateFormatLocale();
    environment.now = currentDateTime;
    return environment;
}

}  // namespace moraven
