#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/binary_file.h"
#include "platform/list_sources.h"
#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

class ListSourcesTest : public ::testing::Test {
protected:
    ListSourcesTest() { state.listShown = true; }

    std::string file(const std::string& relative) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(relative)).parent_path());
        return dir.write(relative, {'R', 'I', 'F', 'F'});
    }
    std::vector<std::string> captions() const {
        std::vector<std::string> names;
        for (int i = 0; i < list.rowCount(); ++i) names.push_back(list.caption(i));
        std::sort(names.begin(), names.end());
        return names;
    }
    bool listed(const std::string& fragment) const {
        for (int i = 0; i < list.rowCount(); ++i) {
            if (list.record(i).fullPath().find(fragment) != std::string::npos) return true;
        }
        return false;
    }

    test::TempDir dir;
    WindowState state;
    Settings settings;
    test::ScriptedInteraction ui;
    test::FakeRecordFactory records;
    // Reading a file named "unreadable.avi" fails as a file that cannot be opened does.
    FileList list{state, settings, ui, [this](const std::string& path) {
                      if (path.find("unreadable.avi") != std::string::npos) {
                          throw FileError(FileErrorCode::AccessDenied, path, EACCES);
                      }
                      return records.factory()(path);
                  }};
    FileListSources sources{list, state, ui, settings};
};

TEST_F(ListSourcesTest, AFolderScanAddsTheAviFilesOfEverySubfolder) {
    file("a.avi");
    file("sub/B.AVI");
    file("sub/deeper/c.avi");
    file("sub/notes.txt");
    file("sub/clip.avi.bak");
    sources.OpenFolder(dir.path().string());
    EXPECT_EQ(captions(), (std::vector<std::string>{"B.AVI", "a.avi", "c.avi"}));
    EXPECT_EQ(ui.statusTexts.front(), "Browsing a folder");
    EXPECT_NE(std::find(ui.statusTexts.begin(), ui.statusTexts.end(), "Browsing " + dir.file("sub") + "/"),
              ui.statusTexts.end());
    EXPECT_FALSE(state.ListLoading);
    EXPECT_EQ(list.itemIndex(), 0);  // the first row becomes current after a load into an empty list
}

TEST_F(ListSourcesTest, EscEndsTheScanBeforeTheNextSubfolder) {
    file("sub1/x.avi");
    file("sub2/y.avi");
    ui.onPendingEvents = [this](int) { state.AbortRequested = true; };
    sources.OpenFolder(dir.path().string());
    EXPECT_FALSE(listed("/sub"));
    EXPECT_FALSE(state.AbortRequested);  // EndListLoad clears it
}

TEST_F(ListSourcesTest, EscDuringOpenAllLeavesTheOtherRootsUnscanned) {
    file("one/sub/x.avi");
    file("two/y.avi");
    ui.onPendingEvents = [this](int) { state.AbortRequested = true; };
    sources.OpenAll({dir.file("one"), dir.file("two")});
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(ui.statusTexts.front(), "Loading all AVI files");

    ui.onPendingEvents = nullptr;
    sources.OpenAll({dir.file("one"), dir.file("two")});
    EXPECT_EQ(captions(), (std::vector<std::string>{"x.avi", "y.avi"}));
}

TEST_F(ListSourcesTest, NamedFilesSkipOverlongNamesAndStopAtAbort) {
    const std::string a = file("a.avi");
    const std::string b = file("b.avi");
    sources.addFiles({std::string(kMaxListedNameLength + 1, 'x'), a, dir.file("missing.avi"), file("c.mpg")},
                     "Paste files");
    EXPECT_EQ(captions(), std::vector<std::string>{"a.avi"});
    EXPECT_EQ(ui.statusTexts.front(), "Paste files");

    state.AbortRequested = true;
    sources.addFiles({b}, "Open drag-and-dropped files");
    EXPECT_EQ(captions(), std::vector<std::string>{"a.avi"});
}

TEST_F(ListSourcesTest, AFailureEndsTheLoadingAndOnlyThePreferredFolderSwallowsIt) {
    file("unreadable.avi");
    EXPECT_THROW(sources.OpenFolder(dir.path().string()), FileError);
    EXPECT_FALSE(state.ListLoading);

    settings.dossierAOuvertureAuto = dir.path().string() + "/";
    EXPECT_NO_THROW(sources.OpenPreferredFolder());
    EXPECT_FALSE(state.ListLoading);
    EXPECT_FALSE(state.AbortRequested);
}

TEST_F(ListSourcesTest, ThePreferredFolderIsLeftAloneWhileAnAbortIsPendingOrWhenMissing) {
    file("a.avi");
    settings.dossierAOuvertureAuto = dir.path().string();
    state.AbortRequested = true;
    sources.OpenPreferredFolder();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_TRUE(ui.statusTexts.empty());

    state.AbortRequested = false;
    settings.dossierAOuvertureAuto = dir.file("missing");
    sources.OpenPreferredFolder();
    EXPECT_EQ(list.rowCount(), 0);
    settings.dossierAOuvertureAuto = dir.path().string();
    sources.OpenPreferredFolder();
    EXPECT_EQ(captions(), std::vector<std::string>{"a.avi"});
}

TEST(LocalFileSystemsTest, OnlyLocalDisksAreScannedByOpenAll) {
    for (const char* disk : {"ext4", "btrfs", "xfs", "vfat", "exfat", "fuseblk", "zfs", "overlay"}) {
        EXPECT_TRUE(isLocalDiskFileSystem(disk)) << disk;
    }
    for (const char* other : {"proc", "sysfs", "tmpfs", "nfs4", "cifs", "fuse.sshfs", "squashfs", "iso9660", ""}) {
        EXPECT_FALSE(isLocalDiskFileSystem(other)) << other;
    }
    const std::vector<std::string> roots = localFileSystemRoots();
    for (const std::string& root : roots) EXPECT_EQ(root.front(), '/') << root;
    const auto slash = std::find(roots.begin(), roots.end(), "/");
    if (slash != roots.end()) {
        EXPECT_EQ(slash, roots.begin());
    }
}

}  // namespace
}  // namespace moraven
