#include "app/command_line_mode.h"

#include <signal.h>

#include <csignal>
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

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void noteInterruption(int) { g_interrupted = 1; }

// Ctrl+C (or a polite kill) ends the run as Esc ends it in the window, so that the file being written is
// closed whole; the handler is taken back at once, and a second Ctrl+C ends the program on the spot.
class InterruptionWatch {
public:
    InterruptionWatch() {
        struct sigaction action {};
        action.sa_handler = noteInterruption;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_oldInt);
        sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~InterruptionWatch() {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    InterruptionWatch(const InterruptionWatch&) = delete;
    InterruptionWatch& operator=(const InterruptionWatch&) = delete;

    static bool interrupted() { return g_interrupted != 0; }

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

// The shell's status of a program that ended on SIGINT.
constexpr int kInterruptedStatus = 130;

}  // namespace

int runCommandLine(const std::vector<std::string>& parameters, std::FILE* errors) {
    const InterruptionWatch watch;
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
        core.interrupted = &InterruptionWatch::interrupted;
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
    if (InterruptionWatch::interrupted()) {
        hidden.reportFailure("interrupted: the run stopped; a file being written keeps what it holds so far");
        return kInterruptedStatus;
    }
    return hidden.failed() ? 1 : 0;
}

}  // namespace moraven
