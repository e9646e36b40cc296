#pragma once

#include <functional>

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
};

}  // namespace moraven
