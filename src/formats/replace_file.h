#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace moraven {

// Makes `folder` and every missing folder above it, new ones with `mode` (less the umask). True when
// `folder` is a folder afterwards.
bool makeFolders(const std::string& folder, mode_t mode = 0700);

// Gives the file at `path` the content `bytes`, replacing what is there atomically: the bytes go to a new
// temporary file in the same folder (made when missing), which is flushed to the disk and then renamed over
// `path`; the folder is flushed too. A crash or a full disk leaves either the old file or the new one,
// never a mix. On failure the temporary file is removed, the old file stays, and false is returned. The new
// file gets `mode` (less nothing: it is set explicitly). A symbolic link at `path` is replaced, not followed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0600);

}  // namespace moraven
