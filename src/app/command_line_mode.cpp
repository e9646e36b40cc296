#include "app/command_line_mode.h"

#include <exception>

#include "commands/command_line.h"
#include "formats/program_info.h"
#include "pipeline/media_framework_module.h"
#include "platform/settings_environment.h"
#include "platform/system_locale.h"
#include "platform/system_services.h"
#include "settings/registry_file.h"
#include "window/program_session.h"
#include "window/video_record.h"

namespace moraven {

int runCommandLine(const std::vector<std::string>& parameters, std::FILE* errors) {
    HiddenInteraction hidden(errors);
    try {
        RegistryFile registry(defaultRegistryFilePath(), [errors](const std::string& line) {
            std::fprintf(errors, "moraven: %s\n", line.c_str());
        });
        Preferences preferences(registry, systemSettingsEnvironment());
        preferences.LoadSettings();
        // The hidden mode starts and ends as the window does, showing nothing.
        applySendToSetting(preferences.settings(), {[] { return CreateSendToShortcut(kProgramName); },
                                                    [] { return RemoveSendToShortcut(kProgramName); }});
        const DateFormatLocale locale = systemDateFormatLocale();
        FileRecordOptions options;
        options.datecodePattern = preferences.settings().formatPourAfficherDatecode;
        options.locale = locale;
        RunnerHooks hooks;
        hooks.MoveToRecycleBin = MoveToRecycleBin;
        hooks.mediaFramework = loadMediaFramework;
        CommandCore core(preferences.settings(), locale, hidden, videoRecordFactory(std::move(options)),
                         hooks);
        try {
            core.runHidden(parameters);
        } catch (const std::exception& error) {
            // The run ends here; the end of the session (settings, default playlist) still takes place.
            hidden.reportFailure(error.what());
        }
        const SessionEnd end = endSession(preferences, core.list, locale);
        if (end.playlistFailure) hidden.reportFailure(*end.playlistFailure);
    } catch (const std::exception& error) {
        hidden.reportFailure(error.what());
    }
    return hidden.failed() ? 1 : 0;
}

}  // namespace moraven
