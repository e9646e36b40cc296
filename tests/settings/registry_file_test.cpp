#include "settings/registry_file.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/file_size_limit.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    const auto bytes = test::readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

class RegistryFileTest : public ::testing::Test {
protected:
    RegistryFile open() {
        return RegistryFile(m_path, [this](const std::string& line) { m_reports.push_back(line); });
    }

    test::TempDir m_dir;
    // The folder does not exist yet: the first save makes it.
    std::string m_path = (m_dir.path() / "Velloran" / "registry.reg").string();
    std::vector<std::string> m_reports;
};

TEST_F(RegistryFileTest, ASessionStoresItsChangesAtClose) {
    RegistryFile registry = open();
    EXPECT_FALSE(registry.openKey("\\Software\\Velloran\\Moraven", false));
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven", true));
    EXPECT_TRUE(registry.writeInteger("Volume", 10000));
    EXPECT_TRUE(registry.writeString("Name", "Arial"));
    EXPECT_FALSE(fs::exists(m_path));  // nothing is written before close
    EXPECT_TRUE(registry.close());

    EXPECT_EQ(readText(m_path),
              "REGEDIT4\n"
              "\n[HKEY_CURRENT_USER\\Software]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Velloran\\Moraven]\n"
              "\"Volume\"=dword:00002710\n"
              "\"Name\"=\"Arial\"\n");
    EXPECT_EQ(fs::status(m_path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(namesIn(m_dir.path() / "Velloran"), std::set<std::string>{"registry.reg"});

    RegistryFile other = open();
    ASSERT_TRUE(other.openKey("Software\\Velloran\\Moraven", false));
    EXPECT_EQ(other.readInteger("volume"), 10000);
    EXPECT_EQ(other.readString("NAME"), "Arial");
    EXPECT_TRUE(m_reports.empty());
}

// The id of a process that has ended: a child that exits at once, waited for.
pid_t endedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST_F(RegistryFileTest, ASaveRemovesTheTemporaryFilesThatAKilledSaveLeftBehind) {
    const fs::path folder = m_dir.path() / "Velloran";
    fs::create_directories(folder);
    const std::string dead = std::to_string(endedProcessId());
    const std::string alive = std::to_string(::getpid());
    const std::set<std::string> stale = {".registry.reg.tmp-" + dead + "-0",
                                         ".registry.reg.tmp-" + dead + "-17"};
    // Kept: a save of a running process (this one), names that are not of our making, another file's.
    const std::set<std::string> kept = {
        ".registry.reg.tmp-" + alive + "-4000000", ".registry.reg.tmp-" + dead,
        ".registry.reg.tmp-" + dead + "-1x",       ".registry.reg.tmp-x" + dead + "-1",
        ".other.reg.tmp-" + dead + "-0",           "registry.reg.tmp-" + dead + "-0"};
    for (const std::string& name : stale) writeText((folder / name).string(), "REGEDIT4\n[HKEY_CURRE");
    for (const std::string& name : kept) writeText((folder / name).string(), "something");
    fs::create_directory(folder / (".registry.reg.tmp-" + dead + "-3"));  // a folder is no temporary file

    RegistryFile registry = open();
    ASSERT_TRUE(registry.openKey("\\Software", true));
    ASSERT_TRUE(registry.close());

    std::set<std::string> expected = kept;
    expected.insert("registry.reg");
    expected.insert(".registry.reg.tmp-" + dead + "-3");
    EXPECT_EQ(namesIn(folder), expected);
}

TEST_F(RegistryFileTest, ValuesAreTypedAndKeepTheirOrder) {
    RegistryFile registry = open();
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven", true));
    registry.writeInteger("b", -1);
    registry.writeString("a", "text");
    registry.writeString("c", "");
    registry.writeInteger("A", 7);  // same name as "a": replaces it in place, now an integer
    EXPECT_EQ(registry.valueNames(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(registry.readInteger("b"), -1);
    EXPECT_EQ(registry.readInteger("a"), 7);
    EXPECT_EQ(registry.readString("a"), std::nullopt);
    EXPECT_EQ(registry.readInteger("c"), std::nullopt);
    EXPECT_EQ(registry.readString("c"), "");
    EXPECT_EQ(registry.valueType("c"), RegistryValueType::String);
    EXPECT_EQ(registry.valueType("missing"), std::nullopt);
    EXPECT_FALSE(registry.writeString("line\nbreak", "x"));
    EXPECT_FALSE(registry.writeString("nul", std::string("a\0b", 3)));
    EXPECT_TRUE(registry.close());

    RegistryFile again = open();
    ASSERT_TRUE(again.openKey("\\Software\\Velloran\\Moraven", false));
    EXPECT_EQ(again.valueNames(), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(again.readInteger("b"), -1);
}

TEST_F(RegistryFileTest, OperationsNeedAnOpenKey) {
    RegistryFile registry = open();
    EXPECT_FALSE(registry.writeInteger("x", 1));
    EXPECT_EQ(registry.readInteger("x"), std::nullopt);
    EXPECT_TRUE(registry.valueNames().empty());
    EXPECT_FALSE(registry.hasSubKeys());
    EXPECT_FALSE(registry.deleteKey("relative"));
    EXPECT_FALSE(registry.openKey("\\bad\\\\path", true));
    EXPECT_FALSE(registry.writeInteger("x", 1));  // a failed open leaves no key open
    EXPECT_TRUE(registry.close());
    EXPECT_FALSE(fs::exists(m_path));  // a session without changes writes nothing
}

TEST_F(RegistryFileTest, DeletesKeysWithEverythingBelowThem) {
    RegistryFile registry = open();
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven\\Actions\\Deeper", true));
    registry.writeInteger("x", 1);
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Snapwick", true));
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran", false));
    EXPECT_TRUE(registry.hasSubKeys());

    EXPECT_TRUE(registry.deleteKey("moraven"));  // relative to the current key, without case
    EXPECT_TRUE(registry.hasSubKeys());          // Snapwick is left
    EXPECT_FALSE(registry.openKey("\\Software\\Velloran\\Moraven\\Actions", false));
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Snapwick", false));
    EXPECT_FALSE(registry.deleteKey("\\Software\\Velloran\\Missing"));
    EXPECT_FALSE(registry.deleteKey("\\"));

    // Deleting the tree that holds the current key closes it.
    EXPECT_TRUE(registry.deleteKey("\\Software\\Velloran\\"));
    EXPECT_FALSE(registry.writeInteger("x", 1));
    ASSERT_TRUE(registry.openKey("\\Software", false));
    EXPECT_FALSE(registry.hasSubKeys());
    EXPECT_TRUE(registry.close());
    EXPECT_EQ(readText(m_path), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n");
}

TEST_F(RegistryFileTest, EachSessionSeesWhatAnotherInstanceStored) {
    RegistryFile first = open();
    RegistryFile second = open();
    ASSERT_TRUE(first.openKey("\\A", true));
    first.writeInteger("v", 1);
    ASSERT_TRUE(first.close());

    ASSERT_TRUE(second.openKey("\\A", false));
    EXPECT_EQ(second.readInteger("v"), 1);
    second.writeInteger("w", 2);
    ASSERT_TRUE(second.close());

    ASSERT_TRUE(first.openKey("\\A", false));
    EXPECT_EQ(first.valueNames(), (std::vector<std::string>{"v", "w"}));
    first.close();
}

TEST_F(RegistryFileTest, AFullDiskKeepsTheOldFileWhole) {
    {
        RegistryFile registry = open();
        ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven", true));
        registry.writeInteger("Volume", 10000);
        ASSERT_TRUE(registry.close());
    }
    const std::string before = readText(m_path);

    RegistryFile registry = open();
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven", true));
    registry.writeString("Big", std::string(64 * 1024, 'x'));
    bool stored = true;
    {
        test::FileSizeLimit fullDisk(4096);
        ASSERT_TRUE(fullDisk.ok());
        stored = registry.close();
    }
    EXPECT_FALSE(stored);
    EXPECT_EQ(readText(m_path), before);
    EXPECT_EQ(namesIn(m_dir.path() / "Velloran"), std::set<std::string>{"registry.reg"});
    // The failed session's changes are gone; the next session sees the old file.
    ASSERT_TRUE(registry.openKey("\\Software\\Velloran\\Moraven", false));
    EXPECT_EQ(registry.valueType("Big"), std::nullopt);
    registry.close();
}

TEST_F(RegistryFileTest, AFolderThatCannotBeMadeFailsTheSave) {
    writeText(m_dir.file("Velloran"), "a file where the folder should be");
    RegistryFile registry = open();
    ASSERT_TRUE(registry.openKey("\\A", true));
    EXPECT_FALSE(registry.close());
    EXPECT_EQ(readText(m_dir.file("Velloran")), "a file where the folder should be");
}

TEST_F(RegistryFileTest, AFileThatDoesNotParseIsKeptAsideAndReported) {
    fs::create_directories(m_dir.path() / "Velloran");
    const std::string broken = "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"Volume\"=dword:xyz\n";
    writeText(m_path, broken);

    RegistryFile registry = open();
    EXPECT_FALSE(registry.openKey("\\Software", false));  // the session starts empty
    ASSERT_EQ(m_reports.size(), 1u);
    EXPECT_NE(m_reports[0].find(m_path), std::string::npos);
    EXPECT_NE(m_reports[0].find("line 3"), std::string::npos);
    // No program name: the receiver adds its own ("moraven: "), once.
    EXPECT_EQ(m_reports[0].rfind("the settings file ", 0), 0u) << m_reports[0];
    EXPECT_NE(m_reports[0].find(m_path + ".broken"), std::string::npos);
    EXPECT_EQ(readText(m_path + ".broken"), broken);
    EXPECT_FALSE(fs::exists(m_path));

    ASSERT_TRUE(registry.openKey("\\Software", true));
    ASSERT_TRUE(registry.close());
    EXPECT_TRUE(fs::exists(m_path));

    // A second broken file does not replace the first copy.
    writeText(m_path, "not a registry");
    RegistryFile later = open();
    EXPECT_FALSE(later.openKey("\\Software", false));
    later.close();
    EXPECT_EQ(readText(m_path + ".broken"), broken);
    EXPECT_EQ(readText(m_path + ".broken-2"), "not a registry");
    EXPECT_EQ(m_reports.size(), 2u);
}

TEST_F(RegistryFileTest, ABrokenFileThatCannotBeKeptAsideIsNeverOverwritten) {
    fs::create_directories(m_dir.path() / "Velloran");
    writeText(m_path, "broken");
    // Every name for a copy is taken.
    writeText(m_path + ".broken", "older");
    for (int copy = 2; copy <= 100; ++copy) writeText(m_path + ".broken-" + std::to_string(copy), "older");

    RegistryFile registry = open();
    EXPECT_FALSE(registry.openKey("\\Software", true));
    ASSERT_TRUE(registry.openKey("\\", false));
    EXPECT_FALSE(registry.writeInteger("v", 1));
    EXPECT_FALSE(registry.close());  // the refused change is not reported as stored
    ASSERT_TRUE(registry.openKey("\\", false));
    EXPECT_FALSE(registry.deleteKey("anything"));
    EXPECT_TRUE(registry.close());  // nothing was asked of the store

    EXPECT_EQ(readText(m_path), "broken");
    ASSERT_EQ(m_reports.size(), 1u);  // reported once for the whole run
    EXPECT_NE(m_reports[0].find("cannot be kept aside"), std::string::npos);
    EXPECT_EQ(m_reports[0].rfind("the settings file ", 0), 0u) << m_reports[0];
}

TEST_F(RegistryFileTest, AFileThatCannotBeReadIsReportedAndLeftAlone) {
    fs::create_directories(m_path);  // a folder in the file's place
    RegistryFile registry = open();
    EXPECT_FALSE(registry.openKey("\\Software", false));
    EXPECT_FALSE(registry.openKey("\\Software", true));
    EXPECT_FALSE(registry.close());
    EXPECT_FALSE(registry.openKey("\\Software", false));
    registry.close();
    ASSERT_EQ(m_reports.size(), 1u);
    EXPECT_NE(m_reports[0].find("cannot be read"), std::string::npos);
    EXPECT_EQ(m_reports[0].rfind("the settings cannot be read", 0), 0u) << m_reports[0];
    EXPECT_TRUE(fs::is_directory(m_path));
}

TEST(RegistryFilePathTest, FollowsTheConfigurationFolders) {
    test::ScopedEnvironment environment;
    environment.set("MORAVEN_CONFIG_HOME", "/tmp/own");
    environment.set("XDG_CONFIG_HOME", "/tmp/xdg");
    environment.set("HOME", "/tmp/home");
    EXPECT_EQ(defaultRegistryFilePath(), "/tmp/own/registry.reg");
    environment.set("MORAVEN_CONFIG_HOME", "");
    EXPECT_EQ(defaultRegistryFilePath(), "/tmp/xdg/Velloran/registry.reg");
    environment.unset("MORAVEN_CONFIG_HOME");
    environment.set("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(defaultRegistryFilePath(), "/tmp/home/.config/Velloran/registry.reg");
    environment.unset("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultRegistryFilePath(), "/tmp/home/.config/Velloran/registry.reg");
}

}  // namespace
}  // namespace moraven
