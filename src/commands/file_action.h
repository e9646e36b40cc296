#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "window/list_record.h"
#include "window/window_state.h"

namespace moraven {

// How the list must change after a command worked on a file.
enum class TchUpdateType : std::uint8_t { utNone, utAdd, utDelete, utModify, utRename };

// A command's own parameter block, handed to each of its events: a name and a block of static data (the
// scene writer of the scene commands). Empty for every other command.
struct TParam {
    std::string Name;
    std::int32_t Size = 0;
    const void* Data = nullptr;
};

// The runner through which a command's action runs it.
enum class Runner : std::uint8_t { OnCurrentFile, OnSelection, Conversion, ByCategory };

// Is the command offered at all (asked once, at start). visible: in-out.
using TGeneralConditionEvent = std::function<void(const TParam& param, bool& visible)>;
// Does the command apply to this file. visible, enabled: in-out.
using TFileConditionEvent =
    std::function<void(const TParam& param, const ListRecord& fichier, bool& visible, bool& enabled)>;
// The question to ask before working on the file; empty: no question, go on.
using TConfirmationEvent =
    std::function<void(const TParam& param, const ListRecord& fichier, std::string& confirmMsg)>;
// The work on one file. newfichier (cleared by the caller): the path that now stands for the entry; update:
// how the list must change, set by the handler on every path.
using TExecutionEvent = std::function<void(const TParam& param, const ListRecord& fichier,
                                           std::string& newfichier, TchUpdateType& update)>;

// A command: its texts, its letter, its events and the action of the window that starts it.
struct tFileAction {
    std::string Name;         // component name, "AjouterDateCode"
    std::string MonoMessage;  // progress text, may hold one "%s" for the file name; empty: no progress
    std::string Caption;
    std::string Shortcut;  // as text, "Ctrl+D"
    std::string Switch;    // command-line letter, lower case; empty: none
    std::string Modele;    // the command whose events fill this one's unassigned events
    TParam param;

    TGeneralConditionEvent OnGeneralCondition;
    TFileConditionEvent OnFileCondition;
    TConfirmationEvent OnConfirmation;
    TExecutionEvent OnExecution;

    // The window's action bound to the command, as the window makes it.
    std::string actionName;      // "amAjouterDatecode"
    std::string actionCategory;  // "multi" or "mono"
    std::string menuCaption;
    std::string actionShortcut;  // empty: the action takes the command's
    Runner runner = Runner::OnSelection;
};

}  // namespace moraven
