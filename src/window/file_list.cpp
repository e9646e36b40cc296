#include "window/file_list.h"

#include <algorithm>
#include <array>

#include "formats/binary_file.h"
#include "window/action_list.h"

namespace moraven {

namespace {

unsigned char foldCase(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

constexpr std::array<std::string_view, 4> kOrderSuffixes{" - sorted by datecode", " - sorted alphabetically",
                                                         " - sorted by filesize", " - sorted by filedate"};

std::string countText(int selected, int total, std::string_view middle) {
    std::string text = std::to_string(selected) + " file";
    if (selected >= 2) text += "s";
    text += middle;
    text += std::to_string(total);
    return text;
}

}  // namespace

int compareSortKeys(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char ca = foldCase(a[i]);
        const unsigned char cb = foldCase(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

FileList::FileList(WindowState& state, Settings& settings, Interaction& interaction, RecordFactory factory)
    : m_state(state), m_settings(settings), m_interaction(interaction), m_factory(std::move(factory)) {}

FileList::~FileList() { m_state.CurrentFichier = nullptr; }

bool FileList::isAcceptedPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    return asciiLower(name.substr(dot)) == ".avi";
}

std::size_t FileList::lowerBound(std::string_view key, std::string_view path) const {
    const auto it = std::lower_bound(
        m_rows.begin(), m_rows.end(), std::pair{key, path},
        [](const std::unique_ptr<Row>& row, const std::pair<std::string_view, std::string_view>& wanted) {
            const int c = compareSortKeys(row->key, wanted.first);
            if (c != 0) return c < 0;
            return row->record->fullPath() < wanted.second;
        });
    return static_cast<std::size_t>(it - m_rows.begin());
}

int FileList::AddFile(const std::string& path) {
    // A run holds row numbers and record references across the calls that process window events; a row
    // inserted meanwhile would shift them.
    if (additionsRefused()) return -1;
    return addFile(path);
}

int FileList::addFileOfRun(const std::string& path) { return addFile(path); }

int FileList::addFile(const std::string& path) {
    if (!isAcceptedPath(path) || !fileExists(path)) return -1;
    ++m_rowsVersion;
    std::unique_ptr<ListRecord> record = m_factory(path);
    if (!record) return -1;
    std::string key = record->sortKey(order());

    int i;
    if (const int listed = indexOfPath(record->fullPath()); listed >= 0) {
        // Listed already: the row takes the freshly read record and keeps its caption and selection mark.
        Row& row = *m_rows[idx(listed)];
        row.record = std::move(record);
        row.id = m_nextId++;
        i = listed;
        if (row.key != key) i = reposition(listed, std::move(key));
    } else {
        const std::size_t position = lowerBound(key, record->fullPath());
        const int f = m_itemIndex;
        auto row = std::make_unique<Row>();
        row->caption = record->fileName();
        row->selected = m_settings.selectionnerALOuverture;
        row->id = m_nextId++;
        m_keyOfPath.emplace(record->fullPath(), key);
        row->key = std::move(key);
        row->record = std::move(record);
        m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
        i = static_cast<int>(position);
        // The focused file keeps the focus.
        m_itemIndex = f;
        if (m_itemIndex >= i && m_itemIndex >= 0 && m_itemIndex < rowCount() - 1) ++m_itemIndex;
    }
    SelectionRefresh();
    return i;
}

int FileList::reposition(int row, std::string key) {
    const bool wasItem = m_itemIndex == row;
    std::unique_ptr<Row> moved = std::move(m_rows[idx(row)]);
    m_rows.erase(m_rows.begin() + row);
    if (!wasItem && m_itemIndex > row) --m_itemIndex;
    moved->key = std::move(key);
    m_keyOfPath[moved->record->fullPath()] = moved->key;
    const std::size_t position = lowerBound(moved->key, moved->record->fullPath());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(moved));
    const int p = static_cast<int>(position);
    if (wasItem) {
        m_itemIndex = p;
    } else if (m_itemIndex >= p) {
        ++m_itemIndex;
    }
    return p;
}

void FileList::BeginListLoad(const std::string& message) {
    if (m_state.AbortRequested) return;
    m_state.HadCurrentFichier = m_state.CurrentFichier != nullptr;
    m_interaction.setBusyCursor(true);
    m_interaction.setStatusText(message);
    m_state.ListLoading = true;
}

void FileList::EndListLoad() {
    m_interaction.setBusyCursor(false);
    if (!m_state.HadCurrentFichier && !m_rows.empty()) {
        if (selectedCount() == 0) {
            m_itemIndex = 0;
            m_rows.front()->selected = true;
        }
        SelectionRefresh();
        updateActionStates();
        if (m_hooks.showCurrent) m_hooks.showCurrent(m_state.CurrentFichier);
    }
    m_state.ListLoading = false;
    m_state.AbortRequested = false;
}

void FileList::SortList(int newOrder) {
    ++m_rowsVersion;
    newOrder = normalizedSortOrder(newOrder);
    if (!m_rows.empty()) {
        const std::uint64_t itemId = m_itemIndex >= 0 ? m_rows[idx(m_itemIndex)]->id : 0;
        for (auto& row : m_rows) {
            row->key = row->record->sortKey(newOrder);
            m_keyOfPath[row->record->fullPath()] = row->key;
        }
        // The keys were made when each record was read: sorting never touches the files.
        std::stable_sort(m_rows.begin(), m_rows.end(), [](const auto& a, const auto& b) {
            const int c = compareSortKeys(a->key, b->key);
            if (c != 0) return c < 0;
            return a->record->fullPath() < b->record->fullPath();
        });
        m_settings.ordreDeLaListe = static_cast<std::uint8_t>(newOrder);
        m_itemIndex = itemId != 0 ? indexOfRecordId(itemId) : -1;
    }
    SelectionRefresh();
}

void FileList::SelectionRefresh() {
    if (m_state.ListLoading && m_rows.size() > 1 && !m_state.settingsPanelShown && !m_state.aboutPanelShown &&
        !m_state.listShown) {
        ToggleList();  // the list appears while files are being added
    }
    m_state.placeholderShown = m_rows.empty();
    if (m_state.placeholderShown) m_state.listShown = false;  // the placeholder takes the window's width

    if (m_state.settingsPanelShown || m_state.aboutPanelShown) {
        m_state.EnabledCategories = {Category::Permanent};
    } else if (m_state.placeholderShown) {
        m_state.EnabledCategories = {Category::Permanent, Category::Vide};
    } else if (m_rows.size() == 1) {
        m_state.EnabledCategories = {Category::Permanent, Category::Vide, Category::Mono, Category::Multi};
    } else {
        m_state.EnabledCategories = {Category::Permanent, Category::Vide, Category::Liste, Category::Mono,
                                     Category::Multi};
    }

    if (m_itemIndex >= 0 && m_itemIndex < rowCount()) {
        Row& row = *m_rows[idx(m_itemIndex)];
        m_state.CurrentFichier = row.record.get();
        row.selected = true;
    } else {
        m_itemIndex = -1;
        m_state.CurrentFichier = nullptr;
    }
}

void FileList::ToggleList() {
    m_state.listShown = !m_state.listShown;
    updateActionStates();
}

void FileList::EmptyList() {
    ++m_rowsVersion;
    while (!m_rows.empty()) m_rows.pop_back();  // records freed from the last row to the first
    m_keyOfPath.clear();
    m_itemIndex = -1;
    SelectionRefresh();
    updateActionStates();
}

void FileList::SelectAll() {
    for (auto& row : m_rows) row->selected = true;
    SelectionRefresh();
}

std::vector<std::string> FileList::SortKeys() const {
    std::vector<std::string> keys;
    keys.reserve(m_rows.size());
    for (const auto& row : m_rows) keys.push_back(row->key);
    return keys;
}

void FileList::deselectAll() {
    for (auto& row : m_rows) row->selected = false;
}

int FileList::selectedCount() const {
    return static_cast<int>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const auto& r) { return r->selected; }));
}

