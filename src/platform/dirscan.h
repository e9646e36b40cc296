#pragma once

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <utility>

namespace moraven {

// The recursive folder scanner that feeds folders into the file list.
//
// Execute() walks `directory` depth first, entries in the order the folder listing returns them, and tells
// what it meets through the events. Names are the file system's bytes, handed on unchanged (they need not
// be UTF-8). Symbolic links are followed, but every folder is visited once (by device and inode), so links
// that loop end; folders of pseudo file systems (/proc, /sys, /dev and their kind) are passed over, and so
// are unreadable folders. With stayOnFileSystem, folders of other mounted file systems are passed over too.
//
// An event handler may call Stop(); the scan then ends at its next check, closes every open listing and
// sends no further folder or file events (OnEndScan still closes the scan). Window thread only.
class TDirscan {
public:
    // sender, directory, recursive, mask
    using ScanEvent = std::function<void(TDirscan&, const std::string&, bool, const std::string&)>;
    // sender, folder (ending with "/") or file path
    using PathEvent = std::function<void(TDirscan&, const std::string&)>;

    // The folder to scan. The setter adds a trailing "/" (an empty text stays empty and names no folder).
    const std::string& directory() const { return m_directory; }
    void setDirectory(std::string directory);

    // Whether subfolders are scanned; true by default.
    bool recursive() const { return m_recursive; }
    void setRecursive(bool recursive) { m_recursive = recursive; }

    // The entries reported: a shell pattern matched without case ("*.avi"); "*.*" and "*" match every name.
    // Subfolders are entered only when their name matches too. "*.*" by default.
    const std::string& Masque() const { return m_masque; }
    void setMasque(std::string masque) { m_masque = std::move(masque); }

    // Whether the scan keeps to the file system of `directory`; false by default.
    bool stayOnFileSystem() const { return m_stayOnFileSystem; }
    void setStayOnFileSystem(bool stay) { m_stayOnFileSystem = stay; }

    ScanEvent OnStartScan;     // before the scan
    ScanEvent OnEndScan;       // after it
    PathEvent OnStartFolder;   // before a folder
    PathEvent OnEndFolder;     // after a folder that was not stopped
    PathEvent OnDirWithFiles;  // the listing of a folder gave at least one matching entry ("." counts)
    PathEvent OnFileFound;     // a matching entry that is not a folder, with its full path

    // Called before each subfolder of a recursive scan, so that the caller can process pending window
    // events (Esc, repainting); it may call Stop().
    std::function<void()> processPendingEvents;

    // Scans `directory` when it names a folder; otherwise does nothing and sends no event.
    void Execute();

    // Clears Active; a running scan ends at its next check.
    void Stop() { m_active = false; }

    // Set when a scan starts; cleared only by Stop() (it stays set after a scan that ends by itself).
    bool Active() const { return m_active; }

private:
    enum class Outcome { Finished, Stopped };
    using FolderId = std::pair<dev_t, ino_t>;

    Outcome scan(const std::string& folder, bool listable);
    bool shouldEnter(const std::string& path);
    void send(const PathEvent& event, const std::string& path) {
        if (event) event(*this, path);
    }

    std::string m_directory;
    bool m_recursive = true;
    std::string m_masque = "*.*";
    bool m_stayOnFileSystem = false;
    bool m_active = false;

    // State of the running scan.
    std::set<FolderId> m_visited;
    std::set<FolderId> m_systemFolders;  // /proc, /sys and /dev themselves
    std::set<dev_t> m_pseudoDevices;     // devices of pseudo file systems, from the mount table
    dev_t m_startDevice = 0;
};

}  // namespace moraven
