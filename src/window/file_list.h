#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/preferences.h"
#include "window/interaction.h"
#include "window/list_record.h"
#include "window/window_state.h"

namespace moraven {

// What the list asks of the rest of the window after it changed: the availability of the actions, and the
// information panel (with the preview) for the current file or, given none, its cleared state.
struct ListHooks {
    std::function<void()> updateActionStates;
    std::function<void(const ListRecord*)> showCurrent;
};

// Compares sort keys without regard to ASCII letter case, byte by byte otherwise: keys beginning with a digit
// come before "N/A", which comes before the characters 254 and 255 (in one byte or in UTF-8).
int compareSortKeys(std::string_view a, std::string_view b);

// The list of video files: its rows, each owning the record of one file, always in the order of the
// current sort key (`SortKeys`), with a selection mark per row and an item index (the focused row).
//
// A row's identity is its file's exact path: two files whose paths differ only in letter case are two rows.
// Their keys, which carry the lower-cased path, compare equal without case; the exact path breaks the tie.
// Rows are placed by a binary search on their key. Window thread only.
class FileList {
public:
    // `state` and `settings` ("Ordre de la Liste", "Sélectionner à l'ouverture") must outlive the list;
    // `factory` reads the record of an accepted file.
    FileList(WindowState& state, Settings& settings, Interaction& interaction, RecordFactory factory);
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    void setHooks(ListHooks hooks) { m_hooks = std::move(hooks); }

    // True when the extension of the file name (from its last "." on), lower-cased, is ".avi".
    static bool isAcceptedPath(std::string_view path);

    // Adds the file at `path`, or gives its row a freshly read record when the path is listed already.
    // Answers the row index, or -1 for a path that names no regular file or is not accepted (no message),
    // and -1 without reading anything while a command run holds the list (`additionsRefused`).
    int AddFile(const std::string& path);
    // The same for the file that a command of the running run made (a conversion's new file): accepted while
    // the run holds the list, since the runner applies it after the command returned.
    int addFileOfRun(const std::string& path);
    // True while a command run holds the list: the sources of files must not add any.
    bool additionsRefused() const { return m_state.runsHoldingList > 0; }
    // Bracket every bulk addition: status text, busy cursor, `ListLoading`; at the end the first row becomes
    // current when no file was current before and no row is selected.
    void BeginListLoad(const std::string& message);
    void EndListLoad();
    // Puts the rows in `order` (0..3) by their stored keys, keeps the focused and the selected files, and
    // saves the order in "Ordre de la Liste". An empty list keeps its order.
    void SortList(int order);
    // After every change of the rows or of the selection: placeholder, categories, `CurrentFichier`, texts.
    void SelectionRefresh();
    // Shows or cuts off the list column (F6), then the availability of the actions.
    void ToggleList();
    // Frees every record and clears the rows (no confirmation).
    void EmptyList();
    void SelectAll();

    // The current order (a stored value outside 0..3 counts as 0).
    int order() const { return normalizedSortOrder(m_settings.ordreDeLaListe); }
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool empty() const { return m_rows.empty(); }
    const std::string& caption(int row) const { return m_rows.at(idx(row))->caption; }
    const ListRecord& record(int row) const { return *m_rows.at(idx(row))->record; }
    // A number that names the record of a row for as long as it lives; a new record gets a new number.
    std::uint64_t recordId(int row) const { return m_rows.at(idx(row))->id; }
    // The sort key stored for a row (string i of `SortKeys`).
    const std::string& sortKey(int row) const { return m_rows.at(idx(row))->key; }
    std::vector<std::string> SortKeys() const;

    bool isSelected(int row) const { return m_rows.at(idx(row))->selected; }
    void setSelected(int row, bool selected) { m_rows.at(idx(row))->selected = selected; }
    void deselectAll();
    int selectedCount() const;
    int itemIndex() const { return m_itemIndex; }
    // Any value outside the rows means none (-1).
    void setItemIndex(int row);

    // The row whose record has exactly this path, or -1.
    int indexOfPath(const std::string& path) const;
    // The row whose record carries this id, or -1.
    int indexOfRecordId(std::uint64_t id) const;

    // The list updates that commands ask for.
    // Removes the row; an item index at or after it moves back by one (0 stays 0; none when now empty).
    void deleteRow(int row);
    // Gives the row a new record of the same file; caption, key and position stay.
    void replaceRecord(int row, std::unique_ptr<ListRecord> record);
    // Gives the row the new record and its file name, moves it to the place of the new key for the current
    // order, selects it and keeps it the item index when it was. Answers its new index.
    int renameRow(int row, std::unique_ptr<ListRecord> record);

    // The label under the list: "3 files of 12 - sorted by datecode".
    std::string labFichiersText() const;
    // The list's hint: "3 files selected of 12", CR LF, "Type F6 to hide the list.".
    std::string listHint() const;
    // The caption of the show/hide action for the list's current state.
    std::string toggleListCaption() const;

    RecordFactory& factory() { return m_factory; }

    // A number that changes whenever rows may have been added, removed, replaced or moved (not for changes
    // of the selection): a view redraws its rows when it differs from the last one it drew.
    std::uint64_t rowsVersion() const { return m_rowsVersion; }

private:
    struct Row {
        std::string caption;
        std::string key;
        std::unique_ptr<ListRecord> record;
        bool selected = false;
        std::uint64_t id = 0;
    };

    static std::size_t idx(int row) { return static_cast<std::size_t>(row); }
    int addFile(const std::string& path);
    // The position at which a row with this key and exact path belongs.
    std::size_t lowerBound(std::string_view key, std::string_view path) const;
    // Takes the row out and inserts it again at the place of `key`, keeping the item index on the same
    // rows; answers the new index.
    int reposition(int row, std::string key);
    void updateActionStates();

    WindowState& m_state;
    Settings& m_settings;
    Interaction& m_interaction;
    RecordFactory m_factory;
    ListHooks m_hooks;
    std::vector<std::unique_ptr<Row>> m_rows;  // rows behind pointers: an insertion moves pointers only
    std::unordered_map<std::string, std::string> m_keyOfPath;  // exact path -> stored key
    int m_itemIndex = -1;
    std::uint64_t m_nextId = 1;
    std::uint64_t m_rowsVersion = 0;
};

}  // namespace moraven
