#include "window/action_list.h"

#include <algorithm>

namespace moraven {

std::string asciiLower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::optional<std::size_t> ActionList::indexOf(std::string_view name) const {
    const std::string wanted = asciiLower(name);
    for (std::size_t i = 0; i < m_actions.size(); ++i) {
        if (asciiLower(m_actions[i].name) == wanted) return i;
    }
    return std::nullopt;
}

Action* ActionList::find(std::string_view name) {
    const auto index = indexOf(name);
    return index ? &m_actions[*index] : nullptr;
}

bool addsFilesToList(std::string_view actionName) {
    static constexpr std::string_view kSources[] = {
        "afOuvrirFichiers", "afCollerFichiers", "afOuvrirunDossier",      "afOuvrirDossierPrefere",
        "afOuvrirTout",     "afOuvrirPlayList", "afOuvrirDefaultPlayList"};
    return std::find(std::begin(kSources), std::end(kSources), actionName) != std::end(kSources);
}

std::vector<Action> windowActions() {
    struct Row {
        const char* name;
        const char* category;
        const char* caption;
        const char* shortcut;
        std::vector<std::string> secondary;
    };
    const std::vector<Row> rows{
        {"afOuvrirFichiers", "vide", "Open...", "Ctrl+O", {}},
        {"afCollerFichiers", "vide", "Paste", "Ctrl+V", {}},
        {"afOuvrirunDossier", "vide", "Open a folder...", "Ctrl+L", {}},
        {"afOuvrirDossierPrefere", "vide", "Open the preferred folder", "F7", {}},
        {"afOuvrirTout", "vide", "Open all", "Ctrl+F7", {}},
        {"afOuvrirPlayList", "vide", "Open a playlist...", "Ctrl+U", {}},
        {"afOuvrirDefaultPlayList", "vide", "Open the default playlist", "Shift+F7", {}},
        {"afSauverListe", "liste", "Save the playlist as...", "Ctrl+J", {}},
        {"afBasculerListe", "multi", "Show the list", "F6", {}},
        {"afOrdreAlpha", "liste", "Alphabetical order", "Alt+A", {}},
        {"alTriDatecode", "liste", "Sort by datecode", "Alt+D", {}},
        {"alTriTaille", "liste", "Sort by size", "Alt+S", {}},
        {"alTrierModify", "liste", "Sort by filedate", "Alt+F", {}},
        {"afSelectionnerTout", "liste", "Select All", "Ctrl+A", {}},
        {"afViderListe", "liste", "Empty th list", "Ctrl+Del", {}},
        {"afInterrompre", "permanent", "Abort", "Esc", {}},
        {"afInterrompreTous", "permanent", "Abort all", "Shift+Esc", {}},
        {"afOptions", "permanent", "Settings", "F10", {}},
        {"afApropos", "permanent", "About...", "F1", {}},
        {"afQuitter", "permanent", "Quit", "Alt+F4", {"Ctrl+Q"}},
        {"afSnapwick", "mono", "Open with ", "F2", {}},
        {"avPlayStop", "mono", "Play ", "Space", {}},
        {"avanceLow", "mono", "One frame forward", "Ctrl+Right", {}},
        {"reculeLow", "mono", "One frame backward", "Ctrl+Left", {}},
        {"avanceMedium", "mono", "One second forward", "Ctrl+Down", {}},
        {"ReculeMedium", "mono", "One second backward", "Ctrl+Up", {}},
        {"avanceHigh", "mono", "One minute forward", "Ctrl+PgDn", {}},
        {"ReculeHigh", "mono", "One minute backward", "Ctrl+PgUp", {}},
        {"avAvanceFin", "mono", "Go to End", "Ctrl+End", {}},
        {"avReculeDebut", "mono", "Go to Start", "Ctrl+Home", {}},
        {"AvanceScene", "mono", "Next scene", "F9", {"ctrl+F9"}},
        {"ReculeScene", "mono", "Previous scene", "F8", {"ctrl+F8"}},
        {"avFullscreen", "mono", "Fullscreen", "Alt+Enter", {"F11"}},
        {"avMute", "mono", "Sound off", "Ctrl+M", {}},
        {"afIncVolume", "permanent", "Increase the Volume", "Num +", {"+"}},
        {"afDecVolume", "permanent", "Reduce the Volume", "Num -", {}},
    };
    std::vector<Action> actions;
    actions.reserve(rows.size());
    for (const Row& row : rows) {
        Action action;
        action.name = row.name;
        action.category = row.category;
        action.caption = row.caption;
        action.shortcut = row.shortcut;
        action.secondaryShortcuts = row.secondary;
        actions.push_back(std::move(action));
    }
    if (Action* empty = &actions[14]; empty->name == "afViderListe") empty->hint = empty->caption;
    if (Action* mute = &actions[33]; mute->name == "avMute") mute->hint = "Put the sound on or off";
    if (Action* quit = &actions[19]; quit->name == "afQuitter") quit->hint = "Quit Moraven";
    return actions;
}

}  // namespace moraven
