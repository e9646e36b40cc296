#include "platform/system_services.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <QString>
#include <QSysInfo>

#include "platform/trash.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

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

// The bytes a Path value stands for, decoded as a file manager does before restoring.
std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && text.size() - i > 2) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The info file's lines: the Path value (still escaped) and whether the rest has the expected shape.
std::string checkedPathValue(const std::string& info) {
    static const std::regex kShape(
        "\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    std::smatch match;
    if (!std::regex_match(info, match, kShape)) {
        ADD_FAILURE() << "not an info file: " << info;
        return {};
    }
    return match[1];
}

TEST(TrashTextTest, PathsArePercentEncodedAsUrlPaths) {
    const struct {
        std::string path;
        std::string escaped;
    } cases[] = {
        {"/home/anne/Clip_01-a.b~c.avi", "/home/anne/Clip_01-a.b~c.avi"},
        {"/home/anne/my clip.avi", "/home/anne/my%20clip.avi"},
        {"/videos/100%.avi", "/videos/100%25.avi"},
        {"/videos/line\nbreak.avi", "/videos/line%0Abreak.avi"},
        {"/videos/\xff\xfe.avi", "/videos/%FF%FE.avi"},
        {"/videos/\xc3\xa9t\xc3\xa9.avi", "/videos/%C3%A9t%C3%A9.avi"},
        {"sub dir/clip.avi", "sub%20dir/clip.avi"},
        // Characters that mean something in a URL or a key file.
        {"/+&=;?#:@!*'()[]\\\t\r", "/%2B%26%3D%3B%3F%23%3A%40%21%2A%27%28%29%5B%5D%5C%09%0D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(escapeTrashPath(c.path), c.escaped);
    }

    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) everyByte += static_cast<char>(byte);
    const std::string escaped = escapeTrashPath(everyByte);
    // Only unreserved bytes, "/" and "%XX" are left.
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '%') {
            ASSERT_LT(2u, escaped.size() - i);
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(escaped[i + 1])) &&
                        std::isxdigit(static_cast<unsigned char>(escaped[i + 2])));
            i += 2;
        } else {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(escaped[i])) ||
                        std::string_view("-._~/").find(escaped[i]) != std::string_view::npos)
                << static_cast<int>(static_cast<unsigned char>(escaped[i]));
        }
    }
    EXPECT_EQ(percentDecoded(escaped), everyByte);
}

TEST(TrashTextTest, TheInfoTextHoldsTheEscapedPathAndTheLocalDeletionTime) {
    test::ScopedEnvironment environment;
    constexpr std::time_t kDeletion = 1093991528;  // 2004-08-31 22:32:08 UTC
    environment.set("TZ", "UTC0");
    EXPECT_EQ(trashInfoText("/home/anne/my clip.avi", kDeletion),
              "[Trash Info]\n"
              "Path=/home/anne/my%20clip.avi\n"
              "DeletionDate=2004-08-31T22:32:08\n");
    // Two hours east of Greenwich: the local date is already the next day.
    environment.set("TZ", "XST-2");
    EXPECT_EQ(trashInfoText("videos/a%b", kDeletion),
              "[Trash Info]\n"
              "Path=videos/a%25b\n"
              "DeletionDate=2004-09-01T00:32:08\n");
}

TEST_F(SystemServicesTest, FilesGoToTheTrashAndNeverAnywhereElse) {
    const std::string trash = m_home + "/.local/share/Trash";
    fs::create_directories(m_dir.file("elsewhere"));
    // Qt 6.4 put the file into the current folder when the data folder was missing; it must not.
    WorkingFolder working(m_dir.file("elsewhere"));

    const std::string clip = m_home + "/clip.avi";
    std::ofstream(clip) << "first";
    ASSERT_TRUE(MoveToRecycleBin(clip));
    EXPECT_FALSE(fs::exists(clip));
    EXPECT_EQ(readText(trash + "/files/clip.avi"), "first");
    EXPECT_EQ(checkedPathValue(readText(trash + "/info/clip.avi.trashinfo")), escapeTrashPath(clip));
    EXPECT_TRUE(fs::is_empty(m_dir.file("elsewhere")));
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);

    // The same name again: both stay in the trash, each with its own info file.
    std::ofstream(clip) << "second";
    ASSERT_TRUE(MoveToRecycleBin(clip));
    EXPECT_EQ(namesIn(trash + "/files"), (std::vector<std::string>{"clip.avi", "clip.avi.2"}));
    EXPECT_EQ(namesIn(trash + "/info"),
              (std::vector<std::string>{"clip.avi.2.trashinfo", "clip.avi.trashinfo"}));
    EXPECT_EQ(readText(trash + "/files/clip.avi"), "first");
    EXPECT_EQ(readText(trash + "/files/clip.avi.2"), "second");
    EXPECT_EQ(checkedPathValue(readText(trash + "/info/clip.avi.2.trashinfo")), escapeTrashPath(clip));

    EXPECT_FALSE(MoveToRecycleBin(m_home + "/missing.avi"));
    EXPECT_FALSE(MoveToRecycleBin(""));
    EXPECT_FALSE(MoveToRecycleBin("/"));
    EXPECT_FALSE(MoveToRecycleBin("."));
    EXPECT_EQ(namesIn(trash + "/files").size(), 2u);
}

