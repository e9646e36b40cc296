#pragma once

#include <optional>
#include <string>

#include "formats/executable_path.h"

// Small services of the desktop: the user's folders, the "Open With" entry that stands in for a Send To
// shortcut, the trash, and the system's name. Window thread only. Paths are the file system's bytes.
namespace moraven {

// The user's documents folder (XDG_DOCUMENTS_DIR) when it exists, else the home folder. No trailing "/".
std::string PersonalFolder();

// Where the desktop entry for `name` lives: $XDG_DATA_HOME/applications/<name>.desktop (by default under
// ~/.local/share).
std::string sendToEntryPath(const std::string& name);

// The text of the desktop entry that offers the program at `programPath` for AVI files in the file
// manager's "Open With" menu, starting it with the chosen files. Nothing when the path cannot be written in
// a desktop entry (which must be UTF-8).
std::optional<std::string> sendToEntryText(const std::string& name, const std::string& programPath);

// Writes the desktop entry for `name` (replacing an older one); false when it could not be written. The
// caller ignores failures.
bool CreateSendToShortcut(const std::string& name, const std::string& programPath = ownExecutablePath());

// Deletes the desktop entry for `name`; true when there is none afterwards.
bool RemoveSendToShortcut(const std::string& name);

// Moves the file, folder or link at `path` (any bytes: the name need not be valid UTF-8) into the user's
// trash, the freedesktop.org trash that the file managers show and restore from (platform/trash.h): the
// home trash for files on the home's device, else the trash at the top of the file's own device. True only
// when it now lies in a trash; otherwise it stays where it was and false is returned. Never replaces or
// deletes anything outright, and never copies across devices.
bool MoveToRecycleBin(const std::string& path);

// The distribution's name and version with the kernel's: "Debian GNU/Linux 12 (bookworm) - kernel 6.1.0".
std::string OsName();

}  // namespace moraven
