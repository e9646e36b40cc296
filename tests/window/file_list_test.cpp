#include "window/file_list.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

using test::FakeListRecord;

class FileListTest : public ::testing::Test {
protected:
    std::string file(const std::string& name) { return dir.write(name, {'R', 'I', 'F', 'F'}); }
    std::vector<std::string> captions() const {
        std::vector<std::string> result;
        for (int i = 0; i < list.rowCount(); ++i) result.push_back(list.caption(i));
        return result;
    }
    void addAll(const std::vector<std::string>& names) {
        list.BeginListLoad("Loading files");
        for (const auto& name : names) list.AddFile(file(name));
        list.EndListLoad();
    }

    test::TempDir dir;
    WindowState state;
    Settings settings;
    test::ScriptedInteraction ui;
    test::FakeRecordFactory records;
    FileList list{state, settings, ui, records.factory()};
};

TEST_F(FileListTest, AcceptsOnlyExistingFilesWithTheAviExtensionInAnyCase) {
    struct Case {
        const char* name;
        bool create;
        bool accepted;
    };
    const std::vector<Case> cases{{"CLIP.AVI", true, true},     {"clip.avi", true, true},
                                  {"clip.Avi", true, true},     {"clip.avi.bak", true, false},
                                  {"clip.mpg", true, false},    {"avi", true, false},
                                  {"missing.avi", false, false}};
    for (const Case& c : cases) {
        const std::string path = c.create ? file(c.name) : dir.file(c.name);
        EXPECT_EQ(list.AddFile(path) >= 0, c.accepted) << c.name;
    }
    EXPECT_EQ(list.rowCount(), 3);
    // A folder is no file, whatever its name.
    std::filesystem::create_directory(dir.path() / "folder.avi");
    EXPECT_EQ(list.AddFile(dir.file("folder.avi")), -1);
    EXPECT_EQ(records.reads(), 3);
}

TEST_F(FileListTest, AnEmptyListShowsThePlaceholderAndOffersOnlyPermanentAndVide) {
    list.SelectionRefresh();
    EXPECT_TRUE(state.placeholderShown);
    EXPECT_EQ(state.EnabledCategories, (CategorySet{Category::Permanent, Category::Vide}));
    EXPECT_EQ(state.CurrentFichier, nullptr);
    EXPECT_EQ(list.labFichiersText(), "0 file of 0 - sorted by datecode");

    list.AddFile(file("a.avi"));
    EXPECT_FALSE(state.placeholderShown);
    EXPECT_EQ(state.EnabledCategories,
              (CategorySet{Category::Permanent, Category::Vide, Category::Mono, Category::Multi}));
    list.AddFile(file("b.avi"));
    EXPECT_TRUE(state.EnabledCategories.contains(Category::Liste));
    state.settingsPanelShown = true;
    list.SelectionRefresh();
    EXPECT_EQ(state.EnabledCategories, (CategorySet{Category::Permanent}));
}

TEST_F(FileListTest, PathsDifferingInCaseAreTwoRowsAndTheSamePathIsReadAgainInItsRow) {
    const std::string lower = file("clip.avi");
    const std::string upper = file("CLIP.avi");
    list.AddFile(lower);
    list.AddFile(upper);
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_NE(list.record(0).fullPath(), list.record(1).fullPath());

    const int row = list.indexOfPath(lower);
    list.setSelected(row, true);
    const std::uint64_t oldId = list.recordId(row);
    EXPECT_EQ(list.AddFile(lower), row);
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_NE(list.recordId(row), oldId) << "the row takes a freshly read record";
    EXPECT_TRUE(list.isSelected(row));
    EXPECT_EQ(list.caption(row), "clip.avi");
    EXPECT_EQ(records.reads(), 3);
}

TEST_F(FileListTest, DatecodeOrderPutsDatesThenNoDatecodeThenOtherFilesThenUnreadable) {
    auto facts = [](std::string key) {
        FakeListRecord::Facts f;
        f.datecodeKey = std::move(key);
        return f;
    };
    records.setByName("unreadable.avi", facts("\xFF"));
    records.setByName("other.avi", facts("\xFE"));
    records.setByName("nodate.avi", facts("N/A"));
    records.setByName("later.avi", facts("20060312154637"));
    records.setByName("b_same.avi", facts("20060312103000"));
    records.setByName("a_same.avi", facts("20060312103000"));
    addAll({"unreadable.avi", "other.avi", "nodate.avi", "later.avi", "b_same.avi", "a_same.avi"});
    EXPECT_EQ(captions(), (std::vector<std::string>{"a_same.avi", "b_same.avi", "later.avi", "nodate.avi",
                                                    "other.avi", "unreadable.avi"}));
    const auto keys = list.SortKeys();
    ASSERT_EQ(keys.size(), 6u);
    for (int i = 0; i < list.rowCount(); ++i)
        EXPECT_EQ(keys[static_cast<std::size_t>(i)], list.record(i).sortKey(0));
}

