#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace moraven {

// The program started with file paths and switch letters that hold the letter h ("+hd clip.avi"): the
// commands run in hidden mode, with no window and no display; the settings come from the registry file, the
// date names and separators from the user's locale; every question is dropped, and a message that reports a
// failure goes to `errors`. The files are read as the list reads them (TAfficherFichier). Answers the exit
// status: 0 when every command ran, 1 when one reported a failure.
int runCommandLine(const std::vector<std::string>& parameters, std::FILE* errors);

}  // namespace moraven
