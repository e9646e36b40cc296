#include "platform/system_services.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QString>
#include <QSysInfo>

#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    const auto bytes = test::readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// A home, data and configuration folder of our own, so that nothing touches the real user's files.
class SystemServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_home);
        m_environment.set("HOME", m_home);
        m_environment.set("XDG_DATA_HOME", m_home + "/.local/share");  // not made yet
        m_environment.set("XDG_CONFIG_HOME", m_home + "/.config");
    }

    test::TempDir m_dir;
    std::string m_home = m_dir.file("home");
    test::ScopedEnvironment m_environment;
};

TEST_F(SystemServicesTest, PersonalFolderIsTheDocumentsFolderElseTheHome) {
    EXPECT_EQ(PersonalFolder(), m_home);
    fs::create_directories(m_home + "/Documents");
    EXPECT_EQ(PersonalFolder(), m_home + "/Documents");
    // The user's own choice of documents folder.
    fs::create_directories(m_home + "/.config");
    std::ofstream(m_home + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    EXPECT_EQ(PersonalFolder(), m_home);  // the chosen folder does not exist
    fs::create_directories(m_home + "/Dokumente");
    EXPECT_EQ(PersonalFolder(), m_home + "/Dokumente");
}

// Reads an Exec value back as a launcher does: the string escapes first, then the quoting, then the field
// codes. Returns the arguments, with %F kept as the placeholder it is.
std::vector<std::string> execArguments(std::string value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            unescaped += next == 's'   ? ' '
                         : next == 'n' ? '\n'
                         : next == 't' ? '\t'
                         : next == 'r' ? '\r'
                                       : next;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < unescaped.size()) {
        if (unescaped[i] == ' ') {
            ++i;
            continue;
        }
        std::string argument;
        if (unescaped[i] == '"') {
            for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
                if (unescaped[i] == '\\' && i + 1 < unescaped.size()) ++i;
                argument += unescaped[i];
            }
            ++i;
        } else {
            while (i < unescaped.size() && unescaped[i] != ' ') argument += unescaped[i++];
        }
        std::string expanded;
        for (std::size_t k = 0; k < argument.size(); ++k) {
            if (argument[k] == '%' && k + 1 < argument.size() && argument[k + 1] == '%') ++k;
            expanded += argument[k];
        }
        arguments.push_back(expanded);
    }
    return arguments;
}

std::string execValue(const std::string& entry) {
    const std::size_t start = entry.find("\nExec=");
    if (start == std::string::npos) return {};
    const std::size_t end = entry.find('\n', start + 1);
    return entry.substr(start + 6, end - start - 6);
}

TEST_F(SystemServicesTest, TheSendToEntryOffersTheProgramForAviFiles) {
    const std::string path = m_home + "/.local/share/applications/Moraven.desktop";
    EXPECT_EQ(sendToEntryPath("Moraven"), path);
    ASSERT_TRUE(CreateSendToShortcut("Moraven", "/opt/My Apps/moraven"));
    EXPECT_EQ(readText(path),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Version=1.0\n"
              "Name=Moraven\n"
              "Comment=Shortcut to Moraven\n"
              "Exec=\"/opt/My Apps/moraven\" %F\n"
              "Terminal=false\n"
              "MimeType=video/x-msvideo;video/avi;video/msvideo;\n"
              "Categories=AudioVideo;Video;\n");

    EXPECT_TRUE(RemoveSendToShortcut("Moraven"));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(RemoveSendToShortcut("Moraven"));  // nothing left to remove
}

TEST_F(SystemServicesTest, TheExecLineStartsExactlyThisProgram) {
    const std::string tricky = "/opt/a \"b\" $c \\d 100%/`e`;f'g";
    const auto entry = sendToEntryText("Moraven", tricky);
    ASSERT_TRUE(entry);
    // Four backslashes for one, as the desktop entry rules ask.
    EXPECT_EQ(execValue(*entry), "\"/opt/a \\\\\"b\\\\\" \\\\$c \\\\\\\\d 100%%/\\\\`e\\\\`;f'g\" %F");

    for (const std::string& program :
         {tricky, std::string("/usr/bin/moraven"), std::string("/home/anne/bin/my tools/moraven"),
          std::string("/tmp/line\nbreak/moraven"), std::string("/tmp/été/moraven")}) {
        SCOPED_TRACE(program);
        const auto text = sendToEntryText("Moraven", program);
        ASSERT_TRUE(text);
        EXPECT_EQ(execArguments(execValue(*text)), (std::vector<std::string>{program, "%F"}));
    }

    EXPECT_FALSE(sendToEntryText("Moraven", "/tmp/\xff/moraven"));
    EXPECT_FALSE(CreateSendToShortcut("Moraven", "/tmp/\xff/moraven"));
    EXPECT_FALSE(fs::exists(sendToEntryPath("Moraven")));
    EXPECT_FALSE(CreateSendToShortcut("../Moraven", "/usr/bin/moraven"));
}

TEST_F(SystemServicesTest, TheDefaultEntryStartsTheRunningProgram) {
    ASSERT_TRUE(CreateSendToShortcut("Moraven"));
    const std::string entry = readText(sendToEntryPath("Moraven"));
    EXPECT_EQ(execArguments(execValue(entry)),
              (std::vector<std::string>{fs::read_symlink("/proc/self/exe"), "%F"}));
}

class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : m_saved(fs::current_path()) {
        fs::current_path(folder);
    }
    ~WorkingFolder() { fs::current_path(m_saved); }

private:
    fs::path m_saved;
};

TEST_F(SystemServicesTest, FilesGoToTheTrashAndNeverAnywhereElse) {
    const std::string trash = m_home + "/.local/share/Trash";
    fs::create_directories(m_dir.file("elsewhere"));
    // Qt 6.4 puts the file into the current folder when the data folder is missing; it must not.
    WorkingFolder working(m_dir.file("elsewhere"));

    const std::string clip = m_home + "/clip.avi";
    std::ofstream(clip) << "first";
    ASSERT_TRUE(MoveToRecycleBin(clip));
    EXPECT_FALSE(fs::exists(clip));
    EXPECT_EQ(readText(trash + "/files/clip.avi"), "first");
    EXPECT_NE(readText(trash + "/info/clip.avi.trashinfo").find("Path=" + clip + "\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(m_dir.file("elsewhere")));

    // The same name again: both stay in the trash.
    std::ofstream(clip) << "second";
    ASSERT_TRUE(MoveToRecycleBin(clip));
    std::vector<std::string> contents;
    for (const auto& file : fs::directory_iterator(trash + "/files"))
        contents.push_back(readText(file.path()));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first", "second"}));

    EXPECT_FALSE(MoveToRecycleBin(m_home + "/missing.avi"));

    // Qt cannot hand such a name back to the system: the file is refused and stays.
    const std::string odd = m_home + "/\xff clip.avi";
    std::ofstream(odd) << "odd";
    EXPECT_FALSE(MoveToRecycleBin(odd));
    EXPECT_EQ(readText(odd), "odd");
}

TEST(OsNameTest, NamesTheDistributionAndTheKernel) {
    utsname system{};
    ASSERT_EQ(::uname(&system), 0);
    const std::string name = OsName();
    EXPECT_EQ(name, QSysInfo::prettyProductName().toStdString() + " - kernel " + system.release);
    EXPECT_FALSE(QSysInfo::prettyProductName().isEmpty());
}

}  // namespace
}  // namespace moraven
