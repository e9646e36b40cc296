#include "platform/dirscan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace moraven {
namespace {

namespace fs = std::filesystem;

void touch(const std::string& path) { std::ofstream(path) << "x"; }

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Records every event as one line: "kind path".
struct Recorder {
    explicit Recorder(TDirscan& scanner) {
        scanner.OnStartScan = [this](TDirscan&, const std::string& directory, bool recursive,
                                     const std::string& mask) {
            events.push_back("start scan " + directory + (recursive ? " recursive " : " flat ") + mask);
        };
        scanner.OnEndScan = [this](TDirscan&, const std::string& directory, bool, const std::string&) {
            events.push_back("end scan " + directory);
        };
        scanner.OnStartFolder = [this](TDirscan&, const std::string& folder) {
            events.push_back("start " + folder);
        };
        scanner.OnEndFolder = [this](TDirscan&, const std::string& folder) {
            events.push_back("end " + folder);
        };
        scanner.OnDirWithFiles = [this](TDirscan&, const std::string& folder) {
            events.push_back("with files " + folder);
        };
        scanner.OnFileFound = [this](TDirscan&, const std::string& path) {
            events.push_back("file " + path);
            files.push_back(path);
        };
    }

    std::vector<std::string> events;
    std::vector<std::string> files;
};

// What a depth-first scan in listing order must report, worked out from the folder listings themselves.
void expectedEvents(const std::string& folder, std::vector<std::string>& events) {
    events.push_back("start " + folder);
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(listing)) names.emplace_back(entry->d_name);
        ::closedir(listing);
    }
    if (!names.empty()) events.push_back("with files " + folder);
    for (const std::string& name : names) {
        struct stat info {};
        if (::stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            if (name != "." && name != "..") expectedEvents(folder + name + "/", events);
        } else {
            events.push_back("file " + folder + name);
        }
    }
    events.push_back("end " + folder);
}

class DirscanTest : public ::testing::Test {
protected:
    // a/ with one file per level: a/b/c, and a second branch a/d.
    void SetUp() override {
        fs::create_directories(m_root + "a/b/c");
        fs::create_directories(m_root + "a/d");
        touch(m_root + "a/one.avi");
        touch(m_root + "a/b/two.avi");
        touch(m_root + "a/b/c/three.avi");
        touch(m_root + "a/d/four.txt");
        touch(m_root + "a/five.avi");
    }

    test::TempDir m_dir;
    std::string m_root = m_dir.path().string() + "/";
};

TEST_F(DirscanTest, ScansDepthFirstInListingOrder) {
    TDirscan scanner;
    Recorder recorder(scanner);
    scanner.setDirectory(m_root + "a");
    EXPECT_EQ(scanner.directory(), m_root + "a/");
    scanner.Execute();

    std::vector<std::string> expected{"start scan " + m_root + "a/ recursive *.*"};
    expectedEvents(m_root + "a/", expected);
    expected.push_back("end scan " + m_root + "a/");
    EXPECT_EQ(recorder.events, expected);
    EXPECT_EQ(recorder.files.size(), 5u);
    EXPECT_TRUE(scanner.Active());  // stays set after a scan that ended by itself
}

