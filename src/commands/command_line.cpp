#include "commands/command_line.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <exception>

#include "formats/binary_file.h"
#include "pipeline/conversion/tcdm.h"
#include "window/file_list.h"

namespace moraven {

namespace {

// The codec threads of the conversions that code pictures: MORAVEN_CODEC_THREADS when it holds a whole number
// from 1 to 64, else 0 (one per hardware thread). Lets a user keep cores free, and a test or benchmark run the
// program as a machine of another size would.
std::size_t codecThreadsFromEnvironment() {
    const char* value = std::getenv("MORAVEN_CODEC_THREADS");
    if (value == nullptr) return 0;
    const std::string_view text(value);
    std::size_t threads = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), threads);
    if (error != std::errc() || end != text.data() + text.size() || threads < 1 || threads > 64) return 0;
    return threads;
}

std::string stripTrailingLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

bool pathExistsOnDisk(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<SwitchEntry> buildSwitchTable(const ActionList& al, Tch& commands,
                                          const CommandCheckList& checkList) {
    std::vector<SwitchEntry> table;
    for (std::size_t i = 0; i < al.size(); ++i) {
        const Action& action = al[i];
        if (action.tag < 0 || !checkList.marked(action.tag)) continue;
        const tFileAction* command = commands.FindCommand(action.name);
        if (!command || command->Switch.empty()) continue;
        table.push_back({command->Switch.front(), i});
    }
    return table;
}

std::vector<std::pair<std::string, std::string>> commandLineHelpRows(const std::vector<SwitchEntry>& switches,
                                                                     const ActionList& al) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const SwitchEntry& entry : switches) {
        const std::string& caption = al[entry.action].caption;
        if (!caption.empty()) rows.emplace_back(caption, std::string(" +") + entry.letter);
    }
    rows.emplace_back("Close after commands", " +c");
    rows.emplace_back("Hide the window", " +h");
    rows.emplace_back("No confirmation", " +m");
    rows.emplace_back("Help", " +?");
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return compareSortKeys(a.first + "=" + a.second, b.first + "=" + b.second) < 0;
    });
    return rows;
}

namespace {

// What may follow the "/" of a switch: the letters and digits of the commands and "?".
bool isSwitchCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '?';
}

}  // namespace

bool isSwitchParameter(std::string_view parameter, const PathExistsFunction& exists) {
    if (parameter.empty() || parameter.find('.') != std::string_view::npos) return false;
    // A "/" after the first character makes a path ("/videos/archive"), never letters.
    const std::string_view rest = parameter.substr(1);
    if (rest.find('/') != std::string_view::npos) return false;
    if (parameter.front() == '+') return true;
    if (parameter.front() != '/' || rest.empty()) return false;
    for (char c : rest) {
        if (!isSwitchCharacter(c)) return false;
    }
    return !exists(std::string(parameter));
}

bool switchesHold(const std::vector<std::string>& parameters, char letter, const PathExistsFunction& exists) {
    for (const std::string& parameter : parameters) {
        if (isSwitchParameter(parameter, exists) && asciiLower(parameter).find(letter) != std::string::npos) {
            return true;
        }
    }
    return false;
}

