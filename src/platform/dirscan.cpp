#include "platform/dirscan.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

namespace moraven {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool matchesMask(const std::string& mask, const char* name) {
    // "*.*" matches every name, also one without a dot, as it always has for folder searches.
    if (mask == "*.*" || mask == "*") return true;
    return ::fnmatch(mask.c_str(), name, FNM_CASEFOLD) == 0;
}

// File systems that show the kernel's state rather than files: nothing to scan there, and some of them
// never end (/proc/self/task/...) or block when read.
bool isPseudoFileSystemType(std::string_view type) {
    static constexpr std::string_view kTypes[] = {
        "proc",      "sysfs",       "devtmpfs", "devpts",   "cgroup",    "cgroup2",    "debugfs",
        "tracefs",   "securityfs",  "pstore",   "bpf",      "configfs",  "fusectl",    "mqueue",
        "hugetlbfs", "binfmt_misc", "autofs",   "efivarfs", "selinuxfs", "rpc_pipefs", "nsfs",
    };
    for (std::string_view known : kTypes) {
        if (type == known) return true;
    }
    return false;
}

// The devices of the mounted pseudo file systems, from the mount table: each line of
// /proc/self/mountinfo holds "major:minor" as its third field and the file system type after " - ".
std::set<dev_t> pseudoDevices() {
    std::set<dev_t> devices;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string mountId, parentId, device;
        if (!(fields >> mountId >> parentId >> device)) continue;
        const std::size_t separator = line.find(" - ");
        if (separator == std::string::npos) continue;
        std::istringstream tail(line.substr(separator + 3));
        std::string type;
        if (!(tail >> type) || !isPseudoFileSystemType(type)) continue;
        unsigned major = 0;
        unsigned minor = 0;
        char colon = 0;
        std::istringstream numbers(device);
        if (numbers >> major >> colon >> minor && colon == ':') devices.insert(::makedev(major, minor));
    }
    return devices;
}

}  // namespace

void TDirscan::setDirectory(std::string directory) {
    if (!directory.empty() && directory.back() != '/') directory += '/';
    m_directory = std::move(directory);
}

void TDirscan::Execute() {
    struct stat start {};
    if (m_directory.empty() || ::stat(m_directory.c_str(), &start) != 0 || !S_ISDIR(start.st_mode)) return;

    m_active = true;
    m_visited.clear();
    m_systemFolders.clear();
    for (const char* system : {"/proc", "/sys", "/dev"}) {
        struct stat info {};
        if (::stat(system, &info) == 0) m_systemFolders.insert({info.st_dev, info.st_ino});
    }
    m_pseudoDevices = pseudoDevices();
    m_startDevice = start.st_dev;
    m_visited.insert({start.st_dev, start.st_ino});

    if (OnStartScan) OnStartScan(*this, m_directory, m_recursive, m_masque);
    const bool listable =
        !m_systemFolders.contains({start.st_dev, start.st_ino}) && !m_pseudoDevices.contains(start.st_dev);
    scan(m_directory, listable);
    if (OnEndScan) OnEndScan(*this, m_directory, m_recursive, m_masque);

    m_visited.clear();
}

bool TDirscan::shouldEnter(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    const FolderId id{info.st_dev, info.st_ino};
    if (m_systemFolders.contains(id) || m_pseudoDevices.contains(info.st_dev)) return false;
    if (m_stayOnFileSystem && info.st_dev != m_startDevice) return false;
    // A folder met again through a link or a second mount is scanned once; this also ends link loops.
    return m_visited.insert(id).second;
}

TDirscan::Outcome TDirscan::scan(const std::string& folder, bool listable) {
    send(OnStartFolder, folder);
    {
        // An unreadable folder gives no entries and is passed over.
        DirHandle listing(listable ? ::opendir(folder.c_str()) : nullptr);
        bool announced = false;
        while (listing) {
            const dirent* entry = ::readdir(listing.get());
            if (entry == nullptr) break;
            const char* name = entry->d_name;
            if (!matchesMask(m_masque, name)) continue;
            if (!announced) {
                announced = true;
                send(OnDirWithFiles, folder);
            }

            const std::string path = folder + name;
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat info {};
                isFolder = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
            }
            if (!isFolder) {
                if (!m_active) return Outcome::Stopped;
                send(OnFileFound, path);
                continue;
            }
            if (!m_recursive) continue;
            if (processPendingEvents) processPendingEvents();
            if (!m_active) return Outcome::Stopped;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            const std::string subfolder = path + "/";
            if (!shouldEnter(subfolder)) continue;
            if (scan(subfolder, true) == Outcome::Stopped) return Outcome::Stopped;
        }
    }
    // Stopped by the last entry's event: no end of folder either.
    if (!m_active) return Outcome::Stopped;
    send(OnEndFolder, folder);
    return Outcome::Finished;
}

}  // namespace moraven
