#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/dirscan.h"
#include "settings/preferences.h"
#include "window/file_list.h"
#include "window/interaction.h"
#include "window/window_state.h"

namespace moraven {

// Names longer than this in a pasted or dropped list are passed over.
inline constexpr std::size_t kMaxListedNameLength = 65530;

// The sources that bring files into the list once the user has chosen them: a list of names (the open
// dialog, the clipboard, a drop), a folder scanned with its subfolders, the preferred folder, and every
// mounted local file system. Each wraps its additions in BeginListLoad and EndListLoad (also when it
// fails) and stops between two files once AbortRequested is set. AddFile keeps only the accepted files.
// Everything given must outlive the sources; window thread only.
class FileListSources {
public:
    FileListSources(FileList& list, WindowState& state, Interaction& interaction, const Settings& settings);

    // Adds the named files in order under the status text `message` ("Loading files", "Paste files",
    // "Open drag-and-dropped files"). A failure ends the addition and is thrown on.
    void addFiles(const std::vector<std::string>& names, const std::string& message);
    // Scans `folder` and its subfolders ("Browsing a folder"). A failure ends the scan and is thrown on.
    void OpenFolder(const std::string& folder);
    // Scans the folder "Dossier à ouverture auto" ("Browsing the folder") unless an abort is pending. A
    // failure ends the scan, clears AbortRequested and is not reported.
    void OpenPreferredFolder();
    // Scans each of `roots` in turn, each without leaving its own file system ("Loading all AVI files"),
    // and no further root once AbortRequested is set.
    void OpenAll(const std::vector<std::string>& roots);

    // Esc and Shift+Esc: a running scan ends at its next check.
    void stopScan() { Dirscan1.Stop(); }

private:
    void scan(const std::string& folder, bool stayOnFileSystem);

    FileList& m_list;
    WindowState& m_state;
    Interaction& m_interaction;
    const Settings& m_settings;
    TDirscan Dirscan1;
};

// Whether a mounted file system of this type (as the mount table names it) holds the user's files on a
// local disk: not a memory or kernel file system, not a network share, not a read-only package or disc image.
bool isLocalDiskFileSystem(std::string_view type);

// The roots of the mounted local disks, "/" first.
std::vector<std::string> localFileSystemRoots();

}  // namespace moraven
