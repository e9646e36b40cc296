#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace moraven {

// Starts the window with the command line's file paths and switches (handled once it is shown), runs it
// until it closes, and answers the exit status. Without a display, says so on `errors`, with the hidden
// mode that needs none, and answers 2.
int runWindow(int& argc, char** argv, const std::vector<std::string>& parameters, std::FILE* errors);

}  // namespace moraven