TEST_F(FileListTest, KeysCompareWithoutCaseAndKeepTheFourGroupsInUtf8Too) {
    EXPECT_EQ(compareSortKeys("ABC", "abc"), 0);
    EXPECT_LT(compareSortKeys("2006", "N/A"), 0);
    EXPECT_LT(compareSortKeys("n/a", "\xFE"), 0);
    EXPECT_LT(compareSortKeys("\xFE", "\xFF"), 0);
    EXPECT_LT(compareSortKeys("n/a", "\xC3\xBE"), 0);       // 254 written in UTF-8
    EXPECT_LT(compareSortKeys("\xC3\xBE", "\xC3\xBF"), 0);  // 254 before 255 in UTF-8
    EXPECT_LT(compareSortKeys("clip", "clip_"), 0);
}

TEST_F(FileListTest, FilesAddedDuringALoadShowTheListAndTheFirstRowBecomesCurrent) {
    list.BeginListLoad("Loading files");
    EXPECT_TRUE(state.ListLoading);
    EXPECT_TRUE(ui.busyCursor);
    EXPECT_EQ(ui.statusTexts.back(), "Loading files");
    list.AddFile(file("b.avi"));
    EXPECT_FALSE(state.listShown) << "one file leaves the list cut off";
    list.AddFile(file("a.avi"));
    EXPECT_TRUE(state.listShown) << "a second file during the load shows the list";
    list.EndListLoad();
    EXPECT_FALSE(state.ListLoading);
    EXPECT_FALSE(ui.busyCursor);
    EXPECT_EQ(list.itemIndex(), 0);
    EXPECT_TRUE(list.isSelected(0));
    ASSERT_NE(state.CurrentFichier, nullptr);
    EXPECT_EQ(state.CurrentFichier->fileName(), "a.avi");
}

TEST_F(FileListTest, ALoadThatFindsACurrentFileOrASelectionLeavesTheFocusAlone) {
    addAll({"m.avi"});
    ASSERT_EQ(list.itemIndex(), 0);
    addAll({"a.avi", "z.avi"});
    EXPECT_EQ(list.caption(list.itemIndex()), "m.avi") << "the focused file keeps the focus";
    EXPECT_EQ(list.selectedCount(), 1);
}

TEST_F(FileListTest, ALoadStartedWhileAbortIsRequestedDoesNothingButItsEndClearsTheFlag) {
    state.AbortRequested = true;
    list.BeginListLoad("Loading files");
    EXPECT_FALSE(state.ListLoading);
    EXPECT_TRUE(ui.statusTexts.empty());
    list.EndListLoad();
    EXPECT_FALSE(state.AbortRequested);
}

TEST_F(FileListTest, NewRowsTakeTheSelectionMarkOfTheSetting) {
    settings.selectionnerALOuverture = true;
    list.AddFile(file("a.avi"));
    settings.selectionnerALOuverture = false;
    list.AddFile(file("b.avi"));
    EXPECT_TRUE(list.isSelected(0));
    EXPECT_FALSE(list.isSelected(1));
}

TEST_F(FileListTest, CountTextsTakeThePluralFromTwoSelectedRowsOn) {
    for (int i = 0; i < 12; ++i) list.AddFile(file("f" + std::to_string(10 + i) + ".avi"));
    for (int i : {1, 5, 7}) list.setSelected(i, true);
    EXPECT_EQ(list.labFichiersText(), "3 files of 12 - sorted by datecode");
    EXPECT_EQ(list.listHint(), "3 files selected of 12\r\nType F6 to hide the list.");

    list.EmptyList();
    list.AddFile(file("one.avi"));
    list.SortList(kOrderFileSize);
    list.SelectAll();
    EXPECT_EQ(list.labFichiersText(), "1 file of 1 - sorted by filesize");
    EXPECT_EQ(list.listHint(), "1 file selected of 1\r\nType F6 to hide the list.");
}

