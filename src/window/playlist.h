#pragma once

#include <string>

#include "formats/date_format.h"
#include "formats/date_time.h"
#include "window/file_list.h"
#include "window/interaction.h"
#include "window/window_state.h"

namespace moraven {

// The name of the default playlist in the folder "Dossier des PlayList" (which ends with a separator).
inline constexpr const char* kDefaultPlaylistName = "PlayList.txt";
std::string defaultPlaylistPath(const std::string& playlistFolder);

// Writes the list's rows as a playlist: a commented header, one line per row (five blanks and the full
// path), and a commented footer with the count, the order and `now` formatted with `datePattern` (the
// setting "Format pour Afficher Datecode"). Lines end with CR LF. The file is created or emptied; throws
// FileError when it cannot be created or written (the file is closed in every case).
void WritePlaylist(const FileList& list, const std::string& path, const std::string& datePattern,
                   const DateFormatLocale& locale, DateTime now = currentDateTime());

// Adds the files of a playlist to the list, in one list load: each line is trimmed of blanks and control
// characters at both ends; empty lines and lines starting with "#" are skipped; every other line is a
// path for FileList::AddFile, which passes over missing and refused files. Pending events are processed
// before each line, and the reading stops when `state.AbortRequested` is set. A missing playlist does
// nothing; a failure while reading ends the reading silently.
void ReadPlaylist(FileList& list, const WindowState& state, Interaction& interaction,
                  const std::string& path);

// A playlist line without the blanks and control characters at its ends.
std::string trimPlaylistLine(std::string_view line);

}  // namespace moraven