TEST_F(SystemServicesTest, EveryNameCanBeTrashedAndRestored) {
    const std::string trash = m_home + "/.local/share/Trash";
    const std::string folder = m_home + "/My Videos";
    fs::create_directories(folder);
    const struct {
        std::string name;
        std::string escaped;
    } cases[] = {
        {"\xff clip.avi", "%FF%20clip.avi"},  // not UTF-8: Qt could not name it
        {"my clip.avi", "my%20clip.avi"},        {"100%.avi", "100%25.avi"},
        {"line\nbreak.avi", "line%0Abreak.avi"}, {"\xc3\xa9t\xc3\xa9.avi", "%C3%A9t%C3%A9.avi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.escaped);
        const std::string path = folder + "/" + c.name;
        std::ofstream(path) << c.escaped;
        ASSERT_TRUE(MoveToRecycleBin(path));
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(readText(trash + "/files/" + c.name), c.escaped);
        const std::string value = checkedPathValue(readText(trash + "/info/" + c.name + ".trashinfo"));
        EXPECT_EQ(value, escapeTrashPath(m_home) + "/My%20Videos/" + c.escaped);
        EXPECT_EQ(percentDecoded(value), path);
    }
}

TEST_F(SystemServicesTest, TheEntryItselfIsTrashedUnderItsAbsolutePath) {
    const std::string trash = m_home + "/.local/share/Trash";
    fs::create_directories(m_home + "/videos");
    std::ofstream(m_home + "/videos/clip.avi") << "clip";
    fs::create_symlink(m_home + "/videos/clip.avi", m_home + "/videos/link.avi");
    fs::create_directory_symlink(m_home + "/videos", m_home + "/shortcut");
    WorkingFolder working(m_home + "/shortcut");

    // A relative name through a linked folder: recorded under the folder's real path.
    ASSERT_TRUE(MoveToRecycleBin("link.avi"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(trash + "/files/link.avi")));
    EXPECT_EQ(readText(m_home + "/videos/clip.avi"), "clip");  // what the link named stays
    EXPECT_EQ(percentDecoded(checkedPathValue(readText(trash + "/info/link.avi.trashinfo"))),
              fs::canonical(m_home).string() + "/videos/link.avi");
}

TEST_F(SystemServicesTest, NothingInTheTrashIsEverReplaced) {
    const auto trash = homeTrash();
    ASSERT_TRUE(trash);
    EXPECT_EQ(trash->folder, m_home + "/.local/share/Trash");
    EXPECT_EQ(trash->topDirectory, "");
    // A file without an info file (a crash, another program) and an info file without its file.
    std::ofstream(trash->folder + "/files/clip.avi") << "stray file";
    std::ofstream(trash->folder + "/info/clip.avi.2.trashinfo") << "stray info";
    const std::string clip = m_home + "/clip.avi";
    std::ofstream(clip) << "clip";

    test::ScopedEnvironment environment;
    environment.set("TZ", "UTC0");
    EXPECT_EQ(moveIntoTrash(clip, *trash, 1093991528), trash->folder + "/files/clip.avi.3");
    EXPECT_EQ(readText(trash->folder + "/files/clip.avi"), "stray file");
    EXPECT_EQ(readText(trash->folder + "/info/clip.avi.2.trashinfo"), "stray info");
    EXPECT_EQ(readText(trash->folder + "/files/clip.avi.3"), "clip");
    EXPECT_EQ(readText(trash->folder + "/info/clip.avi.3.trashinfo"),
              "[Trash Info]\nPath=" + escapeTrashPath(clip) + "\nDeletionDate=2004-08-31T22:32:08\n");
    // The info file reserved for the taken name was removed again.
    EXPECT_EQ(namesIn(trash->folder + "/info"),
              (std::vector<std::string>{"clip.avi.2.trashinfo", "clip.avi.3.trashinfo"}));
}

TEST_F(SystemServicesTest, ALongNameIsShortenedInTheTrashOnly) {
    // 251 bytes: "x" and 125 two-byte characters; 240 bytes would cut one of them in half.
    std::string name = "x";
    for (int i = 0; i < 125; ++i) name += "\xc3\xa9";
    const std::string trash = m_home + "/.local/share/Trash";
    for (const char* content : {"first", "second"}) {
        std::ofstream(m_home + "/" + name) << content;
        ASSERT_TRUE(MoveToRecycleBin(m_home + "/" + name));
    }
    const std::string shortened = name.substr(0, 239);
    EXPECT_EQ(namesIn(trash + "/files"), (std::vector<std::string>{shortened, shortened + ".2"}));
    EXPECT_EQ(readText(trash + "/files/" + shortened + ".2"), "second");
    EXPECT_EQ(percentDecoded(checkedPathValue(readText(trash + "/info/" + shortened + ".2.trashinfo"))),
              m_home + "/" + name);
}

TEST_F(SystemServicesTest, AReadOnlyTrashLeavesTheFileWhereItWas) {
    const auto trash = homeTrash();
    ASSERT_TRUE(trash);
    const std::string folder = m_home + "/videos";
    fs::create_directories(folder);
    // The unprivileged run must reach every folder.
    for (const std::string& open :
         {m_dir.path().string(), m_home, m_home + "/.local", m_home + "/.local/share", trash->folder, folder})
        ASSERT_EQ(::chmod(open.c_str(), 0777), 0);

    for (const char* locked : {"files", "info"}) {
        SCOPED_TRACE(locked);
        const std::string clip = folder + "/clip.avi";
        std::ofstream(clip) << "clip";
        ASSERT_EQ(::chmod((trash->folder + "/files").c_str(), std::string(locked) == "files" ? 0555 : 0777),
                  0);
        ASSERT_EQ(::chmod((trash->folder + "/info").c_str(), std::string(locked) == "info" ? 0555 : 0777), 0);
        const auto result = test::runUnprivileged([&] { return MoveToRecycleBin(clip) ? 1 : 0; });
        if (!result) GTEST_SKIP() << "cannot run without the power to override permissions";
        EXPECT_EQ(*result, 0);
        EXPECT_EQ(readText(clip), "clip");
        EXPECT_TRUE(fs::is_empty(trash->folder + "/files"));
        EXPECT_TRUE(fs::is_empty(trash->folder + "/info"));  // the reserved name was given back
    }
}

TEST_F(SystemServicesTest, ADeviceTrashIsChosenByItsTopDirectory) {
    const uid_t uid = ::getuid();
    const std::string own = std::to_string(uid);
    const std::string other = m_dir.file("other");
    fs::create_directories(other);
    ASSERT_EQ(::chmod(other.c_str(), 01777), 0);
    const struct {
        const char* what;
        std::function<void(const std::string& top)> prepare;
        std::optional<std::string> expected;  // relative to the top directory
    } cases[] = {
        {"no trash yet", [](const std::string&) {}, ".Trash-" + own},
        {"a shared sticky trash",
         [](const std::string& top) {
             fs::create_directory(top + "/.Trash");
             ::chmod((top + "/.Trash").c_str(), 01777);
         },
         ".Trash/" + own},
        {"a shared trash without the sticky bit",
         [](const std::string& top) {
             fs::create_directory(top + "/.Trash");
             ::chmod((top + "/.Trash").c_str(), 0777);
         },
         ".Trash-" + own},
        {"a shared trash that is a link",
         [&](const std::string& top) { fs::create_directory_symlink(other, top + "/.Trash"); },
         ".Trash-" + own},
        {"a user's folder in the shared trash that is a link",
         [&](const std::string& top) {
             fs::create_directory(top + "/.Trash");
             ::chmod((top + "/.Trash").c_str(), 01777);
             fs::create_directory_symlink(other, top + "/.Trash/" + own);
         },
         ".Trash-" + own},
        {"a user's trash that is a file",
         [&](const std::string& top) { std::ofstream(top + "/.Trash-" + own) << "x"; }, std::nullopt},
        {"a user's trash that is a link",
         [&](const std::string& top) { fs::create_directory_symlink(other, top + "/.Trash-" + own); },
         std::nullopt},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string top = m_dir.file("top" + std::to_string(index++));
        fs::create_directories(top);
        c.prepare(top);
        const auto trash = deviceTrash(top, uid);
        ASSERT_EQ(trash.has_value(), c.expected.has_value());
        EXPECT_TRUE(fs::is_empty(other));
        if (!trash) continue;
        EXPECT_EQ(trash->folder, top + "/" + *c.expected);
        EXPECT_EQ(trash->topDirectory, top);
        EXPECT_EQ(fs::status(trash->folder).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(trash->folder + "/files")));
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(trash->folder + "/info")));
    }

    // Another user's trash folder is never used.
    const std::string top = m_dir.file("shared");
    fs::create_directories(top + "/.Trash-" + std::to_string(uid + 1));
    EXPECT_FALSE(deviceTrash(top, uid + 1));
}

TEST_F(SystemServicesTest, ADeviceTrashRecordsThePathFromItsTopDirectory) {
    const std::string top = m_dir.file("volume");
    fs::create_directories(top + "/My Videos");
    const std::string clip = top + "/My Videos/100%.avi";
    std::ofstream(clip) << "clip";
    const auto trash = deviceTrash(top, ::getuid());
    ASSERT_TRUE(trash);

    test::ScopedEnvironment environment;
    environment.set("TZ", "UTC0");
    const std::string entry = moveIntoTrash(clip, *trash, 1093991528);
    EXPECT_EQ(entry, trash->folder + "/files/100%.avi");
    EXPECT_EQ(readText(entry), "clip");
    EXPECT_EQ(readText(trash->folder + "/info/100%.avi.trashinfo"),
              "[Trash Info]\nPath=My%20Videos/100%25.avi\nDeletionDate=2004-08-31T22:32:08\n");
    EXPECT_FALSE(fs::exists(clip));
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
