#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace moraven {

// Makes `folder` and every missing folder above it, new ones with `mode` (less the umask). True when
// `folder` is a folder afterwards.
bool makeFolders(const std::string& folder, mode_t mode = 0700);

// Gives the file at `path` the content `bytes`, replacing what is there atomically: the bytes go to a new
// temporary file beside it, which is flushed to the disk and then renamed over `path`; the folder is flushed
// too. A crash or a full disk leaves either the old file or the new one, never a mix, and on failure the
// temporary file is removed. The new file gets `mode` when given, else the permissions of the file it
// replaces, else the usual ones for a new file (0666 less the umask). A symbolic link at `path` is replaced,
// not followed. The folder must exist. Throws FileError with the reason on failure.
// Before it writes, the temporary files of earlier replacements of `path` whose process was killed midway
// (named as this function names them, with the id of a process that no longer runs) are removed; those of
// running processes stay.
void writeFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<mode_t> mode = std::nullopt);

// The same, making the folder first when it is missing, and answering false instead of throwing.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

}  // namespace moraven
