#include "commands/runners.h"

namespace moraven {

namespace {

// Holds the list for a run: while held, the list refuses additions from outside the run and the actions
// that add files are disabled. Released by `release()` before the run's last refresh (so that the refresh
// offers those actions again), or at the latest when the hold goes out of scope.
class ListHold {
public:
    explicit ListHold(WindowState& state) : m_state(state) { ++m_state.runsHoldingList; }
    ~ListHold() { release(); }
    ListHold(const ListHold&) = delete;
    ListHold& operator=(const ListHold&) = delete;

    void release() {
        if (m_held) --m_state.runsHoldingList;
        m_held = false;
    }

private:
    WindowState& m_state;
    bool m_held = true;
};

}  // namespace

std::string severalFilesQuestion(const std::string& confirmMsg) {
    return confirmMsg + "\r\nIf you type \"All\", no more confimation will be asked for.";
}

CommandRunner::CommandRunner(FileList& list, WindowState& state, Interaction& interaction, ActionList& al,
                             Tch& commands, CommandCheckList& checkList, RunnerHooks hooks)
    : m_list(list),
      m_state(state),
      m_interaction(interaction),
      m_al(al),
      m_commands(commands),
      m_checkList(checkList),
      m_hooks(std::move(hooks)) {
    m_list.setHooks({[this] { UpdateActionStates(); }, m_hooks.showCurrent});
}

bool CommandRunner::confirmOneFile(tFileAction& command, const ListRecord& fichier) {
    if (!command.OnConfirmation || m_state.NoConfirmation) return true;
    std::string confirmMsg;
    command.OnConfirmation(command.param, fichier, confirmMsg);
    if (confirmMsg.empty()) return true;
    return m_interaction.askYesNo(confirmMsg);
}

CommandRunner::Decision CommandRunner::confirmSeveralFiles(tFileAction& command, const ListRecord& fichier,
                                                           std::optional<Answer>& answer) {
    if (!command.OnConfirmation || m_state.NoConfirmation) answer = Answer::All;
    if (answer == Answer::All) return Decision::Work;
    std::string confirmMsg;
    command.OnConfirmation(command.param, fichier, confirmMsg);
    if (confirmMsg.empty()) {
        answer = Answer::Yes;
        return Decision::Work;
    }
    answer = m_interaction.askYesNoCancelAll(severalFilesQuestion(confirmMsg));
    switch (*answer) {
        case Answer::Cancel:
            return Decision::Cancel;
        case Answer::No:
            return Decision::Skip;
        case Answer::Yes:
        case Answer::All:
            return Decision::Work;
    }
    return Decision::Skip;
}

bool CommandRunner::fileConditionEnabled(tFileAction& command, const ListRecord& fichier) {
    if (!command.OnFileCondition) return true;
    bool visible = true;
    bool enabled = true;
    command.OnFileCondition(command.param, fichier, visible, enabled);
    return enabled;
}

bool CommandRunner::confirmAndWorkOnFile(tFileAction& command, const ListRecord& fichier, bool severalFiles,
                                         std::optional<Answer>& answer) {
    if (!fileConditionEnabled(command, fichier)) return true;
    if (severalFiles) {
        const Decision decision = confirmSeveralFiles(command, fichier, answer);
        if (decision == Decision::Cancel) return false;
        if (decision == Decision::Skip) return true;
    } else if (!confirmOneFile(command, fichier)) {
        return true;
    }
    workOnFile(command, fichier);
    m_state.AbortRequested = false;
    return !m_state.AbortAllRequested;
}

void CommandRunner::workOnFile(tFileAction& command, const ListRecord& fichier) {
    const bool progress = !command.MonoMessage.empty();
    if (progress) ShowCommandProgress(command.MonoMessage, fichier);
    try {
        ExecuteOnFile(command.param, fichier, command.OnExecution);
    } catch (...) {
        if (progress) HideCommandProgress();
        throw;
    }
    if (progress) HideCommandProgress();
}

void CommandRunner::ExecuteOnFile(const TParam& param, const ListRecord& fichier,
                                  const TExecutionEvent& handler) {
    if (!handler) return;
    // The handler works on a private copy of the parameter: a handler may process window events, and
    // nothing it is handed by reference relies on the command staying as it was across them. The copy
    // holds the scene writer's address, not the writer, which stays the command module's.
    const TParam copy = param;
    const std::string path = fichier.fullPath();
    const int listed = m_list.indexOfPath(path);
    const std::uint64_t id = listed >= 0 ? m_list.recordId(listed) : 0;
    std::string newfichier;
    TchUpdateType update = TchUpdateType::utNone;
    {
        ListHold hold(m_state);
        handler(copy, fichier, newfichier, update);
    }
    // `fichier` may be freed from here on, and rows may have moved while the handler processed window
    // events: the row is found again by its record's id, else by the exact path.
    int found = id != 0 ? m_list.indexOfRecordId(id) : -1;
    if (found < 0) found = m_list.indexOfPath(path);
    switch (update) {
        case TchUpdateType::utNone:
            break;
        case TchUpdateType::utAdd: {
            if (const int old = m_list.indexOfPath(newfichier); old >= 0) m_list.deleteRow(old);
            m_list.addFileOfRun(newfichier);
            break;
        }
        case TchUpdateType::utDelete:
            if (found >= 0) {
                m_list.setSelected(found, false);
                m_list.deleteRow(found);
            }
            break;
        case TchUpdateType::utModify:
            if (found >= 0) {
                if (auto record = m_list.factory()(path)) m_list.replaceRecord(found, std::move(record));
            }
            break;
        case TchUpdateType::utRename:
            if (found >= 0) {
                if (auto record = m_list.factory()(newfichier)) m_list.renameRow(found, std::move(record));
            }
            break;
    }
}

std::vector<CommandRunner::Entry> CommandRunner::takeSelection() {
    std::vector<Entry> entries;
    for (int i = 0; i < m_list.rowCount(); ++i) {
        if (m_list.isSelected(i)) entries.push_back({m_list.caption(i), m_list.recordId(i)});
    }
    return entries;
}

void CommandRunner::RunOnCurrentFile(tFileAction& command) {
    if (m_list.selectedCount() == 0) return;
    ListHold hold(m_state);
    auto end = [this, &hold] {
        hold.release();
        m_list.SelectionRefresh();
        UpdateActionStates();
        m_state.AbortRequested = false;
        m_state.AbortAllRequested = false;
    };
    try {
        if (const ListRecord* current = m_state.CurrentFichier) {
            if (confirmOneFile(command, *current) && command.OnExecution) workOnFile(command, *current);
        }
    } catch (...) {
        end();
        throw;
    }
    end();
}

void CommandRunner::RunOnSelection(tFileAction& command) {
    if (m_list.selectedCount() == 0) return;
    std::vector<Entry> entries = takeSelection();
    ListHold hold(m_state);
    m_state.listEnabled = false;
    m_list.deselectAll();
    auto end = [this, &hold] {
        hold.release();
        m_state.listEnabled = true;
        FullRefresh();
        m_state.AbortAllRequested = false;
        m_state.AbortRequested = false;
    };
    try {
        std::optional<Answer> answer;
        for (const Entry& entry : entries) {
            int i = m_list.indexOfRecordId(entry.id);
            if (i < 0) continue;  // removed by an earlier file of the run
            m_list.setItemIndex(i);
            m_list.setSelected(i, true);
            m_interaction.processPendingEvents();
            if (m_state.AbortRequested) break;
            m_list.SelectionRefresh();
            if ((i = m_list.indexOfRecordId(entry.id)) < 0) continue;
            if (!confirmAndWorkOnFile(command, m_list.record(i), entries.size() >= 2, answer)) break;
        }
    } catch (...) {
        end();
        throw;
    }
    end();
}

void CommandRunner::RunConversion(tFileAction& command) {
    if (m_list.selectedCount() == 0) return;
    for (Action& action : m_al.actions()) {
        const std::string category = asciiLower(action.category);
        if (category == "liste" || category == "multi") action.enabled = false;
    }
    std::vector<Entry> entries = takeSelection();
    ListHold hold(m_state);
    m_state.listEnabled = false;
    m_list.deselectAll();
    auto end = [this, &hold] {
        hold.release();
        m_state.listEnabled = true;
        FullRefresh();
        m_state.AbortAllRequested = false;  // AbortRequested is left to the idle reset
    };
    try {
        std::optional<Answer> answer;
        for (const Entry& entry : entries) {
            int i = m_list.indexOfRecordId(entry.id);
            if (i < 0) continue;
            m_list.setItemIndex(i);
            m_list.setSelected(i, true);
            FullRefresh();
            m_interaction.processPendingEvents();
            if (m_state.AbortRequested) break;
            if ((i = m_list.indexOfRecordId(entry.id)) < 0) continue;
            if (!confirmAndWorkOnFile(command, m_list.record(i), entries.size() >= 2, answer)) break;
        }
    } catch (...) {
        end();
        throw;
    }
    end();
}

void CommandRunner::RunByCategory(Action& sender) {
    tFileAction* command = m_commands.FindCommand(sender.name);
    if (!command) return;
    const Category category = sender.categoryNumber();
    if (category == Category::Liste) return;
    const int selected = m_list.selectedCount();
    if (selected == 0 && category != Category::Vide && category != Category::Permanent) return;

    ListHold hold(m_state);
    if (selected > 1 && category != Category::Mono) {
        m_state.listEnabled = false;
        if (m_hooks.SuspendPreview) m_hooks.SuspendPreview();
        std::vector<Entry> entries = takeSelection();
        m_list.deselectAll();
        auto end = [this, &hold] {
            hold.release();
            if (m_hooks.EndSuspend) m_hooks.EndSuspend();
            FullRefresh();
            m_state.AbortAllRequested = false;
            m_state.listEnabled = true;
        };
        try {
            std::optional<Answer> answer;
            for (const Entry& entry : entries) {
                m_interaction.processPendingEvents();
                if (m_state.AbortRequested) break;
                const int i = m_list.indexOfRecordId(entry.id);
                if (i < 0) continue;
                m_list.setSelected(i, true);
                m_list.setItemIndex(i);
                m_list.SelectionRefresh();
                if (!confirmAndWorkOnFile(*command, m_list.record(i), true, answer)) break;
            }
        } catch (...) {
            end();
            throw;
        }
        end();
        return;
    }

    auto end = [this, &hold] {
        hold.release();
        FullRefresh();
        m_state.AbortRequested = false;
        m_state.AbortAllRequested = false;
    };
    try {
        // The file condition is not consulted on this path.
        if (const ListRecord* current = m_state.CurrentFichier) {
            if (confirmOneFile(*command, *current) && command->OnExecution) workOnFile(*command, *current);
        }
    } catch (...) {
        end();
        throw;
    }
    end();
}

void CommandRunner::ShowCommandProgress(const std::string& message, const ListRecord& fichier) {
    std::string text = message;
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, fichier.fileName());
    // The status text first: a progress display that draws text and percentage on one line (hidden mode
    // on a terminal) then shows this command's text from its first drawing.
    m_interaction.setStatusText(text);
    m_interaction.showProgress();
}