TEST_F(DirscanTest, StopFromAnEventEndsTheWholeScanAndClosesEveryListing) {
    const std::size_t descriptorsBefore = openDescriptors();
    TDirscan scanner;
    Recorder recorder(scanner);
    std::size_t descriptorsDuringScan = 0;
    const auto record = scanner.OnFileFound;
    scanner.OnFileFound = [&](TDirscan& sender, const std::string& path) {
        record(sender, path);
        if (path == m_root + "a/b/c/three.avi") {
            descriptorsDuringScan = openDescriptors();
            sender.Stop();
        }
    };
    scanner.setDirectory(m_root + "a");
    scanner.Execute();

    ASSERT_GE(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[recorder.events.size() - 2], "file " + m_root + "a/b/c/three.avi");
    EXPECT_EQ(recorder.events.back(), "end scan " + m_root + "a/");
    for (const std::string& event : recorder.events) EXPECT_NE(event, "end " + m_root + "a/b/c/");
    EXPECT_FALSE(scanner.Active());
    EXPECT_GE(descriptorsDuringScan, descriptorsBefore + 3);  // three levels were open
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST_F(DirscanTest, PendingEventsAreProcessedBeforeEachSubfolder) {
    TDirscan scanner;
    Recorder recorder(scanner);
    int calls = 0;
    scanner.processPendingEvents = [&] {
        ++calls;
        recorder.events.push_back("pending");
    };
    scanner.setDirectory(m_root + "a/b");
    scanner.Execute();
    // a/b holds ".", "..", c; c holds "." and "..": one call before each folder entry.
    EXPECT_EQ(calls, 5);
    const auto startOfC =
        std::find(recorder.events.begin(), recorder.events.end(), "start " + m_root + "a/b/c/");
    ASSERT_NE(startOfC, recorder.events.end());
    EXPECT_EQ(*(startOfC - 1), "pending");

    // The window's Esc arrives while the events are processed.
    TDirscan stopped;
    Recorder stoppedRecorder(stopped);
    stopped.processPendingEvents = [&] { stopped.Stop(); };
    stopped.setDirectory(m_root + "a");
    stopped.Execute();
    for (const std::string& event : stoppedRecorder.events) {
        EXPECT_NE(event.rfind("start " + m_root + "a/b", 0), 0u) << event;
        EXPECT_NE(event, "end " + m_root + "a/");
    }
}

TEST_F(DirscanTest, AMissingFolderOrAFileGivesNoEventAtAll) {
    for (const std::string& path : {m_root + "missing", m_root + "a/one.avi", std::string()}) {
        TDirscan scanner;
        Recorder recorder(scanner);
        scanner.setDirectory(path);
        scanner.Execute();
        EXPECT_TRUE(recorder.events.empty()) << path;
        EXPECT_FALSE(scanner.Active());
    }
}

TEST_F(DirscanTest, TheMaskAndRecursionChooseWhatIsReported) {
    fs::create_directories(m_root + "a/clips.AVI");
    touch(m_root + "a/clips.AVI/six.Avi");
    TDirscan scanner;
    Recorder recorder(scanner);
    scanner.setDirectory(m_root + "a");
    scanner.setMasque("*.avi");
    scanner.Execute();
    // Without case; a folder whose name does not match is not entered.
    EXPECT_EQ(
        std::set<std::string>(recorder.files.begin(), recorder.files.end()),
        (std::set<std::string>{m_root + "a/one.avi", m_root + "a/five.avi", m_root + "a/clips.AVI/six.Avi"}));

    TDirscan flat;
    Recorder flatRecorder(flat);
    flat.setRecursive(false);
    int calls = 0;
    flat.processPendingEvents = [&] { ++calls; };
    flat.setDirectory(m_root + "a");
    flat.Execute();
    EXPECT_EQ(std::set<std::string>(flatRecorder.files.begin(), flatRecorder.files.end()),
              (std::set<std::string>{m_root + "a/one.avi", m_root + "a/five.avi"}));
    EXPECT_EQ(calls, 0);
}

TEST_F(DirscanTest, LinksAreFollowedButEveryFolderIsScannedOnce) {
    fs::create_directories(m_root + "other");
    touch(m_root + "other/seven.avi");
    fs::create_directory_symlink(m_root + "a", m_root + "a/b/c/loop");
    fs::create_directory_symlink("../other", m_root + "a/elsewhere");
    fs::create_directory_symlink(m_root + "other", m_root + "a/d/again");
    fs::create_symlink(m_root + "a/one.avi", m_root + "a/d/link.avi");
    fs::create_symlink(m_root + "nowhere", m_root + "a/d/dangling.avi");
    TDirscan scanner;
    Recorder recorder(scanner);
    scanner.setDirectory(m_root + "a");
    scanner.Execute();

    const std::multiset<std::string> files(recorder.files.begin(), recorder.files.end());
    EXPECT_EQ(files.size(), 8u);
    EXPECT_EQ(files.count(m_root + "a/d/link.avi"), 1u);
    EXPECT_EQ(files.count(m_root + "a/d/dangling.avi"), 1u);
    // "other" is reached twice but scanned once, under whichever name came first.
    EXPECT_EQ(files.count(m_root + "a/elsewhere/seven.avi") + files.count(m_root + "a/d/again/seven.avi"),
              1u);
    for (const std::string& path : recorder.files) EXPECT_EQ(path.find("/loop/"), std::string::npos) << path;
}

TEST_F(DirscanTest, PseudoFileSystemsAreNotEntered) {
    for (const char* system : {"/proc", "/sys", "/dev"}) {
        if (fs::exists(system)) fs::create_directory_symlink(system, m_root + "a" + system);
    }
    TDirscan scanner;
    Recorder recorder(scanner);
    scanner.setDirectory(m_root + "a");
    scanner.Execute();
    EXPECT_EQ(recorder.files.size(), 5u);
    for (const std::string& event : recorder.events) {
        EXPECT_EQ(event.find("/proc/"), std::string::npos) << event;
        EXPECT_EQ(event.find("/dev/"), std::string::npos) << event;
    }

    TDirscan direct;
    Recorder directRecorder(direct);
    direct.setDirectory("/proc");
    direct.Execute();
    EXPECT_EQ(directRecorder.events,
              (std::vector<std::string>{"start scan /proc/ recursive *.*", "start /proc/", "end /proc/",
                                        "end scan /proc/"}));
}

TEST_F(DirscanTest, NamesThatAreNotUtf8AreHandedOnUnchanged) {
    const std::string odd = m_root + "a/d/\xff\xfe clip.avi";
    touch(odd);
    ASSERT_TRUE(fs::exists(odd));
    TDirscan scanner;
    Recorder recorder(scanner);
    scanner.setDirectory(m_root + "a/d");
    scanner.Execute();
    EXPECT_NE(std::find(recorder.files.begin(), recorder.files.end(), odd), recorder.files.end());
}

}  // namespace
}  // namespace moraven