CommandCore::CommandCore(Settings& settingsIn, const DateFormatLocale& locale, Interaction& interactionIn,
                         RecordFactory factory, RunnerHooks hooks)
    : settings(settingsIn),
      interaction(interactionIn),
      context(settingsIn, locale),
      list(state, settingsIn, interactionIn, std::move(factory)),
      tch(context),
      al(windowActions()),
      runner(list, state, interactionIn, al, tch, checkList, hooks) {
    context.SuspendPreview = hooks.SuspendPreview;
    context.EndSuspend = hooks.EndSuspend;
    context.MoveToRecycleBin = hooks.MoveToRecycleBin;
    context.mediaFramework = hooks.mediaFramework;
    // The conversion module copies frames without any codec: hidden mode and the window both get it here,
    // made on the first conversion.
    context.conversions = hooks.conversions ? hooks.conversions : [this]() -> ConversionGraphs* {
        if (!m_conversions) m_conversions = std::make_unique<TCdm>(codecThreadsFromEnvironment());
        return m_conversions.get();
    };
    context.showError = [&interactionIn](const std::string& text) {
        interactionIn.showMessage(text, MessageKind::Error);
    };
    context.showWarning = [&interactionIn](const std::string& text) {
        interactionIn.showMessage(text, MessageKind::Warning);
    };
    context.waitForWork = [this](int percent) {
        interaction.setProgress(percent);
        interaction.processPendingEvents();
        if (interrupted && interrupted()) state.AbortRequested = state.AbortAllRequested = true;
        return state.AbortRequested;
    };
    tch.appendCommandActions(al);
    tch.BuildCommandMenus(al);
    checkList.FillCommandList(al);
    checkList.ApplySavedMarks(settings.actions, al);
    switches = buildSwitchTable(al, tch, checkList);
}

void CommandCore::runSwitches(const std::vector<std::string>& parameters, const PathExistsFunction& exists) {
    for (const std::string& parameter : parameters) {
        if (!isSwitchParameter(parameter, exists)) continue;
        const std::string letters = asciiLower(parameter);
        for (const SwitchEntry& entry : switches) {
            if (letters.find(entry.letter) == std::string::npos) continue;
            Action& action = al[entry.action];
            tFileAction* command = tch.FindCommand(action.name);
            if (!command) continue;
            std::vector<std::uint64_t> snapshot;
            for (int i = 0; i < list.rowCount(); ++i) snapshot.push_back(list.recordId(i));
            int worked = 0;
            std::vector<std::string> passedOver;
            for (std::uint64_t id : snapshot) {
                if (interrupted && interrupted()) return;
                const int row = list.indexOfRecordId(id);
                if (row < 0) continue;  // removed by an earlier command of the run
                const ListRecord& fichier = list.record(row);
                state.CurrentFichier = &fichier;
                bool visible = true;
                bool enabled = true;
                if (command->OnFileCondition)
                    command->OnFileCondition(command->param, fichier, visible, enabled);
                if (!enabled) {
                    passedOver.push_back(fichier.fullPath());
                    continue;
                }
                ++worked;
                list.deselectAll();
                list.setSelected(row, true);
                list.setItemIndex(row);
                runner.executeAction(action);
            }
            if (worked == 0 && m_tellNothingDone && (snapshot.empty() || !passedOver.empty())) {
                tellNothingDone(*command, passedOver);
            }
        }
    }
}

void CommandCore::tellNothingDone(const tFileAction& command, const std::vector<std::string>& passedOver) {
    std::string caption = command.Caption;
    while (!caption.empty() && caption.back() == ' ') caption.pop_back();
    std::string text = "\"" + caption + "\" ";
    if (passedOver.empty()) {
        text += "has no file to work on";
    } else if (passedOver.size() == 1) {
        text += "does not apply to " + passedOver.front();
    } else {
        text += "applies to none of the " + std::to_string(passedOver.size()) + " files given";
    }
    interaction.showMessage(text, MessageKind::Warning);
}

void CommandCore::runHidden(const std::vector<std::string>& parameters, const PathExistsFunction& exists) {
    state.NoConfirmation = true;
    // Without a window nothing shows that a command found no file to work on (its action stays greyed in
    // the window): that is said, without failing the run.
    m_tellNothingDone = true;
    // Nobody watches a window: what the window passes over in silence is told, and fails the run.
    context.reportFailure = [this](const std::string& text) {
        interaction.showMessage(text, MessageKind::Error);
    };
    context.reportWarning = [this](const std::string& text) {
        interaction.showMessage(text, MessageKind::Warning);
    };
    list.BeginListLoad("Loading files");
    for (const std::string& parameter : parameters) {
        if (!isSwitchParameter(parameter, exists) && !exists(parameter)) {
            // A file given by name that is not there: said, so that a typing error does not pass as done.
            interaction.showMessage(FileError(FileErrorCode::NotFound, parameter, ENOENT).what(),
                                    MessageKind::Error);
            continue;
        }
        try {
            list.AddFile(parameter);
        } catch (const std::exception& error) {
            // A file that exists but cannot be read: said, and left out; the other files still count.
            interaction.showMessage(error.what(), MessageKind::Error);
        }
    }
    list.EndListLoad();
    runSwitches(parameters, exists);
}

