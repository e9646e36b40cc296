#pragma once

#include <string_view>
#include <vector>

#include "commands/command_context.h"
#include "commands/conversion_commands.h"
#include "commands/file_action.h"
#include "commands/housekeeping_commands.h"
#include "commands/player_commands.h"
#include "commands/naming_commands.h"
#include "commands/repair_commands.h"
#include "commands/scene_commands.h"
#include "window/action_list.h"

namespace moraven {

// The command module: every command of the program, made from one declarative table (name, action,
// category, captions, shortcuts, letter, runner, events), in component order. Commands whose work needs
// parts of the program that do not exist yet are not in the table at all: no action, no letter.
// Owns the commands for the whole run; window thread only.
class Tch {
public:
    explicit Tch(const CommandContext& context);
    Tch(const Tch&) = delete;
    Tch& operator=(const Tch&) = delete;

    // The command list, in component order.
    std::vector<tFileAction>& commands() { return m_commands; }
    const std::vector<tFileAction>& commands() const { return m_commands; }

    // The command of this component name (any letter case), or none.
    tFileAction* findByName(std::string_view name);
    // The command of an action: the action's name without its prefix "am", "at", "pm" or "pt", looked up
    // without regard to case; none for any other name.
    tFileAction* FindCommand(std::string_view actionName);
    // The command that an action starts: the one bound to it by name (afSnapwick starts Snapwick, which
    // has no "am" action), else FindCommand's.
    tFileAction* commandOfAction(std::string_view actionName);

    // Sets the English caption, progress message and shortcut of each command (the letters stay).
    void ApplyCommandTexts();
    // Appends the window's "am" actions of the commands to `al`, in the action list's order, with the
    // menu captions, shortcuts and categories the window gives them; those already there are left alone.
    void appendCommandActions(ActionList& al) const;
    // Binds the commands to the actions of `al`: models, general conditions, missing shortcuts, captions,
    // categories and images; a command with a caption and no action gets a "pm" action.
    void BuildCommandMenus(ActionList& al);

    NamingCommands& naming() { return m_naming; }
    SceneCommands& scenes() { return m_scenes; }
    HousekeepingCommands& housekeeping() { return m_housekeeping; }
    PlayerCommands& player() { return m_player; }
    RepairCommands& repairs() { return m_repairs; }
    ConversionCommands& conversions() { return m_conversions; }

private:
    NamingCommands m_naming;
    SceneCommands m_scenes;
    HousekeepingCommands m_housekeeping;
    PlayerCommands m_player;
    RepairCommands m_repairs;
    ConversionCommands m_conversions;
    std::vector<tFileAction> m_commands;
};

}  // namespace moraven
