#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/check_list.h"
#include "commands/command_table.h"
#include "commands/runners.h"
#include "window/action_list.h"
#include "window/file_list.h"

namespace moraven {

// One command-line letter and the action it runs.
struct SwitchEntry {
    char letter = 0;
    std::size_t action = 0;  // index in the action list
};

// Whether anything (file or folder) is at a path; the command line asks it of parameters that begin with "/".
using PathExistsFunction = std::function<bool(const std::string&)>;
bool pathExistsOnDisk(const std::string& path);

// The letters of the commands that are listed and checked in the command check list, in the action list's
// order: the order in which the commands of one parameter run.
std::vector<SwitchEntry> buildSwitchTable(const ActionList& al, Tch& commands,
                                          const CommandCheckList& checkList);

// The rows of the "Command Line" page: (caption, " +letter") for every switch whose action has a caption,
// and for the four control letters, sorted by the whole row without regard to case.
std::vector<std::pair<std::string, std::string>> commandLineHelpRows(const std::vector<SwitchEntry>& switches,
                                                                     const ActionList& al);

// A switch parameter contains no "." ("+r.avi" is a file name) and no "/" after its first character (a
// second "/" always makes a path); it begins with "+", or with "/" followed by letters, digits and "?" only
// when that names no existing file or folder (an absolute path is never read as letters).
bool isSwitchParameter(std::string_view parameter, const PathExistsFunction& exists = pathExistsOnDisk);
// Whether some switch parameter holds the letter `letter` (lower case).
bool switchesHold(const std::vector<std::string>& parameters, char letter,
                  const PathExistsFunction& exists = pathExistsOnDisk);

// The program's core without a window: the shared state, the list, the commands bound to the action list,
// the command check list with the saved marks, the runner and the switch table, set up in start-up order.
// Everything given must outlive it.
class CommandCore {
public:
    CommandCore(Settings& settings, const DateFormatLocale& locale, Interaction& interaction,
                RecordFactory factory, RunnerHooks hooks = {});
    CommandCore(const CommandCore&) = delete;
    CommandCore& operator=(const CommandCore&) = delete;

    // For each switch parameter, for each switch whose letter it holds (in table order), each entry of
    // the list that the command's file condition accepts is made the only selected entry and the command's
    // action runs on it. Entries removed by an earlier command are passed over.
    void runSwitches(const std::vector<std::string>& parameters,
                     const PathExistsFunction& exists = pathExistsOnDisk);

    // Hidden mode: no confirmation; every parameter that names an accepted file is added (one that cannot
    // be read, and a parameter that is no switch and names nothing, is reported as a failure and left
    // out); the switches run, with the commands' failures reported too (CommandContext::reportFailure), and
    // a command whose file condition accepts none of the files is told as a warning.
    void runHidden(const std::vector<std::string>& parameters,
                   const PathExistsFunction& exists = pathExistsOnDisk);

    // What the visible start asks of the window once the switches have run.
    struct VisibleRun {
        bool showAbout = false;   // "?": the About panel on its "System" page, and no command ran
        bool closeAfter = false;  // "c" before any "?": the program ends
    };
    // The window's start with parameters, at its first paint: the accepted files are added, then the
    // switches run with "m" (no questions) and "c" (close afterwards), unless a parameter holds "?". A
    // failure ends the handling silently; NoConfirmation is cleared in every case.
    VisibleRun runVisible(const std::vector<std::string>& parameters,
                          const PathExistsFunction& exists = pathExistsOnDisk);

    // When set and true, the run stops: the work under way ends as Esc ends it in the window (a conversion
    // keeps what it wrote), and no further file or command is started. Hidden mode sets it on Ctrl+C.
    std::function<bool()> interrupted;

    Settings& settings;
    Interaction& interaction;
    // Preview, trash and message boxes come from the hooks and the interaction; the window adds the desktop
    // services and dialogs (hidden mode runs no command that needs them).
    CommandContext context;
    WindowState state;
    FileList list;
    Tch tch;
    ActionList al;
    CommandCheckList checkList;
    CommandRunner runner;
    std::vector<SwitchEntry> switches;

private:
    // Says that `command` worked on no file: it passed over these (none: the list was empty).
    void tellNothingDone(const tFileAction& command, const std::vector<std::string>& passedOver);

    std::unique_ptr<ConversionGraphs> m_conversions;
    bool m_tellNothingDone = false;
};

// The interaction of hidden mode: no display, nothing asked (every question is answered Yes, though
// NoConfirmation keeps the commands from asking), and a message that reports a failure goes to `errors`.
//
// While a command shows its progress (a conversion), and only when `errors` is a terminal, one line on it
// shows the status text and the percentage ("\rConverting "clip.avi" into type 1 42%"), redrawn when either
// changes, cut to the terminal's width, and cleared when the progress is hidden or before a message is
// written. Nothing of it reaches a file or a pipe.
class HiddenInteraction final : public Interaction {
public:
    // Draws the progress line when `errors` is a terminal.
    explicit HiddenInteraction(std::FILE* errors = stderr);
    // Draws the progress line when `drawProgress` says so, whatever `errors` is.
    HiddenInteraction(std::FILE* errors, bool drawProgress)
        : m_errors(errors), m_drawProgress(drawProgress) {}

    bool askYesNo(const std::string&) override { return true; }
    Answer askYesNoCancelAll(const std::string&) override { return Answer::All; }
    void showMessage(const std::string& text, MessageKind kind) override;
    void setStatusText(const std::string& text) override;
    void setBusyCursor(bool) override {}
    void showProgress() override;
    void setProgress(int percent) override;
    void hideProgress() override;
    void processPendingEvents() override {}

    // Whether a failure was reported.
    bool failed() const { return m_failed; }
    void reportFailure(const std::string& text);

private:
    void drawProgressLine();
    void clearProgressLine();

    std::FILE* m_errors;
    bool m_drawProgress = false;
    bool m_failed = false;
    bool m_progressShown = false;
    int m_percent = 0;
    std::string m_statusText;
    std::string m_drawnLine;  // what the progress line shows now; empty when nothing is drawn
};

}  // namespace moraven
