#include "platform/list_sources.h"

#include <algorithm>
#include <iterator>
#include <exception>
#include <string_view>

#include <QByteArray>
#include <QFile>
#include <QStorageInfo>

namespace moraven {

FileListSources::FileListSources(FileList& list, WindowState& state, Interaction& interaction,
                                 const Settings& settings)
    : m_list(list), m_state(state), m_interaction(interaction), m_settings(settings) {
    Dirscan1.setRecursive(true);
    Dirscan1.setMasque("*.*");
    Dirscan1.OnDirWithFiles = [this](TDirscan&, const std::string& folder) {
        m_interaction.setStatusText("Browsing " + folder);
    };
    Dirscan1.OnFileFound = [this](TDirscan& scanner, const std::string& path) {
        m_list.AddFile(path);
        if (m_state.AbortRequested) scanner.Stop();
    };
    Dirscan1.processPendingEvents = [this] {
        m_interaction.processPendingEvents();
        if (m_state.AbortRequested) Dirscan1.Stop();
    };
}

void FileListSources::addFiles(const std::vector<std::string>& names, const std::string& message) {
    m_list.BeginListLoad(message);
    try {
        for (const std::string& name : names) {
            if (m_state.AbortRequested) break;
            if (name.size() > kMaxListedNameLength) continue;
            m_list.AddFile(name);
        }
    } catch (...) {
        m_list.EndListLoad();
        throw;
    }
    m_list.EndListLoad();
}

void FileListSources::scan(const std::string& folder, bool stayOnFileSystem) {
    Dirscan1.setDirectory(folder);
    Dirscan1.setStayOnFileSystem(stayOnFileSystem);
    Dirscan1.Execute();
}

void FileListSources::OpenFolder(const std::string& folder) {
    m_list.BeginListLoad("Browsing a folder");
    try {
        scan(folder, false);
    } catch (...) {
        m_list.EndListLoad();
        throw;
    }
    m_list.EndListLoad();
}

void FileListSources::OpenPreferredFolder() {
    if (m_state.AbortRequested) return;
    m_list.BeginListLoad("Browsing the folder");
    try {
        scan(m_settings.dossierAOuvertureAuto, false);
    } catch (const std::exception&) {
        m_state.AbortRequested = false;
    }
    m_list.EndListLoad();
}

void FileListSources::OpenAll(const std::vector<std::string>& roots) {
    m_list.BeginListLoad("Loading all AVI files");
    try {
        for (const std::string& root : roots) {
            scan(root, true);
            if (m_state.AbortRequested) break;
        }
    } catch (...) {
        m_list.EndListLoad();
        throw;
    }
    m_list.EndListLoad();
}

bool isLocalDiskFileSystem(std::string_view type) {
    // Memory and kernel file systems, network shares, and read-only images (packages, optical discs).
    static constexpr std::string_view kNotDisks[]{
        "proc",     "sysfs",     "devtmpfs", "devpts",   "tmpfs",      "ramfs",     "cgroup",    "cgroup2",
        "securityfs", "pstore",  "bpf",      "debugfs",  "tracefs",    "mqueue",    "hugetlbfs", "configfs",
        "fusectl",  "autofs",    "binfmt_misc", "efivarfs", "nsfs",    "rpc_pipefs", "selinuxfs",
        "nfs",      "nfs4",      "cifs",     "smb3",     "smbfs",      "ncpfs",     "afs",       "ceph",
        "glusterfs", "9p",       "virtiofs", "squashfs", "iso9660",    "udf",       "erofs",     "cramfs",
        "none"};
    if (type.empty()) return false;
    if (std::find(std::begin(kNotDisks), std::end(kNotDisks), type) != std::end(kNotDisks)) return false;
    // FUSE mounts are mostly remote (sshfs, rclone, gvfs); "fuseblk" is a local disk (NTFS, exFAT).
    return type.substr(0, 5) != "fuse." && type != "fuse";
}

std::vector<std::string> localFileSystemRoots() {
    std::vector<std::string> roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        if (!isLocalDiskFileSystem(volume.fileSystemType().toStdString())) continue;
        const std::string root = QFile::encodeName(volume.rootPath()).toStdString();
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    std::stable_sort(roots.begin(), roots.end(), [](const std::string& a, const std::string& b) {
        return a == "/" && b != "/";
    });
    return roots;
}

}  // namespace moraven
