#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "commands/check_list.h"
#include "commands/command_table.h"
#include "commands/file_action.h"
#include "pipeline/media_framework_module.h"
#include "window/action_list.h"
#include "window/file_list.h"
#include "window/interaction.h"
#include "window/window_state.h"

namespace moraven {

// What the runners ask of the window beyond the list: the information panel for the current file (none:
// cleared, with its interruption message) and the preview's suspension during a run. Any may be empty.
struct RunnerHooks {
    std::function<void(const ListRecord*)> showCurrent;
    std::function<void()> SuspendPreview;
    std::function<void()> EndSuspend;
    // The media framework, loaded on first use (CommandContext::mediaFramework).
    std::function<const MediaFrameworkLoad&()> mediaFramework;
    // The conversions' graphs (CommandContext::conversions).
    std::function<ConversionGraphs*()> conversions;
    // Moves a file into the user's trash (the scene file of "Delete the scn file"); true when it went there.
    std::function<bool(const std::string& path)> MoveToRecycleBin;
};

// The command runners: which files a command works on, its questions, its progress, Esc and Shift+Esc, and
// the list change each execution asks for. Also the availability of the actions. Everything given must
// outlive the runner; window thread only. The runner installs itself as the list's hooks.
class CommandRunner {
public:
    CommandRunner(FileList& list, WindowState& state, Interaction& interaction, ActionList& al, Tch& commands,
                  CommandCheckList& checkList, RunnerHooks hooks = {});

    void RunOnCurrentFile(tFileAction& command);
    void RunOnSelection(tFileAction& command);
    void RunConversion(tFileAction& command);
    void RunByCategory(Action& sender);

    // Runs one execution on `fichier` and applies the list update it answers.
    void ExecuteOnFile(const TParam& param, const ListRecord& fichier, const TExecutionEvent& handler);

    void ShowCommandProgress(const std::string& message, const ListRecord& fichier);
    void HideCommandProgress();

    // `SelectionRefresh`, the information panel for `CurrentFichier`, then the action states.
    void FullRefresh();
    // Visible and Enabled of every action from the list's state, the categories, the file conditions and
    // the marks of the command check list.
    void UpdateActionStates();

    // The OnExecute of a command's action: its command's runner. False when the action has no command.
    bool executeAction(Action& action);

private:
    enum class Decision { Work, Skip, Cancel };
    struct Entry {
        std::string caption;
        std::uint64_t id = 0;
    };

    bool confirmOneFile(tFileAction& command, const ListRecord& fichier);
    Decision confirmSeveralFiles(tFileAction& command, const ListRecord& fichier,
                                 std::optional<Answer>& answer);
    void workOnFile(tFileAction& command, const ListRecord& fichier);
    // What every file of a run goes through: its file condition, the question (the form with "All" when
    // the run has several files), the work, and the abort flags. False when the run must stop.
    bool confirmAndWorkOnFile(tFileAction& command, const ListRecord& fichier, bool severalFiles,
                              std::optional<Answer>& answer);
    bool fileConditionEnabled(tFileAction& command, const ListRecord& fichier);
    std::vector<Entry> takeSelection();

    FileList& m_list;
    WindowState& m_state;
    Interaction& m_interaction;
    ActionList& m_al;
    Tch& m_commands;
    CommandCheckList& m_checkList;
    RunnerHooks m_hooks;
};

// The several-files question: the command's question and the sentence about "All".
std::string severalFilesQuestion(const std::string& confirmMsg);

}  // namespace moraven