void FileList::setItemIndex(int row) { m_itemIndex = (row >= 0 && row < rowCount()) ? row : -1; }

int FileList::indexOfPath(const std::string& path) const {
    const auto found = m_keyOfPath.find(path);
    if (found == m_keyOfPath.end()) return -1;
    const std::size_t position = lowerBound(found->second, path);
    if (position < m_rows.size() && m_rows[position]->record->fullPath() == path)
        return static_cast<int>(position);
    return -1;
}

int FileList::indexOfRecordId(std::uint64_t id) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i]->id == id) return static_cast<int>(i);
    }
    return -1;
}

void FileList::deleteRow(int row) {
    ++m_rowsVersion;
    if (row < 0 || row >= rowCount()) return;
    const int i = m_itemIndex;
    m_keyOfPath.erase(m_rows[idx(row)]->record->fullPath());
    if (m_state.CurrentFichier == m_rows[idx(row)]->record.get()) m_state.CurrentFichier = nullptr;
    m_rows.erase(m_rows.begin() + row);
    if (i >= row) {
        if (i >= 1) {
            m_itemIndex = i - 1;
        } else {
            m_itemIndex = m_rows.empty() ? -1 : 0;
        }
    }
}

void FileList::replaceRecord(int row, std::unique_ptr<ListRecord> record) {
    ++m_rowsVersion;
    if (row < 0 || row >= rowCount() || !record) return;
    Row& r = *m_rows[idx(row)];
    if (m_state.CurrentFichier == r.record.get()) m_state.CurrentFichier = record.get();
    r.record = std::move(record);
    r.id = m_nextId++;
}

int FileList::renameRow(int row, std::unique_ptr<ListRecord> record) {
    ++m_rowsVersion;
    if (row < 0 || row >= rowCount() || !record) return -1;
    // A rename never replaces a file, so no other row can hold the new path; should one do so all the same,
    // it goes, so that one path never has two rows.
    if (const int other = indexOfPath(record->fullPath()); other >= 0 && other != row) {
        deleteRow(other);
        if (other < row) --row;
    }
    Row& r = *m_rows[idx(row)];
    if (m_state.CurrentFichier == r.record.get()) m_state.CurrentFichier = record.get();
    m_keyOfPath.erase(r.record->fullPath());
    r.caption = record->fileName();
    r.record = std::move(record);
    r.id = m_nextId++;
    const int p = reposition(row, r.record->sortKey(order()));
    m_rows[idx(p)]->selected = true;
    return p;
}

std::string FileList::labFichiersText() const {
    return countText(selectedCount(), rowCount(), " of ") + std::string(kOrderSuffixes[idx(order())]);
}

std::string FileList::listHint() const {
    return countText(selectedCount(), rowCount(), " selected of ") + "\r\nType F6 to hide the list.";
}

std::string FileList::toggleListCaption() const {
    return m_state.listShown ? "Hide the list" : "Show the list";
}

void FileList::updateActionStates() {
    if (m_hooks.updateActionStates) m_hooks.updateActionStates();
}

}  // namespace moraven
