#pragma once

#include "settings/preferences.h"

namespace moraven {

// What the settings store needs from the system: the documents folder (PersonalFolder), the program's
// path, the user's date locale and the clock. "Top" and "Left" stay 0; the window sets their defaults
// once it knows the screen and its own size.
SettingsEnvironment systemSettingsEnvironment();

}  // namespace moraven