void CommandRunner::HideCommandProgress() { m_interaction.hideProgress(); }

void CommandRunner::FullRefresh() {
    m_list.SelectionRefresh();
    if (m_hooks.showCurrent) m_hooks.showCurrent(m_state.CurrentFichier);
    UpdateActionStates();
}

void CommandRunner::UpdateActionStates() {
    const bool listHidden = !m_state.listShown && !m_state.settingsPanelShown && !m_state.aboutPanelShown;
    for (Action& action : m_al.actions()) {
        const Category category = action.categoryNumber();
        if (listHidden && category == Category::Liste) {
            action.visible = false;
            continue;
        }
        if (!m_state.listEnabled && (category == Category::Liste || category == Category::Multi)) {
            action.enabled = false;
            continue;
        }
        if (addsFilesToList(action.name)) {
            // Nothing is added while a run holds the list (its rows are looked up by id meanwhile).
            action.enabled = m_state.runsHoldingList == 0;
            continue;
        }
        if (action.tag < 0 || category == Category::Permanent || category == Category::Vide) continue;

        const bool offered = m_state.EnabledCategories.contains(category);
        bool v = offered;
        bool e = offered;
        tFileAction* command = m_commands.FindCommand(action.name);
        if (offered && category == Category::Multi) {
            if (command && command->OnFileCondition && m_list.selectedCount() > 0) {
                // A "multi" command is available as soon as it applies to one selected file.
                v = false;
                e = false;
                for (int i = 0; i < m_list.rowCount(); ++i) {
                    if (!m_list.isSelected(i)) continue;
                    bool visible = true;
                    bool enabled = true;
                    command->OnFileCondition(command->param, m_list.record(i), visible, enabled);
                    v = v || visible;
                    e = e || enabled;
                }
            }
        } else {
            bool visible = true;
            bool enabled = true;
            if (command && m_state.CurrentFichier && command->OnFileCondition) {
                command->OnFileCondition(command->param, *m_state.CurrentFichier, visible, enabled);
            }
            v = v && visible;
            e = v && enabled;
        }
        const bool marked = m_checkList.marked(action.tag);
        action.visible = marked && v;
        action.enabled = marked && e;
    }
    if (Action* toggle = m_al.find("afBasculerListe")) toggle->caption = m_list.toggleListCaption();
}

bool CommandRunner::executeAction(Action& action) {
    tFileAction* command = m_commands.commandOfAction(action.name);
    if (!command) return false;
    if (!action.hasHandler) {
        RunByCategory(action);
        return true;
    }
    switch (command->runner) {
        case Runner::OnCurrentFile:
            RunOnCurrentFile(*command);
            break;
        case Runner::OnSelection:
            RunOnSelection(*command);
            break;
        case Runner::Conversion:
            RunConversion(*command);
            break;
        case Runner::ByCategory:
            RunByCategory(action);
            break;
    }
    return true;
}

}  // namespace moraven
