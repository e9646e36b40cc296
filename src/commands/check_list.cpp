#include "commands/check_list.h"

#include <algorithm>

#include "window/file_list.h"

namespace moraven {

void CommandCheckList::FillCommandList(ActionList& al) {
    m_rows.clear();
    for (Action& action : al.actions()) action.tag = -1;
    for (std::size_t i = 0; i < al.size(); ++i) {
        const Action& action = al[i];
        if (!action.visible || action.caption.empty()) continue;
        Row row;
        row.text = action.caption;
        if (!action.shortcut.empty()) row.text += " (" + action.shortcut + ")";
        row.action = i;
        row.canUncheck = asciiLower(action.name).rfind("af", 0) != 0;
        m_rows.push_back(std::move(row));
    }
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const Row& a, const Row& b) { return compareSortKeys(a.text, b.text) < 0; });
    for (std::size_t r = 0; r < m_rows.size(); ++r) al[m_rows[r].action].tag = static_cast<int>(r);
}

void CommandCheckList::ApplySavedMarks(const std::vector<ActionSetting>& saved, const ActionList& al) {
    for (const ActionSetting& mark : saved) {
        const auto index = al.indexOf(mark.name);
        if (!index) continue;
        const int tag = al[*index].tag;
        if (tag < 0 || tag >= static_cast<int>(m_rows.size())) continue;
        m_rows[static_cast<std::size_t>(tag)].checked = mark.value != 0;
    }
}

std::vector<ActionSetting> CommandCheckList::CollectMarks(const ActionList& al) const {
    std::vector<ActionSetting> marks;
    for (const Action& action : al.actions()) {
        const int value = action.tag < 0 ? -1 : (marked(action.tag) ? 1 : 0);
        marks.push_back({action.name, value});
    }
    return marks;
}

void CommandCheckList::CheckAll() {
    for (Row& row : m_rows) row.checked = true;
}

void CommandCheckList::setChecked(int row, bool checked) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    if (checked || r.canUncheck) r.checked = checked;
}

bool CommandCheckList::marked(int tag) const {
    return tag >= 0 && tag < static_cast<int>(m_rows.size()) && m_rows[static_cast<std::size_t>(tag)].checked;
}

}  // namespace moraven
