#pragma once

#include <functional>
#include <string>

#include "formats/date_format.h"
#include "settings/preferences.h"

namespace moraven {

// What the command handlers read and call outside the list: the settings, the date locale for the patterns,
// and the preview, which must let go of a file before its times are set. Both outlive the commands.
struct CommandContext {
    const Settings& settings;
    const DateFormatLocale& locale;
    // Stops the preview and detaches it from its file; EndSuspend lets it be built again. Either may be empty
    // (no preview, as in hidden mode).
    std::function<void()> SuspendPreview;
    std::function<void()> EndSuspend;
    // Moves a file into the user's trash; true when it went there. Empty: no trash, nothing is moved.
    std::function<bool(const std::string& path)> MoveToRecycleBin;
    // Shows an error message box with the button OK (a failure the command reports). May be empty.
    std::function<void(const std::string& text)> showError;
};

}  // namespace moraven
