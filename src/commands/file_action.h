#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "window/list_record.h"
#include "window/window_state.h"

namespace moraven {

class TSceneWriter;

// How the list must change after a command worked on a file.
enum class TchUpdateType : std::uint8_t { utNone, utAdd, utDelete, utModify, utRename };

// The parameter of the scene commands: the writer that their scan hands every scene to (the scene file
// writer for CreerScenes, the scene list writer for ScenesText), so that one execution handler serves both.
// The writer belongs to the command module (SceneCommands), which outlives the commands and every copy of
// their parameters; it is used on the window thread and by the one scan that runs at a time.
struct SceneWriterParam {
    TSceneWriter* writer = nullptr;

    friend bool operator==(const SceneWriterParam&, const SceneWriterParam&) = default;
};

// A command's own parameter, handed to each of its events: its name and what its handlers take from it.
// Every command but the scene commands has none (std::monostate). Copying it copies the name and the
// writer's address, never the writer.
struct TParam {
    std::string Name;
    std::variant<std::monostate, SceneWriterParam> Data;

    friend bool operator==(const TParam&, const TParam&) = default;
};

// The scene writer of a scene command's parameter; nullptr when the parameter holds none.
inline TSceneWriter* sceneWriterOf(const TParam& param) {
    const auto* scene = std::get_if<SceneWriterParam>(&param.Data);
    return scene != nullptr ? scene->writer : nullptr;
}

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