TEST_F(FileListTest, SortingKeepsTheFocusedAndSelectedFilesAndSavesTheOrder) {
    auto sized = [](const char* size) {
        FakeListRecord::Facts f;
        f.sizeKey = size;
        return f;
    };
    records.setByName("a.avi", sized("3"));
    records.setByName("b.avi", sized("1"));
    records.setByName("c.avi", sized("2"));
    addAll({"a.avi", "b.avi", "c.avi"});
    list.setItemIndex(list.indexOfPath(dir.file("c.avi")));
    list.setSelected(list.indexOfPath(dir.file("a.avi")), true);
    list.SelectionRefresh();

    list.SortList(kOrderFileSize);
    EXPECT_EQ(captions(), (std::vector<std::string>{"b.avi", "c.avi", "a.avi"}));
    EXPECT_EQ(settings.ordreDeLaListe, kOrderFileSize);
    EXPECT_EQ(list.caption(list.itemIndex()), "c.avi");
    EXPECT_EQ(state.CurrentFichier->fileName(), "c.avi");
    EXPECT_TRUE(list.isSelected(list.indexOfPath(dir.file("a.avi"))));
    EXPECT_FALSE(list.isSelected(list.indexOfPath(dir.file("b.avi"))));
    EXPECT_EQ(list.SortKeys()[0], list.record(0).sortKey(kOrderFileSize));

    list.SortList(kOrderAlphabetical);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.avi", "b.avi", "c.avi"}));

    list.EmptyList();
    list.SortList(kOrderFileDate);
    EXPECT_EQ(settings.ordreDeLaListe, kOrderAlphabetical) << "an empty list keeps its order";
}

TEST_F(FileListTest, AnOrderOutsideZeroToThreeCountsAsDatecode) {
    settings.ordreDeLaListe = 200;
    list.AddFile(file("a.avi"));
    EXPECT_EQ(list.sortKey(0), list.record(0).sortKey(kOrderDatecode));
    EXPECT_EQ(list.labFichiersText(), "0 file of 1 - sorted by datecode");
}

TEST_F(FileListTest, InsertingBeforeTheFocusedRowKeepsTheFocusOnItsFile) {
    addAll({"m.avi"});
    list.AddFile(file("a.avi"));
    EXPECT_EQ(list.caption(list.itemIndex()), "m.avi");
    list.AddFile(file("z.avi"));
    EXPECT_EQ(list.caption(list.itemIndex()), "m.avi");
}

TEST_F(FileListTest, DeletingARowMovesAnItemIndexAtOrAfterItBackByOne) {
    addAll({"a.avi", "b.avi", "c.avi"});
    list.setItemIndex(2);
    list.deleteRow(1);  // before the item: the focus stays on c
    EXPECT_EQ(list.caption(list.itemIndex()), "c.avi");
    list.deleteRow(1);  // the item itself: the previous row
    EXPECT_EQ(list.itemIndex(), 0);
    list.deleteRow(0);  // item 0 with the list now empty: none
    EXPECT_EQ(list.itemIndex(), -1);
    list.SelectionRefresh();
    EXPECT_EQ(state.CurrentFichier, nullptr);
}

TEST_F(FileListTest, ARenamedRowMovesToItsSortedPlaceSelectedAndFocused) {
    addAll({"b.avi", "c.avi", "d.avi"});
    list.setItemIndex(0);
    list.deselectAll();
    const std::string renamed = file("z.avi");
    const int row = list.renameRow(0, records.factory()(renamed));
    EXPECT_EQ(row, 2);
    EXPECT_EQ(list.caption(2), "z.avi");
    EXPECT_TRUE(list.isSelected(2));
    EXPECT_EQ(list.itemIndex(), 2);
    EXPECT_EQ(list.indexOfPath(renamed), 2);
    EXPECT_EQ(list.indexOfPath(dir.file("b.avi")), -1);
    EXPECT_EQ(list.SortKeys()[2], list.record(2).sortKey(0));
}

TEST_F(FileListTest, AModifiedRecordKeepsCaptionKeyAndPlace) {
    addAll({"a.avi", "b.avi"});
    const std::string key = list.sortKey(0);
    FakeListRecord::Facts changed;
    changed.datecodeKey = "2001";
    list.replaceRecord(0, std::make_unique<FakeListRecord>(dir.file("a.avi"), changed));
    EXPECT_EQ(list.caption(0), "a.avi");
    EXPECT_EQ(list.sortKey(0), key);
    EXPECT_EQ(list.indexOfPath(dir.file("a.avi")), 0);
}

TEST_F(FileListTest, ToggleListShowsAndCutsOffTheListAndAsksForTheActionStates) {
    int updates = 0;
    list.setHooks({[&] { ++updates; }, {}});
    EXPECT_EQ(list.toggleListCaption(), "Show the list");
    list.ToggleList();
    EXPECT_TRUE(state.listShown);
    EXPECT_EQ(list.toggleListCaption(), "Hide the list");
    list.ToggleList();
    EXPECT_FALSE(state.listShown);
    EXPECT_EQ(updates, 2);
}

}  // namespace
}  // namespace moraven
