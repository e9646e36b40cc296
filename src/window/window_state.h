#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace moraven {

class ListRecord;

// The categories of the window's actions, by their numbers; 0 is any other text.
enum class Category : std::uint8_t { None = 0, Permanent = 1, Vide = 2, Liste = 3, Mono = 4, Multi = 5 };

// "permanent", "vide", "liste", "mono", "multi"; exact (case-sensitive) comparison, anything else is None.
Category categoryFromText(std::string_view text);
std::string_view categoryText(Category category);

// A set of category numbers (0..7).
class CategorySet {
public:
    constexpr CategorySet() = default;
    constexpr CategorySet(std::initializer_list<Category> categories) {
        for (Category c : categories) m_bits = static_cast<std::uint8_t>(m_bits | bit(c));
    }
    constexpr bool contains(Category c) const { return (m_bits & bit(c)) != 0; }
    friend constexpr bool operator==(CategorySet, CategorySet) = default;

private:
    static constexpr std::uint8_t bit(Category c) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(c));
    }
    std::uint8_t m_bits = 0;
};

// The window-wide state that the list, the commands and the panels share. One object, owned by whoever
// plays the window (the window, or hidden mode), passed to the parts that need it. Window thread only.
struct WindowState {
    // The record of the row at the list's item index, or none. Owned by the list.
    const ListRecord* CurrentFichier = nullptr;
    CategorySet EnabledCategories{Category::Permanent, Category::Vide};
    bool AbortRequested = false;
    bool AbortAllRequested = false;
    // Set only by the command line: no question is asked.
    bool NoConfirmation = false;
    // Between BeginListLoad and EndListLoad: files are being added in bulk.
    bool ListLoading = false;
    // Whether CurrentFichier was set when the current loading began.
    bool HadCurrentFichier = false;

    // What is on screen: the list column (cut off at start and by ToggleList), the placeholder of the
    // empty list, and the settings and About panels that cover the window.
    bool listShown = false;
    bool placeholderShown = true;
    bool settingsPanelShown = false;
    bool aboutPanelShown = false;
    // False while a runner works: the list box is disabled.
    bool listEnabled = true;
    // Above zero while a command run holds the list (the runners take and release it): rows are found again
    // by their record ids after each call that can process window events, and the list refuses additions
    // from outside the run (open, paste, drop, folder scans, playlists) until the run ends.
    int runsHoldingList = 0;
};

}  // namespace moraven
