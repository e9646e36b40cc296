#pragma once

#include <string>
#include <vector>

#include "settings/preferences.h"
#include "window/action_list.h"

namespace moraven {

// The command check list of the settings panel: one row per visible action with a caption, sorted by its
// text, each with a check mark. An unchecked action is hidden and disabled and has no command-line letter.
// The rows of the window's own actions (names beginning "af") stay checked.
class CommandCheckList {
public:
    struct Row {
        std::string text;  // caption, and " (shortcut)" when the action has one
        std::size_t action = 0;
        bool checked = true;
        bool canUncheck = true;
    };

    // Builds the rows from `al` and gives each listed action its row index as Tag (-1 for the others).
    void FillCommandList(ActionList& al);
    // Puts the saved marks on the rows of listed actions; marks of unknown or unlisted actions are ignored.
    void ApplySavedMarks(const std::vector<ActionSetting>& saved, const ActionList& al);
    // The marks to save: every action in list order, -1 when unlisted, else 1 checked or 0 unchecked.
    std::vector<ActionSetting> CollectMarks(const ActionList& al) const;
    void CheckAll();
    // Unchecks or checks a row; the rows of "af" actions cannot be unchecked.
    void setChecked(int row, bool checked);

    // The mark of row `tag`; false for a row that does not exist.
    bool marked(int tag) const;
    const std::vector<Row>& rows() const { return m_rows; }

private:
    std::vector<Row> m_rows;
};

}  // namespace moraven
