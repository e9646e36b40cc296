#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "formats/avi_fichier.h"

namespace moraven {

// `moraven --info FILE...` and `moraven --info --json FILE...`: writes to `out`, for each file in the order
// given, every fact of its record (TAfficherFichier) that the information panel shows: name, full path,
// size, the three file times, datecode and timecode texts, the codec with its DV type, the image text,
// width and height, frame rate, video and audio durations, audio texts, TV system, 16:9, whether a scene
// file exists, and the sort keys.
//
// Text form: one "Label : value" line per fact and an empty line between files. JSON form: one array of
// objects whose member names are the record's field names; dates are ISO 8601 local times
// ("2004-07-15T13:05:09.000", null for none) in place of the formatted texts.
//
// Names and keys are bytes. Both forms write them as text in which every byte that is not part of a valid,
// printable UTF-8 character (control characters, the bytes 254 and 255 of the sort keys, a name's stray
// bytes) appears as "\xNN" with two upper-case hexadecimal digits, and a backslash as "\\"; the rest is
// written as it stands. The JSON is therefore valid UTF-8, and decoding it gives that text.
//
// The file times and the datecode are formatted with `options`. A file that does not exist or cannot be
// opened is told on `err` and makes the result 1; the other files are still shown. Returns the exit status:
// 0 when every file was shown and the output written.
int runInfoCommand(const std::vector<std::string>& paths, bool json, const FileRecordOptions& options,
                   std::FILE* out, std::FILE* err);

// `text` as the command line prints names: every byte that is not part of a valid, printable UTF-8
// character appears as "\xNN" (two upper-case hexadecimal digits) and a backslash as "\\"; the rest as it
// stands. A name holding a newline therefore stays on its line.
std::string printableBytes(std::string_view text);

// The record options of the user: the setting "Format pour Afficher Datecode" as stored in the registry file
// (defaultRegistryFilePath(), which honours MORAVEN_CONFIG_HOME), its default when the file holds none, and
// the user's locale. Problems with the registry file are told on `err`.
FileRecordOptions userFileRecordOptions(std::FILE* err);

}  // namespace moraven
