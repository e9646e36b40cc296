#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/window_state.h"

namespace moraven {

// One action of the window's action list `al`: what a menu entry, a tool button, a shortcut and a
// command-line letter all start. The front end draws it; the core decides its texts and states.
struct Action {
    std::string name;      // "afOuvrirFichiers", "amAjouterDatecode", ...
    std::string category;  // "permanent", "vide", "liste", "mono", "multi"
    std::string caption;
    std::string shortcut;  // as text, "Ctrl+D"; empty: none
    std::vector<std::string> secondaryShortcuts;
    std::string hint;
    int tag = -1;         // row in the command check list, -1 when not listed there
    int imageIndex = -1;  // in the tool bars' image list
    bool visible = true;
    bool enabled = true;
    bool checked = false;
    bool hasHandler = true;  // false: OnExecute is left to the command runners

    Category categoryNumber() const { return categoryFromText(category); }
};

// The action list, in its fixed order (which is also the order of the command-line switches).
class ActionList {
public:
    ActionList() = default;
    explicit ActionList(std::vector<Action> actions) : m_actions(std::move(actions)) {}

    std::vector<Action>& actions() { return m_actions; }
    const std::vector<Action>& actions() const { return m_actions; }
    std::size_t size() const { return m_actions.size(); }
    Action& operator[](std::size_t i) { return m_actions[i]; }
    const Action& operator[](std::size_t i) const { return m_actions[i]; }

    void append(Action action) { m_actions.push_back(std::move(action)); }
    // The index of the action whose name equals `name` without regard to letter case.
    std::optional<std::size_t> indexOf(std::string_view name) const;
    Action* find(std::string_view name);

private:
    std::vector<Action> m_actions;
};

// The window's own actions (names beginning "af", "al", "av", "Av", "Re"), with the English captions and
// shortcuts they carry after start-up.
std::vector<Action> windowActions();

// Whether the window's action of this name brings files into the list (open, paste, folder scans,
// playlists): the actions that a run holding the list disables.
bool addsFilesToList(std::string_view actionName);

// ASCII lower case of a text; bytes above 127 stay as they are.
std::string asciiLower(std::string_view text);

}  // namespace moraven
