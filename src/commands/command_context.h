#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/date_format.h"
#include "pipeline/conversion/conversion_graphs.h"
#include "pipeline/media_framework_module.h"
#include "settings/preferences.h"
#include "window/choice_dialog_state.h"

namespace moraven {

class InlaySetters;

// The window's player, for the commands that show or hide its inlay and the sliders that place it. Every member
// is empty without a window: those commands then change nothing.
struct PlayerHooks {
    // The settings those commands change ("is Incrust On", "Incrust Sliders Visible"); the same object as
    // CommandContext::settings.
    Settings* settings = nullptr;
    // The setters of the preview's inlay stage; may answer null.
    std::function<InlaySetters*()> inlay;
    // The paused picture is drawn again (after an inlay change).
    std::function<void()> redraw;
    std::function<void(bool shown)> showSliders;
    std::function<void(bool shown)> showVolumePanel;
    // An action's caption and tool-bar image (-1: unchanged).
    std::function<void(const std::string& action, const std::string& caption, int image)> setActionLook;
};

// What the command handlers read and call outside the list: the settings, the date locale for the patterns,
// the preview, which must let go of a file before its times are set or its headers patched, and the desktop's
// services and dialogs. The settings and the locale outlive the commands. Every function may be empty: the
// command then does without it (no preview in hidden mode, no dialog without a window).
struct CommandContext {
    CommandContext(const Settings& settingsIn, const DateFormatLocale& localeIn)
        : settings(settingsIn), locale(localeIn) {}

    const Settings& settings;
    const DateFormatLocale& locale;
    // How the user writes a decimal number ("." or ","), for the frame rate typed in the frame-rate dialog.
    std::string decimalSeparator = ".";
    // Stops the preview and detaches it from its file; EndSuspend lets it be built again. Either may be empty
    // (no preview, as in hidden mode).
    std::function<void()> SuspendPreview;
    std::function<void()> EndSuspend;
    PlayerHooks player;
    // Moves the player to a frame and pauses it there (the scene scan shows each scene it finds). Called
    // from the scan's thread: the window hands it to its own thread. May be empty.
    std::function<void(std::int64_t frame)> showPreviewFrame;
    // The media framework (decoders, encoders, the conversions' graphs), loaded the first time it is asked
    // for; its `framework` is null, with the reason in `error`, when the codec module cannot be loaded.
    // Empty: no media framework.
    std::function<const MediaFrameworkLoad&()> mediaFramework;
    // Moves a file into the user's trash; true when it went there. Empty: no trash, nothing is moved.
    std::function<bool(const std::string& path)> MoveToRecycleBin;
    // Shows an error message box with the button OK (a failure the command reports). May be empty.
    std::function<void(const std::string& text)> showError;
    // Shows a warning message box with the button OK.
    std::function<void(const std::string& text)> showWarning;
    // Reports a failure that the window passes over in silence (a rename, a file date or a scene output
    // that could not be made), with its reason. Hidden mode sets it (standard error, exit status 1); the
    // window leaves it empty.
    std::function<void(const std::string& text)> reportFailure;
    // Reports a note that is no failure (a conversion that completed from a truncated source). Hidden mode
    // sets it (standard error, the exit status unchanged); the window leaves it empty.
    std::function<void(const std::string& text)> reportWarning;

    // The conversions' graphs (the conversion module), made the first time they are asked for. Empty, or
    // answering null: no conversions; a conversion command then reports that it cannot convert. The
    // graphs outlive the command that asked for them.
    std::function<ConversionGraphs*()> conversions;
    // The setters through which the inlay conversion sets the inlay stage of those graphs. Empty, or
    // answering null: the stage's own setters (ConversionGraphs::Superposer()). Tests record the calls
    // here; the answer must live until the conversion has run.
    std::function<InlaySetters*(ConversionGraphs& graphs)> inlaySetters;

    // Opens a file or folder with the program the desktop associates with it (a folder in the file manager).
    // Failures are not reported.
    std::function<void(const std::string& path)> openWithDesktop;
    // Starts `program` with the arguments, without a shell and without waiting. Failures are not reported.
    std::function<void(const std::string& program, const std::vector<std::string>& arguments)> startProgram;
    // Shows the RIFF structure report of a file in its window; false when the report could not be made.
    std::function<bool(const std::string& path)> showRiffReport;

    // Called again and again while long work runs beside the window: shows its progress in percent, lets
    // the window process its events, and answers true once the user asked to abort (Esc).
    std::function<bool(int percent)> waitForWork;

    // The frame-rate and codec dialogs, shown modally over the state they keep between uses; true when the
    // user closed them with OK (the state then holds the choice).
    std::function<bool(ChoiceDialogState& state)> askFrameRate;
    std::function<bool(ChoiceDialogState& state)> askCodec;
};

}  // namespace moraven