CommandCore::VisibleRun CommandCore::runVisible(const std::vector<std::string>& parameters,
                                                const PathExistsFunction& exists) {
    VisibleRun run;
    try {
        list.BeginListLoad("Loading files");
        try {
            for (const std::string& parameter : parameters) list.AddFile(parameter);
        } catch (...) {
            list.EndListLoad();
            throw;
        }
        list.EndListLoad();
        for (const std::string& parameter : parameters) {
            if (!isSwitchParameter(parameter, exists)) continue;
            if (parameter.find('?') != std::string::npos) {
                run.showAbout = true;
                break;
            }
            const std::string letters = asciiLower(parameter);
            if (letters.find('m') != std::string::npos) state.NoConfirmation = true;
            if (letters.find('c') != std::string::npos) run.closeAfter = true;
        }
        if (!run.showAbout) {
            runSwitches(parameters, exists);
            list.SelectionRefresh();
        }
    } catch (const std::exception&) {
        // Ends the command-line handling; what ran stays done.
    }
    state.NoConfirmation = false;
    return run;
}

namespace {

constexpr std::size_t kDefaultTerminalColumns = 80;

std::size_t terminalColumns(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultTerminalColumns;
}

// The first `columns` code points of a UTF-8 text (one column each: near enough for a status line).
std::string firstCodePoints(const std::string& text, std::size_t columns) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0U) != 0x80U;
        if (starts && count++ == columns) return text.substr(0, i);
    }
    return text;
}

std::size_t codePointCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
    return count;
}

}  // namespace

HiddenInteraction::HiddenInteraction(std::FILE* errors)
    : HiddenInteraction(errors, errors != nullptr && ::isatty(::fileno(errors)) == 1) {}

void HiddenInteraction::setStatusText(const std::string& text) {
    m_statusText = text;
    if (m_progressShown) drawProgressLine();
}

void HiddenInteraction::showProgress() {
    m_progressShown = true;
    m_percent = 0;
    drawProgressLine();
}

void HiddenInteraction::setProgress(int percent) {
    if (!m_progressShown || percent == m_percent) return;
    m_percent = percent;
    drawProgressLine();
}

void HiddenInteraction::hideProgress() {
    m_progressShown = false;
    clearProgressLine();
}

void HiddenInteraction::drawProgressLine() {
    if (!m_drawProgress) return;
    const std::string percent = " " + std::to_string(m_percent) + "%";
    // A line longer than the terminal would wrap, and "\r" would then redraw only its last row.
    const std::size_t columns = terminalColumns(m_errors) - 1;
    const std::size_t room = columns > percent.size() ? columns - percent.size() : 0;
    const std::string line = firstCodePoints(m_statusText, room) + percent;
    if (line == m_drawnLine) return;
    clearProgressLine();
    std::fprintf(m_errors, "\r%s", line.c_str());
    std::fflush(m_errors);
    m_drawnLine = line;
}

void HiddenInteraction::clearProgressLine() {
    if (m_drawnLine.empty()) return;
    std::fprintf(m_errors, "\r%s\r", std::string(codePointCount(m_drawnLine), ' ').c_str());
    std::fflush(m_errors);
    m_drawnLine.clear();
}

void HiddenInteraction::showMessage(const std::string& text, MessageKind kind) {
    if (kind == MessageKind::Information) return;
    // The message gets a line of its own; the progress line comes back at the next change.
    clearProgressLine();
    std::fprintf(m_errors, "moraven: %s\n", stripTrailingLineBreaks(text).c_str());
    if (kind == MessageKind::Error) m_failed = true;
}

void HiddenInteraction::reportFailure(const std::string& text) { showMessage(text, MessageKind::Error); }

}  // namespace moraven
